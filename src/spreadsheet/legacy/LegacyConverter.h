#pragma once
// Converts sources the engine cannot copy from directly (.xls, .xlsb, .ods) to temporary .xlsx
// packages with LibreOffice run headless, once per source for the life of the converter. Each
// converter runs LibreOffice with a private profile folder, so that it never disturbs a
// LibreOffice the user has open, and removes every file it made when it is destroyed.

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillory::spreadsheet::legacy {

// The Debian package that provides the converter; descriptions name it.
inline constexpr const char* kConverterPackage = "libreoffice-calc-nogui";
// The package of the second converter, run for the charts embedded in worksheets and the names
// that the first leaves out; notes name it.
inline constexpr const char* kChartConverterPackage = "gnumeric";
// Time for starting the converter (it sets up a fresh profile) and for each workbook it converts.
inline constexpr std::chrono::seconds kConverterStartTime{60};
inline constexpr std::chrono::seconds kConversionTimePerWorkbook{120};

struct ConverterOptions {
    // The converter program; empty: "soffice" or "libreoffice" on the PATH, then the usual
    // installation folders.
    std::filesystem::path program;
    // Limit for one run; empty: kConverterStartTime + kConversionTimePerWorkbook per workbook.
    std::optional<std::chrono::milliseconds> timeLimit;
    // Where the converter's temporary folder goes; empty: the system's temporary folder.
    std::filesystem::path temporaryRoot;
    // Gnumeric's converter, for the charts embedded in worksheets and the defined names that
    // LibreOffice's conversion leaves out; empty: "ssconvert" on the PATH.
    std::filesystem::path chartProgram;
};

class LegacyConverter {
public:
    explicit LegacyConverter(ConverterOptions options = {});
    ~LegacyConverter();
    LegacyConverter(const LegacyConverter&) = delete;
    LegacyConverter& operator=(const LegacyConverter&) = delete;

    // True for the extensions that need converting: .xls, .xlsb, .ods, in any case.
    static bool NeedsConversion(const std::filesystem::path& file);

    // The .xlsx made from `source`, converting it on first use. Throws SpreadsheetError naming
    // the source: FileNotFound, the listing's descriptions for a .xls that is not one (text, web
    // page, encrypted, damaged), ConverterMissing, ConversionTimedOut, ConversionFailed.
    std::filesystem::path Convert(const std::filesystem::path& source);

    // Converts several sources in one run of the converter, which starts only once. Sources
    // converted before are skipped. Throws as Convert does, for the first source that fails;
    // the others that were converted are kept.
    void ConvertAll(const std::vector<std::filesystem::path>& sources);

    // The sources converted so far, in the order they were converted.
    std::vector<std::filesystem::path> ConvertedSources() const;

    // What of each sheet (by name) of a converted source could not be carried over (charts the
    // conversion leaves out), a sentence each; empty for a source not converted.
    std::map<std::string, std::string> SheetNotes(const std::filesystem::path& source) const;

    // Called now and then while the converter runs (see RunWithTimeLimit); empty: nothing.
    void SetWhileWaiting(std::function<void()> whileWaiting) {
        whileWaiting_ = std::move(whileWaiting);
    }

    // The converter's temporary folder; empty until the first conversion.
    const std::filesystem::path& TemporaryFolder() const { return folder_; }

private:
    std::filesystem::path findProgram(const std::filesystem::path& firstSource) const;
    void checkSource(const std::filesystem::path& source) const;
    void correctConversion(const std::filesystem::path& source,
                           const std::filesystem::path& converted);
    std::filesystem::path convertWithGnumeric(const std::filesystem::path& source);
    void ensureFolder();

    ConverterOptions options_;
    std::filesystem::path folder_;
    std::size_t runs_ = 0;
    std::map<std::filesystem::path, std::filesystem::path> converted_;
    std::vector<std::filesystem::path> order_;
    std::map<std::filesystem::path, std::map<std::string, std::string>> sheetNotes_;
    std::function<void()> whileWaiting_;
};

} // namespace quillory::spreadsheet::legacy

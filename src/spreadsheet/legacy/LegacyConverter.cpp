#include "spreadsheet/legacy/LegacyConverter.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/legacy/ChildProcess.h"
#include "spreadsheet/legacy/ContentSniffer.h"
#include "spreadsheet/legacy/ConvertedPackageCorrection.h"
#include "spreadsheet/legacy/ConvertiblePackageCheck.h"
#include "spreadsheet/legacy/LegacyErrors.h"
#include "spreadsheet/legacy/LegacyWorkbookListing.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <span>
#include <unistd.h>

namespace quillory::spreadsheet::legacy {

namespace fs = std::filesystem;

namespace {

constexpr const char* kOutputFilter = "xlsx:Calc MS Excel 2007 XML";
constexpr const char* kChartProgramNames[] = {"ssconvert"};
constexpr const char* kChartOutputType = "--export-type=Gnumeric_Excel:xlsx2";
constexpr const char* kProgramNames[] = {"soffice", "libreoffice"};
constexpr const char* kUsualPrograms[] = {
    "/usr/bin/soffice", "/usr/lib/libreoffice/program/soffice", "/opt/libreoffice/program/soffice",
    "/snap/bin/libreoffice"};
// Lines of the converter's own output quoted in a failure description.
constexpr std::size_t kMaxQuotedLogLines = 3;

std::string lowerExtension(const fs::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return extension;
}

bool isExecutable(const fs::path& file) {
    std::error_code ec;
    return fs::is_regular_file(file, ec) && ::access(file.c_str(), X_OK) == 0;
}

// The first of `names` found executable in a folder of the PATH, folder by folder; empty for none.
fs::path findOnPath(std::span<const char* const> names) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return {};
    }
    const std::string folders(path);
    for (std::size_t start = 0; start <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const fs::path folder = folders.substr(start, end - start);
        start = end + 1;
        if (folder.empty()) {
            continue;
        }
        for (const char* name : names) {
            if (isExecutable(folder / name)) {
                return folder / name;
            }
        }
    }
    return {};
}

// A file URL for the converter's -env: option, every byte outside the unreserved set escaped.
std::string fileUrl(const fs::path& folder) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : fs::absolute(folder).string()) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || std::strchr("-._~/", c) != nullptr) {
            url.push_back(c);
        } else {
            url.push_back('%');
            url.push_back(kHex[byte >> 4]);
            url.push_back(kHex[byte & 0x0F]);
        }
    }
    return url;
}

fs::path sourceKey(const fs::path& source) {
    std::error_code ec;
    fs::path key = fs::weakly_canonical(source, ec);
    return ec ? fs::absolute(source).lexically_normal() : key;
}

std::string quotedNames(const std::vector<fs::path>& sources) {
    std::string names;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        names += (i == 0                    ? ""
                  : i + 1 == sources.size() ? " and "
                                            : ", ") +
                 QuotedFileName(sources[i]);
    }
    return names;
}

// The converter's own words about a failure ("Error: source file could not be loaded").
std::string errorLines(const fs::path& logFile, std::string_view speaker = "LibreOffice") {
    std::ifstream in(logFile);
    std::string line;
    std::string quoted;
    std::size_t count = 0;
    while (count < kMaxQuotedLogLines && std::getline(in, line)) {
        if (line.find("rror") != std::string::npos) {
            quoted += (quoted.empty() ? "" : " ") + line;
            ++count;
        }
    }
    return quoted.empty() ? std::string() : " (" + std::string(speaker) + " said: " + quoted + ")";
}

[[noreturn]] void throwConverterMissing(const fs::path& source) {
    throw SpreadsheetError(ErrorCode::ConverterMissing,
                           "The workbook " + QuotedFileName(source) +
                               " must be converted with LibreOffice before its sheets can be "
                               "copied, but LibreOffice is not installed. Install the package " +
                               kConverterPackage + " (for example: sudo apt install " +
                               kConverterPackage + ") and merge again.");
}

} // namespace

LegacyConverter::LegacyConverter(ConverterOptions options) : options_(std::move(options)) {}

LegacyConverter::~LegacyConverter() {
    if (!folder_.empty()) {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
}

bool LegacyConverter::NeedsConversion(const fs::path& file) {
    const std::string extension = lowerExtension(file);
    return extension == ".xls" || extension == ".xlsb" || extension == ".ods";
}

fs::path LegacyConverter::Convert(const fs::path& source) {
    ConvertAll({source});
    return converted_.at(sourceKey(source));
}

std::vector<fs::path> LegacyConverter::ConvertedSources() const {
    return order_;
}

fs::path LegacyConverter::findProgram(const fs::path& firstSource) const {
    if (!options_.program.empty()) {
        if (isExecutable(options_.program)) {
            return options_.program;
        }
        throwConverterMissing(firstSource);
    }
    if (fs::path program = findOnPath(kProgramNames); !program.empty()) {
        return program;
    }
    for (const char* candidate : kUsualPrograms) {
        if (isExecutable(candidate)) {
            return candidate;
        }
    }
    throwConverterMissing(firstSource);
}

// Gives a file that is not what its name says (text, a web page, an encrypted or damaged
// workbook, a zipped source LibreOffice would quietly turn into an empty sheet) its own
// description, before a conversion is spent on it.
void LegacyConverter::checkSource(const fs::path& source) const {
    const FileByteSource bytes(source);
    std::string start(kSniffLength, '\0');
    start.resize(bytes.readAt(0, kSniffLength, start.data()));
    if (SniffContent(start) != ContentKind::ZipPackage) {
        ListLegacyWorkbook(source);
    } else {
        CheckZippedSourceBeforeConversion(source);
    }
}

std::map<std::string, std::string> LegacyConverter::SheetNotes(const fs::path& source) const {
    const auto found = sheetNotes_.find(sourceKey(source));
    return found != sheetNotes_.end() ? found->second : std::map<std::string, std::string>();
}

// A .xls conversion gets back what LibreOffice loses, from the workbook's own records. Records
// that cannot be read leave the conversion as LibreOffice wrote it.
void LegacyConverter::correctConversion(const fs::path& source, const fs::path& converted) {
    if (lowerExtension(source) != ".xls") {
        return;
    }
    fs::path other;
    try {
        sheetNotes_[sourceKey(source)] = CorrectConvertedPackage(source, converted, [&] {
            other = convertWithGnumeric(source);
            return other;
        });
    } catch (const SpreadsheetError&) {
    }
    if (!other.empty()) {
        std::error_code ec;
        fs::remove_all(other.parent_path(), ec);
    }
}

// Gnumeric's conversion of one source, for the charts embedded in its worksheets and the names
// LibreOffice's loses; its errors' descriptions complete a note ("..., and Gnumeric, which keeps
// them, is not installed").
fs::path LegacyConverter::convertWithGnumeric(const fs::path& source) {
    fs::path program = options_.chartProgram;
    if (program.empty()) {
        program = findOnPath(kChartProgramNames);
    }
    const std::string missing =
        std::string("Gnumeric, which keeps them, is not installed (package ") +
        kChartConverterPackage + ")";
    if (program.empty() || !isExecutable(program)) {
        throw SpreadsheetError(ErrorCode::ConverterMissing, missing);
    }
    const fs::path folder = folder_ / ("charts-" + std::to_string(++runs_));
    const fs::path input = folder / ("source" + lowerExtension(source));
    const fs::path output = folder / "source.xlsx";
    try {
        fs::create_directories(folder / "tmp");
        fs::copy_file(source, input);
    } catch (const fs::filesystem_error& error) {
        throw SpreadsheetError(ErrorCode::ConversionFailed,
                               "it could not be prepared for Gnumeric's conversion (" +
                                   error.code().message() + ")");
    }
    const std::chrono::milliseconds timeLimit =
        options_.timeLimit.value_or(kConverterStartTime + kConversionTimePerWorkbook);
    const ProcessOutcome outcome =
        RunWithTimeLimit(program, {kChartOutputType, input.string(), output.string()},
                         {{"TMPDIR", (folder / "tmp").string()}, {"GSETTINGS_BACKEND", "memory"}},
                         folder / "run.log", timeLimit, whileWaiting_);
    std::error_code ec;
    fs::remove(input, ec);
    if (outcome.kind == ProcessOutcome::Kind::CouldNotStart) {
        throw SpreadsheetError(ErrorCode::ConverterMissing, missing);
    }
    if (outcome.kind == ProcessOutcome::Kind::TimedOut) {
        throw SpreadsheetError(
            ErrorCode::ConversionTimedOut,
            "Gnumeric's conversion, tried for them, did not finish within " +
                std::to_string(
                    std::chrono::duration_cast<std::chrono::seconds>(timeLimit).count()) +
                " seconds");
    }
    if (outcome.kind != ProcessOutcome::Kind::Exited || outcome.exitCode != 0 ||
        !fs::is_regular_file(output, ec) || fs::file_size(output, ec) == 0) {
        throw SpreadsheetError(ErrorCode::ConversionFailed,
                               "Gnumeric's conversion, tried for them, failed" +
                                   errorLines(folder / "run.log", "Gnumeric"));
    }
    return output;
}

void LegacyConverter::ensureFolder() {
    if (!folder_.empty()) {
        return;
    }
    const fs::path root =
        options_.temporaryRoot.empty() ? fs::temp_directory_path() : options_.temporaryRoot;
    std::string pattern = (root / "quillory-convert-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw SpreadsheetError(ErrorCode::ConversionFailed,
                               "No temporary folder for converting workbooks could be made in " +
                                   root.string() + ": " + std::strerror(errno) + ".");
    }
    folder_ = pattern;
}

void LegacyConverter::ConvertAll(const std::vector<fs::path>& sources) {
    std::vector<fs::path> pending;
    std::set<fs::path> keys;
    for (const fs::path& source : sources) {
        const fs::path key = sourceKey(source);
        if (converted_.count(key) == 0 && keys.insert(key).second) {
            pending.push_back(source);
        }
    }
    if (pending.empty()) {
        return;
    }
    for (const fs::path& source : pending) {
        checkSource(source);
    }
    const fs::path program = findProgram(pending.front());
    ensureFolder();

    const std::string run = std::to_string(++runs_);
    const fs::path inputFolder = folder_ / ("in-" + run);
    const fs::path outputFolder = folder_ / ("out-" + run);
    const fs::path childTemporaryFolder = folder_ / "tmp";
    const fs::path logFile = folder_ / ("run-" + run + ".log");
    std::vector<std::string> arguments = {"--headless",
                                          "--invisible",
                                          "--norestore",
                                          "--nologo",
                                          "--nodefault",
                                          "--nolockcheck",
                                          "-env:UserInstallation=" + fileUrl(folder_ / "profile"),
                                          "--convert-to",
                                          kOutputFilter,
                                          "--outdir",
                                          outputFolder.string()};
    std::vector<fs::path> outputs;
    try {
        fs::create_directories(inputFolder);
        fs::create_directories(outputFolder);
        fs::create_directories(childTemporaryFolder);
        // The converter works on copies: the sources stay untouched (no lock files beside them)
        // and sources of the same name from different folders cannot overwrite each other.
        for (std::size_t i = 0; i < pending.size(); ++i) {
            const std::string stem = "source" + std::to_string(i + 1);
            const fs::path copy = inputFolder / (stem + lowerExtension(pending[i]));
            fs::copy_file(pending[i], copy);
            arguments.push_back(copy.string());
            outputs.push_back(outputFolder / (stem + ".xlsx"));
        }
    } catch (const fs::filesystem_error& error) {
        std::error_code ignored;
        fs::remove_all(inputFolder, ignored);
        throw SpreadsheetError(
            ErrorCode::ConversionFailed,
            "The workbook " + quotedNames(pending) +
                " could not be prepared for conversion: " + error.code().message() + ".");
    }

    const std::chrono::milliseconds timeLimit = options_.timeLimit.value_or(
        kConverterStartTime + kConversionTimePerWorkbook * static_cast<int>(pending.size()));
    const ProcessOutcome outcome =
        RunWithTimeLimit(program, arguments, {{"TMPDIR", childTemporaryFolder.string()}}, logFile,
                         timeLimit, whileWaiting_);
    std::error_code ec;
    fs::remove_all(inputFolder, ec);

    if (outcome.kind == ProcessOutcome::Kind::CouldNotStart) {
        if (outcome.startError == ENOENT || outcome.startError == EACCES) {
            throwConverterMissing(pending.front());
        }
        throw SpreadsheetError(ErrorCode::ConversionFailed,
                               "LibreOffice could not be started to convert " +
                                   quotedNames(pending) + ": " + std::strerror(outcome.startError) +
                                   ".");
    }
    if (outcome.kind == ProcessOutcome::Kind::TimedOut) {
        fs::remove_all(outputFolder, ec);
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeLimit).count();
        throw SpreadsheetError(ErrorCode::ConversionTimedOut,
                               "Converting " + quotedNames(pending) +
                                   " with LibreOffice did not finish within " +
                                   std::to_string(seconds) +
                                   " seconds and was stopped. The workbook may be very large or "
                                   "damaged.");
    }
    const fs::path* failed = nullptr;
    for (std::size_t i = 0; i < pending.size(); ++i) {
        if (fs::is_regular_file(outputs[i], ec) && fs::file_size(outputs[i], ec) > 0) {
            correctConversion(pending[i], outputs[i]);
            converted_[sourceKey(pending[i])] = outputs[i];
            order_.push_back(pending[i]);
        } else if (failed == nullptr) {
            failed = &pending[i];
        }
    }
    if (failed != nullptr) {
        throw SpreadsheetError(ErrorCode::ConversionFailed,
                               "LibreOffice could not convert the workbook " +
                                   QuotedFileName(*failed) + " for copying" + errorLines(logFile) +
                                   ". The file may be damaged.");
    }
}

} // namespace quillory::spreadsheet::legacy

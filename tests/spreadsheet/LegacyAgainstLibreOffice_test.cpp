// Native listing of .xls workbooks against LibreOffice: workbooks written by libxlsxwriter are
// saved as .xls by LibreOffice and by Gnumeric (BIFF8 and BIFF5), joined by the legacy files of
// the shared corpus; LibreOffice then converts them all (and an .ods) back to .xlsx in one run of
// the converter, and the sheet names it reports must equal the native listing, in order.

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/legacy/LegacyConverter.h"
#include "spreadsheet/legacy/LegacyWorkbookListing.h"
#include "support/PackageEntries.h"
#include "support/TempDir.h"
#include "support/XmlReader.h"

#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <sstream>

#if QUILLORY_HAVE_XLSXWRITER
#include <xlsxwriter.h>
#endif

namespace quillory::spreadsheet::legacy {
namespace {

namespace fs = std::filesystem;
using quillory::testing::readFile;
using quillory::testing::TempDir;

struct XlsxSheet {
    std::string name;
    bool hidden = false;
};

// Sheet names and hidden flags of an .xlsx package, read from its workbook part.
std::vector<XlsxSheet> sheetsOfPackage(const fs::path& file) {
    const auto package = quillory::testing::PackageEntries::read(file);
    const std::string* workbook = package.find("xl/workbook.xml");
    if (workbook == nullptr) {
        return {};
    }
    std::vector<XlsxSheet> sheets;
    quillory::testing::parseXmlTree(*workbook)->forEach([&](const auto& element) {
        if (element.name.local == "sheet") {
            const std::string* name = element.attribute("name");
            const std::string* state = element.attribute("state");
            sheets.push_back({name ? *name : "", state != nullptr && *state != "visible"});
        }
    });
    return sheets;
}

// Per file: "name=visibility|..." of its worksheets as xlrd reads them (0 visible, 1 hidden,
// 2 very hidden).
std::vector<std::string> worksheetsReadByXlrd(const std::vector<fs::path>& files,
                                              const TempDir& work) {
    const fs::path script =
        work.write("xlrd_names.py", "import sys, xlrd\n"
                                    "with open(sys.argv[1], 'w', encoding='utf-8') as out:\n"
                                    "    for name in sys.argv[2:]:\n"
                                    "        book = xlrd.open_workbook(name, on_demand=True)\n"
                                    "        out.write('|'.join('%s=%d' % pair for pair in zip(\n"
                                    "            book.sheet_names(), book._sheet_visibility))"
                                    " + '\\n')\n");
    std::string command = "/usr/bin/python3 " + ("'" + script.string() + "'") + " '" +
                          (work / "xlrd.out").string() + "'";
    for (const fs::path& file : files) {
        command += " '" + file.string() + "'";
    }
    if (std::system((command + " 2>" + (work / "xlrd.log").string()).c_str()) != 0) {
        ADD_FAILURE() << "xlrd failed: " << readFile(work / "xlrd.log");
        return {};
    }
    std::vector<std::string> lines;
    std::istringstream in(readFile(work / "xlrd.out"));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool haveProgram(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

#if QUILLORY_HAVE_XLSXWRITER

const std::vector<std::string> kNamesWorkbook = {"Données",     "O'Brien & <Co>",
                                                 "Chart Sheet", "Ελληνικά",
                                                 "Hidden",      "abcdefghijklmnopqrstuvwxyz01234",
                                                 "日本語",      "Smile 😀"};

void writeNamesWorkbook(const fs::path& file) {
    lxw_workbook* workbook = workbook_new(file.c_str());
    lxw_worksheet* first = nullptr;
    for (const std::string& name : kNamesWorkbook) {
        if (name == "Chart Sheet") {
            lxw_chartsheet* chartsheet = workbook_add_chartsheet(workbook, name.c_str());
            lxw_chart* chart = workbook_add_chart(workbook, LXW_CHART_COLUMN);
            chart_add_series(chart, nullptr, "='Données'!$A$1:$A$3");
            chartsheet_set_chart(chartsheet, chart);
            continue;
        }
        lxw_worksheet* sheet = workbook_add_worksheet(workbook, name.c_str());
        for (int row = 0; row < 3; ++row) {
            worksheet_write_number(sheet, row, 0, row + 1, nullptr);
        }
        worksheet_write_string(sheet, 0, 1, name.c_str(), nullptr);
        if (first == nullptr) {
            first = sheet;
        }
        if (name == "Hidden") {
            worksheet_hide(sheet);
        }
    }
    worksheet_activate(first);
    ASSERT_EQ(workbook_close(workbook), LXW_NO_ERROR);
}

// Characters of the Western code page only, for the BIFF5 (Excel 5.0/95) writer.
void writeLatinWorkbook(const fs::path& file) {
    lxw_workbook* workbook = workbook_new(file.c_str());
    for (const char* name : {"Données", "Café €", "Straße", "Ärger"}) {
        lxw_worksheet* sheet = workbook_add_worksheet(workbook, name);
        worksheet_write_string(sheet, 0, 0, name, nullptr);
    }
    ASSERT_EQ(workbook_close(workbook), LXW_NO_ERROR);
}

// Enough sheets and cells that the workbook stream spans many sectors.
void writeLargeWorkbook(const fs::path& file) {
    lxw_workbook* workbook = workbook_new(file.c_str());
    for (int i = 1; i <= 60; ++i) {
        const std::string name = "Sheet no. " + std::to_string(i);
        lxw_worksheet* sheet = workbook_add_worksheet(workbook, name.c_str());
        for (int row = 0; row < 120; ++row) {
            worksheet_write_number(sheet, row, 0, row * i, nullptr);
            worksheet_write_string(sheet, row, 1, ("text " + std::to_string(row)).c_str(), nullptr);
        }
    }
    ASSERT_EQ(workbook_close(workbook), LXW_NO_ERROR);
}

TEST(LegacyAgainstLibreOffice, NativeListingEqualsLibreOfficesSheetsForEveryLegacyFile) {
    if (!haveProgram("soffice") || !haveProgram("ssconvert") ||
        std::system("/usr/bin/python3 -c 'import xlrd' 2>/dev/null") != 0) {
        GTEST_SKIP() << "needs LibreOffice (soffice), Gnumeric (ssconvert) and python3-xlrd";
    }
    TempDir work;
    const fs::path made = work / "made";
    fs::create_directories(made);
    writeNamesWorkbook(made / "names.xlsx");
    writeLatinWorkbook(made / "latin.xlsx");
    writeLargeWorkbook(made / "large.xlsx");

    // LibreOffice writes BIFF8 .xls; Gnumeric writes BIFF8, BIFF5 and .ods.
    const fs::path saved = work / "saved";
    fs::create_directories(saved);
    const std::string libreOffice =
        "cd " + quoted(made) + " && TMPDIR=" + quoted(work.path()) +
        " soffice --headless --norestore -env:UserInstallation=file://" +
        (work / "profile").string() + " --convert-to 'xls:MS Excel 97' --outdir " + quoted(saved) +
        " names.xlsx latin.xlsx large.xlsx > " + quoted(work / "lo.log") + " 2>&1";
    ASSERT_EQ(std::system(libreOffice.c_str()), 0) << readFile(work / "lo.log");
    auto gnumeric = [&](const std::string& input, const std::string& type, const fs::path& out) {
        const std::string command = "ssconvert --export-type=" + type + " " + quoted(made / input) +
                                    " " + quoted(out) + " > " + quoted(work / "gnumeric.log") +
                                    " 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << readFile(work / "gnumeric.log");
    };
    gnumeric("names.xlsx", "Gnumeric_Excel:excel_biff8", saved / "names-gnumeric8.xls");
    gnumeric("latin.xlsx", "Gnumeric_Excel:excel_biff7", saved / "latin-gnumeric5.xls");
    gnumeric("names.xlsx", "Gnumeric_OpenCalc:openoffice", saved / "names.ods");
    // Two sources of the same file name, from different folders, in the same conversion.
    fs::create_directories(work / "a");
    fs::create_directories(work / "b");
    fs::copy_file(saved / "latin-gnumeric5.xls", work / "a" / "Book.xls");
    fs::copy_file(saved / "names.xls", work / "b" / "Book.xls");

    std::vector<fs::path> legacy = {saved / "names.xls",           saved / "latin.xls",
                                    saved / "large.xls",           saved / "names-gnumeric8.xls",
                                    saved / "latin-gnumeric5.xls", work / "a" / "Book.xls",
                                    work / "b" / "Book.xls"};
    const fs::path corpus = fs::path(QUILLORY_SHARED_DIR) / "corpus";
    std::size_t corpusFiles = 0;
    if (fs::is_directory(corpus)) {
        for (const auto& entry : fs::directory_iterator(corpus)) {
            if (entry.path().extension() != ".xls") {
                continue;
            }
            try {
                ListLegacyWorkbook(entry.path());
                legacy.push_back(entry.path());
                ++corpusFiles;
            } catch (const SpreadsheetError& error) {
                // Broken on purpose: the description names the file; LibreOffice is not asked.
                EXPECT_NE(error.description().find(entry.path().filename().string()),
                          std::string::npos);
            }
        }
    } else {
        std::cout << "[ NOTE ] " << corpus << " is absent: the corpus files are left out\n";
    }

    // What the native listing says, before anything else touches the files.
    std::map<fs::path, LegacyWorkbookListing> listings;
    std::map<fs::path, std::string> bytesBefore;
    for (const fs::path& file : legacy) {
        listings[file] = ListLegacyWorkbook(file);
        bytesBefore[file] = readFile(file);
    }
    EXPECT_EQ(listings[saved / "latin-gnumeric5.xls"].version, BiffVersion::Biff5);
    EXPECT_EQ(listings[saved / "names.xls"].version, BiffVersion::Biff8);
    for (const fs::path& file : {saved / "names.xls", saved / "names-gnumeric8.xls"}) {
        SCOPED_TRACE(file.filename().string());
        const LegacyWorkbookListing& listing = listings[file];
        // Both writers save the chart sheet as a worksheet holding the chart.
        EXPECT_EQ(listing.WorksheetNames(), kNamesWorkbook);
        EXPECT_EQ(listing.sheets.at(4).visibility, SheetVisibility::Hidden);
    }
    // The worksheets (chart sheets, macro sheets and modules left out) and their visibility as
    // xlrd, another reader of the format, sees them.
    const std::vector<std::string> xlrdSheets = worksheetsReadByXlrd(legacy, work);
    ASSERT_EQ(xlrdSheets.size(), legacy.size());
    for (std::size_t i = 0; i < legacy.size(); ++i) {
        std::string native;
        for (const LegacySheet& sheet : listings[legacy[i]].sheets) {
            if (sheet.kind == LegacySheetKind::Worksheet) {
                native += (native.empty() ? "" : "|") + sheet.name + "=" +
                          std::to_string(static_cast<int>(sheet.visibility));
            }
        }
        EXPECT_EQ(native, xlrdSheets[i]) << legacy[i];
    }

    TempDir temporaryRoot;
    {
        LegacyConverter converter(ConverterOptions{{}, {}, temporaryRoot.path()});
        std::vector<fs::path> toConvert = legacy;
        toConvert.push_back(saved / "names.ods");
        converter.ConvertAll(toConvert);
        EXPECT_EQ(converter.ConvertedSources().size(), toConvert.size());

        for (const fs::path& file : legacy) {
            SCOPED_TRACE(file.string());
            const fs::path converted = converter.Convert(file);
            const std::vector<XlsxSheet> reported = sheetsOfPackage(converted);
            std::vector<const LegacySheet*> sheets;
            for (const LegacySheet& sheet : listings[file].sheets) {
                if (sheet.kind != LegacySheetKind::VisualBasicModule) {
                    sheets.push_back(&sheet);
                }
            }
            ASSERT_EQ(sheets.size(), reported.size());
            for (std::size_t i = 0; i < sheets.size(); ++i) {
                EXPECT_EQ(sheets[i]->name, reported[i].name);
                EXPECT_EQ(sheets[i]->visibility != SheetVisibility::Visible, reported[i].hidden)
                    << sheets[i]->name;
            }
        }
        std::vector<std::string> odsNames;
        for (const XlsxSheet& sheet : sheetsOfPackage(converter.Convert(saved / "names.ods"))) {
            odsNames.push_back(sheet.name);
        }
        EXPECT_EQ(odsNames, kNamesWorkbook);
        // Asking again converts nothing more.
        EXPECT_EQ(converter.ConvertedSources().size(), toConvert.size());
        EXPECT_FALSE(converter.TemporaryFolder().empty());
    }
    EXPECT_TRUE(fs::is_empty(temporaryRoot.path())) << "the converter left files behind";
    for (const fs::path& file : legacy) {
        EXPECT_EQ(readFile(file), bytesBefore[file]) << file << " was changed";
    }
    for (const fs::path& folder : {saved, work / "a", work / "b"}) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            EXPECT_EQ(entry.path().filename().string().find(".~lock"), std::string::npos)
                << "lock file left beside a source: " << entry.path();
        }
    }
    if (fs::is_directory(corpus)) {
        EXPECT_GE(corpusFiles, 1U);
    }
}

#endif

TEST(LegacyAgainstLibreOffice, CorpusFilesThatAreBrokenOnPurposeGetTheirOwnDescriptions) {
    const fs::path corpus = fs::path(QUILLORY_SHARED_DIR) / "corpus";
    if (!fs::is_directory(corpus)) {
        GTEST_SKIP() << corpus << " is absent";
    }
    const std::pair<const char*, ErrorCode> expected[] = {
        {"calamine__tests--too_small.xls", ErrorCode::TextNotWorkbook},
        {"poi__test-data--spreadsheet--password.xls", ErrorCode::PasswordProtected},
        {"poi__test-data--spreadsheet--clusterfuzz-testcase-minimized-POIHSSFFuzzer-"
         "5786329142919168.xls",
         ErrorCode::TruncatedPackage},
    };
    for (const auto& [name, code] : expected) {
        const fs::path file = corpus / name;
        if (!fs::exists(file)) {
            std::cout << "[ NOTE ] " << name << " is not in the corpus\n";
            continue;
        }
        try {
            ListLegacyWorkbook(file);
            ADD_FAILURE() << name << " was listed";
        } catch (const SpreadsheetError& error) {
            EXPECT_EQ(error.code(), code) << error.description();
            EXPECT_NE(error.description().find(name), std::string::npos);
        }
    }
}

} // namespace
} // namespace quillory::spreadsheet::legacy

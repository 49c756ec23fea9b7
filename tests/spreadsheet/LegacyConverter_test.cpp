// The failure paths of converting legacy sources, with stand-in converter programs that hang,
// fail or are missing: each gives its own description, no converter process outlives the call
// and nothing is left in the temporary folder. Zipped .xlsb and .ods sources are looked into
// first: LibreOffice would turn a damaged one into an empty sheet, merged as if it were the
// workbook. The real conversion is tested against LibreOffice in legacy_formats_test.py.

#include "EnginePackages.h"
#include "spreadsheet/Automation.h"
#include "spreadsheet/LegacyTestFiles.h"
#include "spreadsheet/legacy/ChildProcess.h"
#include "spreadsheet/legacy/LegacyConverter.h"
#include "spreadsheet/ooxml/package/OutputSink.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"
#include "support/ExpectFailure.h"
#include "support/PackageChecker.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <thread>

namespace quillory::spreadsheet::legacy {
namespace {

namespace fs = std::filesystem;
using quillory::testing::ExpectFailure;
using quillory::testing::readFile;
using quillory::testing::TempDir;
using namespace testing::legacy;

fs::path script(const TempDir& folder, const std::string& name, const std::string& body) {
    const fs::path file = folder.write(name, "#!/bin/sh\n" + body);
    fs::permissions(file, fs::perms::owner_all);
    return file;
}

// A script line that starts a helper of its own, as LibreOffice does, and writes its id and then
// the script's own to `pids`.
std::string startingAHelper(const fs::path& pids) {
    return "sleep 600 & echo $! > '" + pids.string() + "'; echo $$ >> '" + pids.string() + "'\n";
}

// A killed process needs a moment to die; gone, or a zombie waiting for its parent, is ended.
bool endsSoon(pid_t pid) {
    for (int look = 0; look < 1000; ++look) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text;
        if (!std::getline(stat, text) || text.find(") Z") != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Both processes startingAHelper wrote down are ended.
void expectBothEnded(const fs::path& pids) {
    std::istringstream ids(readFile(pids));
    int checked = 0;
    for (pid_t pid = 0; ids >> pid; ++checked) {
        EXPECT_TRUE(endsSoon(pid)) << "pid " << pid << " runs on";
    }
    EXPECT_EQ(checked, 2) << "the script did not start in time";
}

using Entries = std::map<std::string, std::string>;

std::string zipOf(const Entries& entries) {
    ooxml::MemorySink sink;
    ooxml::ZipWriter zip(sink);
    for (const auto& [name, bytes] : entries) {
        zip.addEntry(name, bytes);
    }
    zip.finish();
    return sink.bytes();
}

// Begin book, the sheet list with one sheet record (relationship id and name), end book.
std::string binaryWorkbookPart() {
    const std::string sheet = u32(0) + u32(1) + u32(4) + utf16(u"rId1") + u32(6) + utf16(u"Sheet1");
    return std::string("\x83\x01\x00\x8F\x01\x00", 6) + "\x9C\x01" +
           static_cast<char>(sheet.size()) + sheet + std::string("\x90\x01\x00\x84\x01\x00", 6);
}

constexpr const char* kBinaryType = "application/vnd.ms-excel.sheet.binary.macroEnabled.main";

Entries binaryWorkbook(const std::string& part, const std::string& bytes,
                       const std::string& type = kBinaryType) {
    return {{"[Content_Types].xml",
             "<?xml version=\"1.0\"?><Types "
             "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
             "<Default Extension=\"rels\" "
             "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
             "<Override PartName=\"/" +
                 part + "\" ContentType=\"" + type + "\"/></Types>"},
            {"_rels/.rels",
             testing::RelationshipsXml(testing::RelationshipTo("rId1", "officeDocument", part))},
            {part, bytes}};
}

Entries openDocument(const std::string& mimetype) {
    return {{"mimetype", mimetype},
            {"content.xml", "<?xml version=\"1.0\"?><office:document-content/>"},
            {"META-INF/manifest.xml", "<?xml version=\"1.0\"?><manifest:manifest/>"}};
}

struct LegacyConversion : ::testing::Test {
    TempDir sources;
    TempDir temporaryRoot;
    TempDir tools;
    fs::path workbook = sources.write("Budget 2024.xls", biff8Workbook({sheetNamed("Data")}));

    ConverterOptions options(const fs::path& program,
                             std::chrono::milliseconds limit = std::chrono::seconds(60)) const {
        return ConverterOptions{program, limit, temporaryRoot.path(), {}};
    }

    // Converts a source of these bytes with a stand-in that leaves a mark and converts nothing: a
    // source that passes the look inside fails afterwards with ConversionFailed; one refused
    // before never leaves the mark.
    SpreadsheetError failureConverting(const std::string& name, const std::string& bytes) {
        fs::remove(tools / "ran");
        LegacyConverter converter(
            options(script(tools, "mark.sh", "touch '" + (tools / "ran").string() + "'\n")));
        try {
            converter.Convert(sources.write(name, bytes));
        } catch (const SpreadsheetError& error) {
            return error;
        }
        ADD_FAILURE() << "conversion succeeded";
        return SpreadsheetError(ErrorCode::Internal, "");
    }
};

// A stand-in converter that hangs (with a helper of its own), writes nothing or is missing: each
// fails with its own words, every process it started is ended, the source is unchanged and nothing
// is left behind. A second request tries again rather than handing out a file that does not exist.
TEST_F(LegacyConversion, AConverterThatHangsWritesNothingOrIsMissingFailsWithItsOwnWords) {
    using enum ErrorCode;
    const fs::path pids = tools / "pids";
    const std::string before = readFile(workbook);
    const struct {
        fs::path program;
        ErrorCode code;
        std::string words;
    } cases[] = {
        {script(tools, "hang.sh", startingAHelper(pids) + "wait\n"), ConversionTimedOut,
         "did not finish"},
        {script(tools, "fail.sh", "echo 'Error: source file could not be loaded'\nexit 0\n"),
         ConversionFailed, "source file could not be loaded"},
        {tools / "no-such-program", ConverterMissing, kConverterPackage},
        // A program that exists but cannot be run is as good as missing.
        {tools.write("soffice", "not a program"), ConverterMissing, kConverterPackage},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.program.filename().string());
        {
            LegacyConverter converter(options(test.program, std::chrono::milliseconds(1500)));
            for (int attempt = 0; attempt < 2; ++attempt) {
                ExpectFailure([&] { converter.Convert(workbook); }, test.code,
                              {"\"Budget 2024.xls\"", test.words});
                if (test.code == ConversionTimedOut) {
                    expectBothEnded(pids);
                }
            }
            EXPECT_TRUE(converter.ConvertedSources().empty());
        }
        EXPECT_TRUE(fs::is_empty(temporaryRoot.path()));
        EXPECT_EQ(readFile(workbook), before);
    }
}

// Sources that are not what their names say, the hostile legacy files kept in
// tests/fixtures/legacy, and zipped .xlsb and .ods sources that are damaged: converting looks into
// each first and refuses it with its own description, before the converter runs. Sound zipped
// sources, their workbook part found through the package relationships wherever it lies, go on
// to the converter.
TEST_F(LegacyConversion, SourcesThatAreNotWhatTheySayFailBeforeAnyConversion) {
    using enum ErrorCode;
    const std::string part = binaryWorkbookPart();
    std::string scrambled = part;
    scrambled[0] = '\x01';
    Entries missing = binaryWorkbook("xl/workbook.bin", part);
    missing.erase("xl/workbook.bin");
    const std::string spreadsheet = "application/vnd.oasis.opendocument.spreadsheet";
    Entries empty = openDocument(spreadsheet);
    empty.erase("content.xml");
    Entries plainZip = openDocument("");
    plainZip.erase("mimetype");
    const auto fixture = [](const std::string& name, ErrorCode code, const std::string& words) {
        const fs::path folder = fs::path(QUILLORY_SOURCE_DIR) / "tests" / "fixtures" / "legacy";
        return BadFile{name, readFile(folder / name), code, words};
    };
    const BadFile cases[] = {
        {"list.ods", "just,some\ntext,here\n", TextNotWorkbook, ""},
        fixture("truncated-compound-file.xls", TruncatedPackage, "cut short"),
        fixture("sheet-record-outside-stream.xls", DamagedLegacyWorkbook, "points outside"),
        fixture("looping-fat-chain.xls", DamagedLegacyWorkbook, "loops"),
        fixture("encrypted-filepass.xls", PasswordProtected, "password"),
        fixture("excel4-biff4.xls", LegacyVersionUnsupported, "Excel 4.0"),
        fixture("html-saved-as.xls", TextNotWorkbook, "web page"),
        fixture("csv-saved-as.xls", TextNotWorkbook, "text file"),
        // Only the begin-book record: what LibreOffice turns into an empty "Sheet1".
        {"stub.xlsb", zipOf(binaryWorkbook("xl/workbook.bin", "\x83\x01\x00")),
         DamagedLegacyWorkbook, "xl/workbook.bin"},
        {"scrambled.xlsb", zipOf(binaryWorkbook("xl/workbook.bin", scrambled)),
         DamagedLegacyWorkbook, ""},
        {"missing.xlsb", zipOf(missing), DamagedLegacyWorkbook, ""},
        {"xml-inside.xlsb",
         zipOf(binaryWorkbook("xl/workbook.xml", part,
                              "application/vnd.openxmlformats-officedocument."
                              "spreadsheetml.sheet.main+xml")),
         NotAWorkbook, ""},
        {"letter.ods", zipOf(openDocument("application/vnd.oasis.opendocument.text")), NotAWorkbook,
         "opendocument.text"},
        {"empty.ods", zipOf(empty), DamagedLegacyWorkbook, ""},
        {"archive.ods", zipOf(plainZip), NotAWorkbook, ""},
        {"sound.xlsb", zipOf(binaryWorkbook("xl/book.bin", part)), ConversionFailed, ""},
        {"sound.ods", zipOf(openDocument(spreadsheet)), ConversionFailed, ""},
    };
    for (const BadFile& refusal : cases) {
        SCOPED_TRACE(refusal.name);
        const SpreadsheetError error = failureConverting(refusal.name, refusal.bytes);
        EXPECT_EQ(error.code(), refusal.code) << error.description();
        EXPECT_NE(error.description().find("\"" + refusal.name + "\""), std::string::npos);
        EXPECT_NE(error.description().find(refusal.words), std::string::npos)
            << error.description();
        EXPECT_EQ(fs::exists(tools / "ran"), refusal.code == ConversionFailed);
    }
    const std::string whole = zipOf(binaryWorkbook("xl/workbook.bin", part));
    const SpreadsheetError cut = failureConverting("cut.xlsb", whole.substr(0, whole.size() - 30));
    EXPECT_NE(cut.code(), ConversionFailed) << cut.description();
    EXPECT_FALSE(fs::exists(tools / "ran"));
    LegacyConverter converter(options(tools / "mark.sh"));
    ExpectFailure([&] { converter.Convert(sources / "gone.xlsb"); }, FileNotFound);
    EXPECT_FALSE(fs::exists(tools / "ran"));
    EXPECT_TRUE(fs::is_empty(temporaryRoot.path()));
}

// The conversion of a sheet "Data" that embeds two charts, as a converter writes it: without them
// (with a drawing of a shape, or no drawing), or with both.
quillory::testing::PackageEntries convertedWithCharts(bool shape, bool charts,
                                                      bool damaged = false) {
    using namespace quillory::testing;
    const std::string type = "application/vnd.openxmlformats-officedocument.";
    const auto anchor = [](const std::string& id, const std::string& content) {
        return "<xdr:twoCellAnchor><xdr:from><xdr:col>1</xdr:col><xdr:colOff>0</xdr:colOff>"
               "<xdr:row>" +
               id +
               "</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>5</xdr:col>"
               "<xdr:colOff>0</xdr:colOff><xdr:row>9</xdr:row><xdr:rowOff>0</xdr:rowOff>"
               "</xdr:to>" +
               content + "<xdr:clientData/></xdr:twoCellAnchor>";
    };
    MiniWorkbook book;
    book.sheets.emplace_back("Data",
                             "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c></row></sheetData>");
    MiniSheet& data = book.sheets.front();
    std::string anchors = shape ? anchor("1", "<xdr:sp><xdr:nvSpPr><xdr:cNvPr id=\"1\" "
                                              "name=\"Box\"/><xdr:cNvSpPr/></xdr:nvSpPr>"
                                              "<xdr:spPr/></xdr:sp>")
                                : "";
    std::string chartRelationships;
    std::vector<std::string> chartParts;
    for (const std::string id : {"2", "3"}) {
        if (!charts) {
            break;
        }
        anchors += anchor(
            id, "<xdr:graphicFrame macro=\"\"><xdr:nvGraphicFramePr><xdr:cNvPr id=\"" + id +
                    "\" name=\"\"/><xdr:cNvGraphicFramePr/></xdr:nvGraphicFramePr><xdr:xfrm>"
                    "<a:off x=\"0\" y=\"0\"/><a:ext cx=\"0\" cy=\"0\"/></xdr:xfrm><a:graphic>"
                    "<a:graphicData uri=\"http://schemas.openxmlformats.org/drawingml/2006/"
                    "chart\"><c:chart xmlns:c=\"http://schemas.openxmlformats.org/drawingml/"
                    "2006/chart\" r:id=\"rId" +
                    id + "\"/></a:graphicData></a:graphic></xdr:graphicFrame>");
        chartRelationships += RelationshipTo("rId" + id, "chart", "../charts/chart" + id + ".xml");
        chartParts.push_back("xl/charts/chart" + id + ".xml");
        data.parts.push_back({chartParts.back(),
                              "<c:chartSpace xmlns:c=\"http://schemas.openxmlformats.org/"
                              "drawingml/2006/chart\"><c:chart><c:plotArea><c:layout/>"
                              "</c:plotArea></c:chart></c:chartSpace>"});
    }
    if (shape || charts) {
        data.body += "<drawing r:id=\"rId1\"/>";
        data.rels = RelationshipTo("rId1", "drawing", "../drawings/drawing1.xml");
        data.parts.push_back(
            {"xl/drawings/drawing1.xml",
             "<xdr:wsDr "
             "xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
             "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" xmlns:r=\"" +
                 kRelNs + "\">" + anchors + (damaged ? "</xdr:wsDrr>" : "</xdr:wsDr>")});
    }
    if (charts) {
        data.parts.push_back(
            {"xl/drawings/_rels/drawing1.xml.rels", RelationshipsXml(chartRelationships)});
    }
    auto package = BuildPackage(book);
    for (const std::string& part : chartParts) {
        AddOverride(package, part, type + "drawingml.chart+xml");
    }
    if (shape || charts) {
        AddOverride(package, "xl/drawings/drawing1.xml", type + "drawing+xml");
    }
    // As a converter writes them: no number formats of its own, one font and cell format.
    package.set("xl/styles.xml",
                "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
                "<fonts count=\"1\"><font><sz val=\"10\"/><name val=\"Arial\"/></font></fonts>"
                "<fills count=\"1\"><fill><patternFill patternType=\"none\"/></fill></fills>"
                "<borders count=\"1\"><border/></borders><cellXfs count=\"1\"><xf numFmtId=\"0\" "
                "fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellXfs></styleSheet>");
    package.replaceOnce("xl/worksheets/sheet1.xml", "<sheetView ", "<sheetView tabSelected=\"1\" ");
    return package;
}

// A sheet that embeds two charts a stand-in LibreOffice leaves out: they come from a stand-in
// Gnumeric's conversion into the sheet's drawing (made, or the shape's), or the sheet stays as
// converted and its note says why, whatever that conversion does (fails, hangs, writes a damaged
// drawing or none of the charts). Every result is a sound package.
TEST_F(LegacyConversion, ChartsTheConversionLeavesOutComeFromGnumericsOrAreNoted) {
    const std::string chart = bof(kBiff8, 0x0020) + record(0x1002, std::string(16, '\0')) + eof();
    TestSheet data = sheetNamed("Data");
    data.records = chart + chart;
    const fs::path source = sources.write("Charts.xls", biff8Workbook({data}));
    const auto file = [&](const std::string& name,
                          const quillory::testing::PackageEntries& package) {
        package.write(tools / name);
        return (tools / name).string();
    };
    const std::string donor = file("donor.xlsx", convertedWithCharts(false, true));
    const std::string damaged = file("damaged.xlsx", convertedWithCharts(false, true, true));
    const std::string bare = file("bare.xlsx", convertedWithCharts(false, false));
    const auto copying = [](const std::string& package) { return "cp '" + package + "' \"$3\"\n"; };
    const struct {
        std::string name;
        std::string gnumeric; // the stand-in's script; empty: not installed
        bool shape;           // LibreOffice's conversion has a drawing of a shape on the sheet
        std::size_t charts;   // on the sheet afterwards
        std::string noteWords;
    } cases[] = {
        {"carried", copying(donor), false, 2, ""},
        {"beside a shape", copying(donor), true, 2, ""},
        {"not installed", "", false, 0, "is not installed (package gnumeric)"},
        {"failing", "echo 'Error: no way'\nexit 1\n", false, 0, "failed (Gnumeric said: Error"},
        {"hanging", "sleep 600\n", true, 0, "did not finish"},
        {"damaged", copying(damaged), false, 0, "cannot be used"},
        {"without them", copying(bare), false, 0, "holds no more of them"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string converted =
            file("converted.xlsx", convertedWithCharts(test.shape, false));
        ConverterOptions chosen =
            options(script(tools, "soffice",
                           "for a; do [ \"$p\" = --outdir ] && o=$a; p=$a; done\ncp '" + converted +
                               "' \"$o/source1.xlsx\"\n"),
                    std::chrono::seconds(test.name == "hanging" ? 2 : 60));
        chosen.chartProgram =
            test.gnumeric.empty() ? tools / "absent" : script(tools, "ssconvert", test.gnumeric);
        LegacyConverter converter(chosen);
        const auto result = quillory::testing::PackageEntries::read(converter.Convert(source));
        EXPECT_EQ(quillory::testing::checkPackage(result), std::vector<std::string>());
        const std::string* sheet = result.find("xl/worksheets/sheet1.xml");
        ASSERT_NE(sheet, nullptr);
        const std::string* rels = result.find("xl/drawings/_rels/drawing1.xml.rels");
        std::size_t charts = 0;
        for (std::size_t at = 0;
             rels != nullptr && (at = rels->find("/chart\"", at)) != std::string::npos; ++at) {
            ++charts;
        }
        EXPECT_EQ(charts, test.charts);
        EXPECT_EQ(sheet->find("<drawing ") != std::string::npos, test.shape || charts > 0);
        if (test.shape) { // the shape stays first, the charts' frames numbered after it
            const std::string& drawing = *result.find("xl/drawings/drawing1.xml");
            EXPECT_LT(drawing.find("name=\"Box\""), drawing.find("<xdr:graphicFrame"));
            EXPECT_EQ(drawing.find("cNvPr id=\"2\"") != std::string::npos, charts > 0);
        }
        const auto notes = converter.SheetNotes(source);
        if (test.noteWords.empty()) {
            EXPECT_TRUE(notes.empty()) << notes.begin()->second;
        } else {
            ASSERT_EQ(notes.count("Data"), 1U);
            EXPECT_NE(notes.at("Data").find("The 2 charts embedded in the sheet 'Data' were not"),
                      std::string::npos);
            EXPECT_NE(notes.at("Data").find(test.noteWords), std::string::npos) << notes.at("Data");
        }
    }
    EXPECT_TRUE(fs::is_empty(temporaryRoot.path()));
}

// While a helper program runs, the caller is called back between looks at it (the window
// repaints there); a callback that throws ends the helper's whole group at once.
TEST(ChildProcessWaiting, ThrowingCallbackEndsTheWholeGroup) {
    TempDir dir;
    int calls = 0;
    EXPECT_THROW(RunWithTimeLimit("/bin/sh", {"-c", startingAHelper(dir / "pids") + "wait"}, {},
                                  dir / "log.txt", std::chrono::seconds(60),
                                  [&] {
                                      if (++calls == 10) {
                                          throw std::runtime_error("window closed");
                                      }
                                  }),
                 std::runtime_error);
    expectBothEnded(dir / "pids");
}

// Sources named ahead share one converter run that leaves out files that are no workbooks; an
// .xls is listed without any conversion, and bad legacy sources fail to open with their own
// description. The stand-in converter on the PATH only records its arguments: it converts
// nothing, so the shared run fails and each source would be converted again when it is copied.
// Copies of legacy sources are checked against LibreOffice's reading in legacy_formats_test.py.
TEST(LegacyEngine, SourcesNamedAheadShareOneRunListingNeedsNoneAndBadOnesFailToOpen) {
    TempDir work;
    TempDir temporary;
    const fs::path runs = work / "runs.txt";
    script(work, "bin/soffice", "echo \"$@\" >> '" + runs.string() + "'\n");
    const std::string searchPath = (work / "bin").string() + ":" + std::getenv("PATH");
    quillory::testing::ScopedEnv path("PATH", searchPath.c_str());
    quillory::testing::ScopedEnv temporaryFolder("TMPDIR", temporary.path().c_str());
    const fs::path north = work.write(
        "north.XLS", biff8Workbook({sheetNamed("North"), sheetNamed("Chart", 2),
                                    sheetNamed("Module1", 6), sheetNamed("South", 0, 1)}));
    const fs::path south = work.write("south.xls", biff8Workbook({sheetNamed("Data")}));
    const fs::path page = work.write("prices.xls", "<html><body><table><tr><td>1</td></tr>");
    auto application = CreateEngineApplication();
    application->PrepareWorkbooks({north, page, south, north});
    const std::string log = readFile(runs);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find("source2.xls"), std::string::npos) << "both workbooks in one run: " << log;
    EXPECT_EQ(log.find("source3"), std::string::npos) << "the web page must stay out: " << log;
    Workbook& workbook = application->Workbooks().Open(north);
    ASSERT_EQ(workbook.Worksheets().Count(), 2);
    EXPECT_EQ(workbook.Worksheets().Item(1).Name(), "North");
    EXPECT_EQ(workbook.Worksheets().Item(2).Name(), "South");
    EXPECT_EQ(workbook.Worksheets().Item(2).Visibility(), SheetVisibility::Hidden);
    EXPECT_EQ(workbook.AllSheets().Count(), 3);
    EXPECT_EQ(workbook.AllSheets().Item(2).Kind(), SheetKind::ChartSheet);
    EXPECT_EQ(readFile(runs), log) << "listing ran the converter";
    ExpectFailure([&] { application->Workbooks().Open(page); }, ErrorCode::TextNotWorkbook,
                  {"\"prices.xls\""});
    application->Quit();
    EXPECT_TRUE(fs::is_empty(temporary.path())) << "conversion files were left behind";
}

} // namespace
} // namespace quillory::spreadsheet::legacy

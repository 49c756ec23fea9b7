#include "EnginePackages.h"
#include "spreadsheet/ooxml/formulas/Formula.h"
#include "spreadsheet/ooxml/formulas/FormulaTokenizer.h"
#include "spreadsheet/ooxml/formulas/SheetNames.h"
#include "spreadsheet/ooxml/xml/Xml.h"
#include "support/PackageEntries.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>

namespace quillory::spreadsheet::ooxml {
namespace {

using Mapping = std::map<std::string, std::string>;

// Looks a name up the way the engine does: without regard to case.
std::function<std::optional<std::string>(std::string_view)> Lookup(const Mapping& mapping) {
    std::map<std::string, std::string> byKey;
    for (const auto& [from, to] : mapping) {
        byKey.emplace(SheetNameKey(from), to);
    }
    return [byKey](std::string_view name) -> std::optional<std::string> {
        const auto found = byKey.find(SheetNameKey(name));
        return found == byKey.end() ? std::nullopt : std::optional(found->second);
    };
}

// A merge in which "Data" became "Data (2)", "My Sheet" became "Totals 2024", "Summary" and
// "It's" kept their names, "Archive" stayed behind; table BigCity became BigCity_2; defined name
// AirportCode became AirportCode_2; external link [1] became [3]; [2] was not carried.
class RewriteFormulaTest : public ::testing::Test {
protected:
    RewriteFormulaTest() {
        context.sheet = Lookup({{"Data", "Data (2)"},
                                {"My Sheet", "Totals 2024"},
                                {"Summary", "Summary"},
                                {"It's", "It's"},
                                {"Sheet2", "Sheet2 (2)"},
                                {"Sheet3", "Sheet3"},
                                {"Sheet5", "Sheet5"},
                                {"Codelist", "Codelist"}});
        context.table = Lookup({{"BigCity", "BigCity_2"}, {"SmallCity", "SmallCity"}});
        context.definedName = Lookup({{"AirportCode", "AirportCode_2"}, {"Rates", "Rates"}});
        context.externalLink = [](int index) -> std::optional<int> {
            return index == 1 ? std::optional(3) : std::nullopt;
        };
        context.currentSheet = "Summary";
    }

    FormulaRewrite Rewrite(std::string_view formula) const {
        return RewriteFormula(formula, context);
    }

    FormulaContext context;
};

TEST_F(RewriteFormulaTest, RenamedReferencesAreRewrittenEverythingElseKeptByteForByte) {
    const std::pair<std::string, std::string> cases[] = {
        // Sheets, quoted as the new name needs.
        {"SUM(Data!A1:B2)", "SUM('Data (2)'!A1:B2)"},
        {"'My Sheet'!$A$1*2", "'Totals 2024'!$A$1*2"},
        {"VLOOKUP(A1,data!$A:$N,4,FALSE)", "VLOOKUP(A1,'Data (2)'!$A:$N,4,FALSE)"},
        {"Data!$5:$6", "'Data (2)'!$5:$6"},
        {"Data!#REF!+1", "'Data (2)'!#REF!+1"},
        {"Data!A1#", "'Data (2)'!A1#"},
        {"Data!A1:Data!B2", "'Data (2)'!A1:'Data (2)'!B2"},
        // Unchanged sheets keep their original spelling, quotes and case.
        {"'Summary'!A1+summary!B1", "'Summary'!A1+summary!B1"},
        {"'It''s'!A1", "'It''s'!A1"},
        // Tables, in structured references and used whole.
        {"SUBTOTAL(109,BigCity[Population])", "SUBTOTAL(109,BigCity_2[Population])"},
        {"BigCity[[#Totals],[Latitude]]", "BigCity_2[[#Totals],[Latitude]]"},
        {"COUNTA(bigcity[City])&SmallCity[#All]", "COUNTA(BigCity_2[City])&SmallCity[#All]"},
        {"ROWS(BigCity)", "ROWS(BigCity_2)"},
        {"[@Col]*[@[Unit Price]]", "[@Col]*[@[Unit Price]]"},
        // Defined names.
        {"IF(ISERROR(VLOOKUP(A1,AirportCode,2,FALSE)),\"\",VLOOKUP(B1,AirportCode,2,FALSE))",
         "IF(ISERROR(VLOOKUP(A1,AirportCode_2,2,FALSE)),\"\",VLOOKUP(B1,AirportCode_2,2,FALSE))"},
        {"[0]!AirportCode", "[0]!AirportCode_2"},
        // External links.
        {"[1]Codelist!$A$2:$A$11012", "[3]Codelist!$A$2:$A$11012"},
        {"'[1]Code list'!A1+[1]!Rate", "'[3]Code list'!A1+[3]!Rate"},
        // Text, whitespace and function case are never touched.
        {"\"Data!A1\"&Data!A1", "\"Data!A1\"&'Data (2)'!A1"},
        {"sum( Data!A1 ,\n  B2 )", "sum( 'Data (2)'!A1 ,\n  B2 )"},
        {"_xlfn.XLOOKUP(E2,C2:C7,B2:B7,0,1,2)", "_xlfn.XLOOKUP(E2,C2:C7,B2:B7,0,1,2)"},
        // Function names that look like cells are calls; the same words after a sheet are cells.
        {"LOG10(A1)+ATAN2(B1,C1)+Data!LOG10", "LOG10(A1)+ATAN2(B1,C1)+'Data (2)'!LOG10"},
        {"_xlfn.LET(_xlpm.x,Data!A1,_xlpm.x*2)", "_xlfn.LET(_xlpm.x,'Data (2)'!A1,_xlpm.x*2)"},
        // Sheet names inside text for INDIRECT and HYPERLINK are left as they are, with a warning.
        {"INDIRECT(\"Data!A1\")+HYPERLINK(\"#Data!A1\",\"go\")",
         "INDIRECT(\"Data!A1\")+HYPERLINK(\"#Data!A1\",\"go\")"},
    };
    for (const auto& [formula, expected] : cases) {
        const FormulaRewrite result = Rewrite(formula);
        EXPECT_EQ(result.text, expected) << formula;
        EXPECT_TRUE(result.computable) << formula << ": " << result.reason;
        EXPECT_EQ(result.changed, expected != formula) << formula;
        EXPECT_EQ(result.warnings.size(), formula.starts_with("INDIRECT") ? 2u : 0u) << formula;
    }
    EXPECT_NE(Rewrite(cases[std::size(cases) - 1].first).warnings.at(0).find("INDIRECT"),
              std::string::npos);
}

TEST_F(RewriteFormulaTest, ReferencesToWhatTheResultLacksMakeTheFormulaNotComputable) {
    const std::pair<std::string, std::string> cases[] = {
        {"Archive!A1+1", "'Archive'"},
        {"SUM('Old Data'!A:A)", "'Old Data'"},
        {"SUM(Lost[Amount])", "'Lost'"},
        {"VLOOKUP(A1,Currency,2,FALSE)", "'Currency'"},
        {"[2]Codelist!A1", "[2]"},
        {"[2]!Rate", "[2]"},
        {"'C:\\dir\\[Book.xlsx]Data'!A1", "Book.xlsx"},
        {"SUM(Sheet2:Archive!A1)", "'Archive'"},
        // Text that cannot be read is returned as it is.
        {"SUM(Data!A1", "could not be read"},
        {"Data!A1+", "could not be read"},
        {"'Data!A1", "could not be read"},
        {"=Data!A1", "could not be read"},
    };
    for (const auto& [formula, mentioned] : cases) {
        const FormulaRewrite result = Rewrite(formula);
        EXPECT_FALSE(result.computable) << formula;
        EXPECT_EQ(result.text, formula);
        EXPECT_FALSE(result.changed);
        EXPECT_NE(result.reason.find(mentioned), std::string::npos)
            << formula << ": " << result.reason;
    }
    // Every missing thing is named, each once.
    const FormulaRewrite both = Rewrite("Archive!A1+Lost[x]+Archive!B2");
    EXPECT_NE(both.reason.find("'Archive'"), std::string::npos);
    EXPECT_NE(both.reason.find("'Lost'"), std::string::npos);
    EXPECT_EQ(both.reason.find("'Archive'"), both.reason.rfind("'Archive'"));
    // #REF! stays as it is and computes (to the same error) in the result.
    const FormulaRewrite broken = Rewrite("IFERROR(VLOOKUP(#REF!,BigCity[#All],2,FALSE),\"NA\")");
    EXPECT_TRUE(broken.computable) << broken.reason;
    EXPECT_EQ(broken.text, "IFERROR(VLOOKUP(#REF!,BigCity_2[#All],2,FALSE),\"NA\")");
}

TEST_F(RewriteFormulaTest, MissingCallbacksMeanNothingOfThatKindIsCarried) {
    const FormulaContext empty;
    for (const char* formula : {"Data!A1", "T[x]", "Name1", "[1]!x"}) {
        EXPECT_FALSE(RewriteFormula(formula, empty).computable) << formula;
    }
    const FormulaRewrite local = RewriteFormula("SUM(A1:B2)*[@Qty]+Data2!LocalName*0", [] {
        FormulaContext onlySheets;
        onlySheets.sheet = [](std::string_view) { return std::optional<std::string>("S"); };
        return onlySheets;
    }());
    EXPECT_TRUE(local.computable) << local.reason;
    EXPECT_EQ(local.text, "SUM(A1:B2)*[@Qty]+S!LocalName*0");
}

TEST_F(RewriteFormulaTest, ThreeDimensionalReferencesNeedTheWholeSpanCopiedInOrder) {
    const std::string formula = "SUM(Sheet2:Sheet5!A11)+SUM('Sheet3:Sheet5'!A1)";
    const FormulaRewrite withoutCheck = Rewrite(formula);
    EXPECT_FALSE(withoutCheck.computable);
    EXPECT_NE(withoutCheck.reason.find("'Sheet2' to 'Sheet5'"), std::string::npos)
        << withoutCheck.reason;

    std::vector<std::pair<std::string, std::string>> askedSpans;
    context.sheetSpan = [&](std::string_view first, std::string_view last) {
        askedSpans.emplace_back(first, last);
        return true;
    };
    const FormulaRewrite intact = Rewrite(formula);
    EXPECT_TRUE(intact.computable) << intact.reason;
    EXPECT_EQ(intact.text, "SUM('Sheet2 (2):Sheet5'!A11)+SUM('Sheet3:Sheet5'!A1)");
    // A span spelt with separately quoted ends is written back in the usual form.
    EXPECT_EQ(Rewrite("SUM(Sheet2:'Sheet5'!A1)").text, "SUM('Sheet2 (2):Sheet5'!A1)");
    EXPECT_EQ(askedSpans, (std::vector<std::pair<std::string, std::string>>{
                              {"Sheet2", "Sheet5"}, {"Sheet3", "Sheet5"}, {"Sheet2", "Sheet5"}}));

    context.sheetSpan = [](std::string_view, std::string_view) { return false; };
    EXPECT_FALSE(Rewrite("SUM(Sheet3:Sheet5!A1)").computable);
}

TEST_F(RewriteFormulaTest, FormulaLengthLimitIsCountedInCharactersAfterRewriting) {
    // "Data!A1" grows by six characters when it becomes "'Data (2)'!A1".
    std::string growing = "Data!A1";
    while (growing.size() + 8 <= kMaxFormulaLength) {
        growing += "+Data!A1";
    }
    ASSERT_LE(growing.size(), kMaxFormulaLength);
    const FormulaRewrite tooLong = Rewrite(growing);
    EXPECT_FALSE(tooLong.computable);
    EXPECT_NE(tooLong.reason.find("8192"), std::string::npos) << tooLong.reason;

    // Three bytes but one character each: a formula of more than 8,192 bytes can be fine.
    context.sheet = Lookup({{"日本", "日本"}});
    std::string wide = "日本!A1";
    std::size_t wideCharacters = 5;
    while (wideCharacters + 6 <= kMaxFormulaLength) {
        wide += "+日本!A1";
        wideCharacters += 6;
    }
    ASSERT_GT(wide.size(), kMaxFormulaLength);
    EXPECT_TRUE(Rewrite(wide).computable);
}

// Whatever name a sheet gets, and however the reference was spelt, the rewritten text reads back
// as a reference to that name.
TEST_F(RewriteFormulaTest, RewrittenTextAlwaysReadsBack) {
    context.sheetSpan = [](std::string_view, std::string_view) { return true; };
    const std::string names[] = {"My Sheet", "It's", "A1",    "R1C1",      "rc",     "C",
                                 "2024",     ".x",   "TRUE",  "Données",   "Лист 1", "日本",
                                 "a-b",      "x(1)", "😀 Fun", "Sheet_1.2", "XFD1",   "''x'y"};
    for (const std::string& name : names) {
        context.sheet = Lookup({{"Data", name}, {"Sheet5", name}});
        for (const char* formula : {"Data!B2", "SUM(Data:Sheet5!B2)"}) {
            const FormulaRewrite result = Rewrite(formula);
            ASSERT_TRUE(result.computable) << name << ": " << result.reason;
            EXPECT_EQ(FindReferences(result.text).sheets, std::vector<std::string>{name})
                << result.text;
        }
    }
    context.sheet = [](std::string_view name) { return std::string(name) + " (2)"; };
    for (const char* formula :
         {"SUM(Data:'x[y'!B3)", "SUM(Data:'x[1]y'!B3)", "SUM(Data:'My Sheet'!B2)", "'a]b'!A1",
          "'It''s':'x y'!A1", "[1]Jan:'Mar 2'!A1", "Data!A1:Data!B2 Data!C3", "'a''':b!A1"}) {
        const FormulaRewrite result = Rewrite(formula);
        if (result.computable && result.changed) {
            const FormulaTokens tokens = TokenizeFormula(result.text);
            EXPECT_TRUE(tokens.ok()) << formula << " -> " << result.text << ": " << tokens.error;
        }
    }
}

TEST(FindReferences, ListsWhatAFormulaNeedsFromTheWorkbook) {
    const FormulaReferences references = FindReferences(
        "IF('County Ranking'!$G$5=xdropdown!$Y$2,Tbl[COUNTY],Other[[#All],[X]])+Rates+Jan:Mar!A1+"
        "[2]Codes!A1+[2]!Rate+xdropdown!B1+_xlfn.LET(_xlpm.v,1,_xlpm.v)+\"Hidden!A1\"+[@Qty]");
    EXPECT_TRUE(references.readable);
    EXPECT_EQ(references.sheets,
              (std::vector<std::string>{"County Ranking", "xdropdown", "Jan", "Mar"}));
    EXPECT_EQ(references.tables, (std::vector<std::string>{"Tbl", "Other"}));
    EXPECT_EQ(references.names, std::vector<std::string>{"Rates"});
    EXPECT_EQ(references.externalLinks, std::vector<int>{2});
    EXPECT_FALSE(FindReferences("SUM(").readable);
}

// The quoting the rewriter chooses must be understood by another spreadsheet program: names that
// look like cells or R1C1 references, digits, booleans, apostrophes, non-ASCII letters.
// LibreOffice (7.4) reads a quoted 3-D span such as 'Jan 1:Mar 1'!A1 as #NAME?, although that is
// the form spreadsheet files use, so the span checked here is between names that need no quotes.
TEST(RewriteFormulaAgainstLibreOffice, RenamedSheetReferencesComputeTheSameValues) {
    if (std::system("command -v soffice >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    }
    const std::vector<std::string> names = {"R1C1", "A1",       "Données", "It's",    "2024",
                                            "TRUE", "My Sheet", "Лист 1",  "x(1)",    "RC",
                                            "Exp1", ".x",       "Jan_1.b", "Mar_2024"};
    // A sheet "Main" of formulas (no cached values, so the reader computes them), then sheets
    // holding (n + 1) * 10 in B2; the last formula sums the last two over a span.
    testing::MiniWorkbook book;
    book.sheets.emplace_back("Main");
    std::vector<std::string> formulas;
    FormulaContext context;
    context.sheetSpan = [](std::string_view, std::string_view) { return true; };
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string escapedName;
        EscapeAttributeInto(escapedName, names[i]);
        book.sheets.emplace_back(escapedName, "<sheetData><row r=\"2\"><c r=\"B2\"><v>" +
                                                  std::to_string((i + 1) * 10) +
                                                  "</v></c></row></sheetData>");
        context.sheet = [&](std::string_view) { return std::optional<std::string>(names[i]); };
        formulas.push_back(RewriteFormula("Source!B2*1", context).text);
    }
    context.sheet = Lookup({{"First", "Jan_1.b"}, {"Last", "Mar_2024"}});
    formulas.push_back(RewriteFormula("SUM(First:Last!B2)", context).text);
    std::string& cells = book.sheets.front().body;
    cells = "<sheetData>";
    for (std::size_t i = 0; i < formulas.size(); ++i) {
        const std::string row = std::to_string(i + 1);
        cells += "<row r=\"" + row + "\"><c r=\"A" + row + "\"><f>";
        EscapeTextInto(cells, formulas[i]);
        cells += "</f></c></row>";
    }
    cells += "</sheetData>";

    const testing::TempDir dir;
    testing::BuildPackage(book).write(dir / "formulas.xlsx");
    const std::string command = "cd '" + dir.path().string() +
                                "' && timeout 180 soffice -env:"
                                "UserInstallation=file://" +
                                (dir / "profile").string() +
                                " --headless --norestore --convert-to csv formulas.xlsx"
                                " >lo.log 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << testing::readFile(dir / "lo.log");
    std::ifstream csv(dir / "formulas.csv");
    ASSERT_TRUE(csv) << testing::readFile(dir / "lo.log");
    std::string line;
    for (std::size_t i = 0; i < formulas.size(); ++i) {
        ASSERT_TRUE(std::getline(csv, line)) << "no row for " << formulas[i];
        EXPECT_EQ(line, std::to_string(i < names.size() ? (i + 1) * 10 : 130 + 140)) << formulas[i];
    }
}

} // namespace
} // namespace quillory::spreadsheet::ooxml

#include "spreadsheet/ooxml/formulas/FormulaTokenizer.h"

#include <gtest/gtest.h>
#include <random>

namespace quillory::spreadsheet::ooxml {
namespace {

// The significant tokens' types, one character each: N number, S string, B boolean, E error,
// R reference, T structured reference, F function, ( ) { } ; , of arrays and calls' parentheses,
// a argument separator, u union, _ intersection, - prefix, o infix, % postfix operator.
std::string Types(std::string_view formula) {
    const FormulaTokens tokens = TokenizeFormula(formula);
    EXPECT_TRUE(tokens.ok()) << formula << ": " << tokens.error;
    std::string types;
    for (const Token& token : tokens.tokens) {
        if (token.type != TokenType::Whitespace) {
            types += "NSBERTF(){};,au_-o%"[static_cast<int>(token.type)];
        }
    }
    return types;
}

// A formula that is one reference, as "kind [book]first:last!body", or "table <name>" for a
// structured reference; the token must span the whole formula.
std::string Describe(std::string_view formula) {
    const FormulaTokens tokens = TokenizeFormula(formula);
    EXPECT_TRUE(tokens.ok()) << formula << ": " << tokens.error;
    if (tokens.tokens.size() != 1) {
        return "not one token";
    }
    const Token& token = tokens.tokens.front();
    EXPECT_EQ(token.text(formula), formula);
    if (token.type == TokenType::StructuredReference) {
        return "table " + std::string(token.table(formula));
    }
    const char* kinds[] = {"cell", "area", "rows", "columns", "name", "error"};
    std::string text = kinds[static_cast<int>(token.referenceKind)] + std::string(" ");
    const Qualifier& qualifier = token.qualifier;
    if (qualifier.external) {
        EXPECT_EQ(formula.substr(qualifier.bookBegin, qualifier.bookEnd - qualifier.bookBegin),
                  qualifier.book);
        text += "[" + qualifier.book + "]";
    }
    if (qualifier.present) {
        text += qualifier.firstSheet;
        text += qualifier.lastSheet.empty() ? "!" : ":" + qualifier.lastSheet + "!";
    }
    return text + std::string(token.body(formula)) + (token.spill ? "#" : "");
}

// Tokens must tile the formula exactly, in order: the rewriter copies untouched spans by offset.
void ExpectTokensTile(std::string_view formula, const FormulaTokens& tokens) {
    std::size_t expected = 0;
    for (const Token& token : tokens.tokens) {
        ASSERT_EQ(token.begin, expected) << formula;
        ASSERT_LT(token.begin, token.end) << formula;
        ASSERT_LE(token.end, formula.size()) << formula;
        if (token.type == TokenType::Reference || token.type == TokenType::StructuredReference) {
            ASSERT_LE(token.begin, token.bodyBegin) << formula;
            ASSERT_LE(token.bodyBegin, token.bodyEnd) << formula;
            ASSERT_LE(token.bodyEnd, token.end) << formula;
            if (token.qualifier.present) {
                ASSERT_EQ(token.qualifier.begin, token.begin) << formula;
                ASSERT_LE(token.qualifier.end, token.bodyBegin) << formula;
            }
        }
        expected = token.end;
    }
    EXPECT_EQ(expected, formula.size()) << formula;
}

// Formulas as found in real workbooks (cells, defined names, conditional formats).
const std::vector<std::string> kRealFormulas = {
    "MID(A2,1,1)",
    "#REF!",
    "IF(HSI\\10_1\\1460_1\\1470_1___val<>\"\",HSI\\10_1\\1460_1\\1470_1___val,\"\")",
    "IF(ISERROR(VLOOKUP(A1,AirportCode,2,FALSE)),\"\",VLOOKUP(B1,AirportCode,2,FALSE))",
    "SUBTOTAL(101,BigCity[Latitude])",
    "\"Total city proper population in world's \"&COUNTA(BigCity[City])&\" largest cities\"",
    "BigCity[[#Totals],[Latitude]]",
    "SUM(Sheet2:Sheet5!A12:C12)",
    "B2:D4 + E2:G4",
    "IF((Table_Query_from_RDS24[[#This Row],[valueA]]=List!$B$3),INDIRECT(\"A\"&ROW("
    "Table_Query_from_RDS24[[#This Row],[data_year]])-1)+1,0)",
    "IF(P8>(1.5*P9),P9,P8)",
    "ROW(Table_ExternalData_1[[#This Row],[Value]])-ROW(Table_ExternalData_1[[#Headers],[Rank]])",
    "IFERROR(VLOOKUP(#REF!,Table_ExternalData_1[#All],2,FALSE),\"NA\")",
    "_xlfn.XLOOKUP(E12,C12:C17,B12:B17,0,1,-2)",
    "myFunc(\"_\")",
    "SUM(nr_B2_D3)/nr_A1",
    "[1]Codelist!$A$2:$A$11012",
    "dropdowns!#REF!",
    "'Exp11 (2)'!$A$1:$K$26",
    "'County Ranking'!$1:$2",
    "Sheet1!$A:$A,Sheet1!$1:$1",
};

TEST(FormulaTokenizer, LiteralsOperatorsSeparatorsAndCallsOrAnError) {
    const std::pair<const char*, const char*> cases[] = {
        {"1E+3+1.5e-10-.5+7", "NoNoNoN"},
        {"\"He said \"\"hi\"\"\"&\"\"", "SoS"},
        {"TRUE=false", "BoB"},
        {"{1,-2;\"a\",TRUE}", "{N,-N;S,B}"},
        {"-A1%&B1<>C1<=D1>=E1^2", "-R%oRoRoRoRoN"},
        // A space between two operands intersects; elsewhere it is only layout.
        {"SUM(A1:B5 B2:C3 )", "F(R_R)"},
        {"A1 -B1", "RoR"},
        // A comma separates arguments of a call, unites references inside plain parentheses.
        {"SUM((A1,B2),C3)", "F((RuR)aR)"},
        {"IF(A1,,)", "F(Raa)"},
        {"TODAY()", "F()"},
    };
    for (const auto& [formula, types] : cases) {
        EXPECT_EQ(Types(formula), types) << formula;
    }
    for (const char* error : {"#REF!", "#N/A", "#DIV/0!", "#NULL!", "#NAME?", "#NUM!", "#VALUE!",
                              "#GETTING_DATA", "#SPILL!", "#CALC!", "#n/a"}) {
        EXPECT_EQ(Types(error), "E") << error;
    }
    // Function names that look like cells are calls; without a parenthesis the same words are
    // cells (or, DAYS360 with its four letters, a name: see below).
    for (const char* formula : {"LOG10(A1)", "ATAN2(A1,B1)", "DAYS360(A1,B1)", "_xlfn.T.TEST(A1)",
                                "_xlfn._xlws.SORT(A1:A3)", "ERROR.TYPE(A1)"}) {
        EXPECT_EQ(Types(formula).at(0), 'F') << formula;
    }
    // Unreadable input is reported, not guessed at.
    for (const char* formula :
         {"",          "   ",   "SUM(A1",   "A1)",          "\"open",  "'Sheet A1",
          "'Sheet'A1", "A1+",   "1A",       "~A1",          "#WHAT!",  "Table1[Col",
          "{1,{2}}",   "A1;B1", "(,)",      "Sheet1!",      "$Name",   "1E+",
          "A1 B1)",    "{1,2",  "SUM(A1))", "'a:b':'c'!A1", "'a':!A1", "'a':''!A1"}) {
        const FormulaTokens tokens = TokenizeFormula(formula);
        EXPECT_FALSE(tokens.ok()) << "accepted: " << formula;
        EXPECT_LE(tokens.errorOffset, std::string_view(formula).size()) << formula;
    }
}

// References alone and with their sheets and workbook; names lie past the last column or row, or
// are not shaped like a cell at all. Structured references keep their escaped brackets whole.
TEST(FormulaTokenizer, ReferencesNameTheirKindSheetsWorkbookAndTable) {
    const std::pair<std::string, std::string> cases[] = {
        {"A1", "cell A1"},
        {"xfd1048576", "cell xfd1048576"},
        {"LOG10", "cell LOG10"},
        {"$A$1:B$2", "area $A$1:B$2"},
        {"$5:$6", "rows $5:$6"},
        {"A:A", "columns A:A"},
        {"A1#", "cell A1#"},
        {"XFE1", "name XFE1"},
        {"A1048577", "name A1048577"},
        {"DAYS360", "name DAYS360"},
        {"_xlnm.Print_Area", "name _xlnm.Print_Area"},
        {"a.b\\c?d", "name a.b\\c?d"},
        {"\\Total", "name \\Total"},
        {"Données", "name Données"},
        {"'My Sheet'!A1:B2", "area My Sheet!A1:B2"},
        {"Sheet1:Sheet3!A1", "cell Sheet1:Sheet3!A1"},
        {"'Jan 1:Mar 1'!B2", "cell Jan 1:Mar 1!B2"},
        // Spans as other writers spell them.
        {"Data:'My Sheet'!B2", "cell Data:My Sheet!B2"},
        {"'Jan 1':'Mar 1'!B2", "cell Jan 1:Mar 1!B2"},
        {"'It''s':Mar!B2:C3", "area It's:Mar!B2:C3"},
        {"'[1]Sheet 1'!A1", "cell [1]Sheet 1!A1"},
        {"[2]Jan:Mar!C3", "cell [2]Jan:Mar!C3"},
        {"[1]!Rates", "name [1]!Rates"},
        {"'C:\\dir\\[Book.xlsx]Data'!A1", "cell [Book.xlsx]Data!A1"},
        {"dropdowns!#REF!", "error dropdowns!#REF!"},
        {"List!$5:$6", "rows List!$5:$6"},
        {"Query!$A:$N", "columns Query!$A:$N"},
        {"Data!LocalName", "name Data!LocalName"},
        {"'R1C1'!A1", "cell R1C1!A1"},
        {"Лист1!A1", "cell Лист1!A1"},
        {"Table1[[#This Row],[Col]]", "table Table1"},
        {"Table1[[Col1]:[Col2]]", "table Table1"},
        {"Table1[[#Headers],[#Data],[Col 1]]", "table Table1"},
        {"Table1['[Note']]", "table Table1"},
        {"Table1[It''s]", "table Table1"},
        {"Table1['#Count]", "table Table1"},
        {"Table1[[Price ']]:[Qty]]", "table Table1"},
        {"[@[Unit Price]]", "table "},
        {"[[#This Row],[Col]]", "table "},
        {"[1]!Sales[Amount]", "table Sales"},
    };
    for (const auto& [formula, description] : cases) {
        EXPECT_EQ(Describe(formula), description) << formula;
    }
}

// Real formulas are read whole; random input, made from them or from scratch, must never crash,
// hang or produce tokens that do not tile the text.
TEST(FormulaTokenizer, RealFormulasAndArbitraryBytesTileTheText) {
    for (const std::string& formula : kRealFormulas) {
        const FormulaTokens tokens = TokenizeFormula(formula);
        ASSERT_TRUE(tokens.ok()) << formula << ": " << tokens.error;
        ExpectTokensTile(formula, tokens);
    }
    constexpr int kIterations = 20000;
    constexpr std::size_t kMaxLength = 48;
    const std::string alphabet = "AZaz019$:!'\"[]{}()#,;@%&+-*/^<>= .\\_?E\t\n\xc3\xa9\xff";
    std::mt19937 random(20240601);
    std::uniform_int_distribution<std::size_t> lengths(0, kMaxLength);
    std::uniform_int_distribution<int> coin(0, 3);
    std::uniform_int_distribution<int> bytes(0, 255);
    std::size_t accepted = 0;
    for (int i = 0; i < kIterations; ++i) {
        std::string formula;
        if (coin(random) == 0) {
            // Mutate a real formula: structure-aware inputs reach deeper paths.
            formula = kRealFormulas[static_cast<std::size_t>(i) % kRealFormulas.size()];
            const std::size_t at =
                formula.empty() ? 0 : static_cast<std::size_t>(i) % formula.size();
            formula.insert(at, 1,
                           alphabet[static_cast<std::size_t>(bytes(random)) % alphabet.size()]);
        } else {
            const std::size_t length = lengths(random);
            for (std::size_t j = 0; j < length; ++j) {
                formula +=
                    coin(random) == 0
                        ? static_cast<char>(bytes(random))
                        : alphabet[static_cast<std::size_t>(bytes(random)) % alphabet.size()];
            }
        }
        const FormulaTokens tokens = TokenizeFormula(formula);
        if (tokens.ok()) {
            ++accepted;
            ExpectTokensTile(formula, tokens);
        } else {
            EXPECT_LE(tokens.errorOffset, formula.size());
        }
        if (HasFatalFailure()) {
            FAIL() << "input: " << formula;
        }
    }
    EXPECT_GT(accepted, 0u); // the generator does reach valid formulas
}

} // namespace
} // namespace quillory::spreadsheet::ooxml

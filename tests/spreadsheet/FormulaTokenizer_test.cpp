#include "spreadsheet/ooxml/formulas/FormulaTokenizer.h"

#include <gtest/gtest.h>
#include <random>

namespace quillory::spreadsheet::ooxml {
namespace {

std::vector<Token> Significant(const FormulaTokens& tokens) {
    std::vector<Token> result;
    for (const Token& token : tokens.tokens) {
        if (token.type != TokenType::Whitespace) {
            result.push_back(token);
        }
    }
    return result;
}

std::vector<TokenType> Types(std::string_view formula) {
    const FormulaTokens tokens = TokenizeFormula(formula);
    EXPECT_TRUE(tokens.ok()) << formula << ": " << tokens.error;
    std::vector<TokenType> types;
    for (const Token& token : Significant(tokens)) {
        types.push_back(token.type);
    }
    return types;
}

// The only reference (or structured reference) of a formula.
Token SingleReference(std::string_view formula) {
    const FormulaTokens tokens = TokenizeFormula(formula);
    EXPECT_TRUE(tokens.ok()) << formula << ": " << tokens.error;
    std::vector<Token> references;
    for (const Token& token : tokens.tokens) {
        if (token.type == TokenType::Reference || token.type == TokenType::StructuredReference) {
            references.push_back(token);
        }
    }
    EXPECT_EQ(references.size(), 1u) << formula;
    return references.empty() ? Token{} : references.front();
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
    "IF(ISNA(VLOOKUP(ROW($A8)-7,Query!$A:$N,4,FALSE)),\" \",VLOOKUP(ROW($A8)-7,Query!$A:$N,4,"
    "FALSE))",
    "IF($B$3=dropdowns!$C$2,VLOOKUP(Profile!$B8,Table_Query_from_RDS2[#All],2,FALSE),IF(ISNA("
    "VLOOKUP($B8&\"|\"&$B$3,Table_Query_from_RDS[#All],4,FALSE)),\" \",1))",
    "IF(P8>(1.5*P9),P9,P8)",
    "ROW(Table_ExternalData_1[[#This Row],[Value]])-ROW(Table_ExternalData_1[[#Headers],[Rank]])",
    "IFERROR(VLOOKUP(#REF!,Table_ExternalData_1[#All],2,FALSE),\"NA\")",
    "_xlfn.XLOOKUP(E12,C12:C17,B12:B17,0,1,-2)",
    "TEXT(B1,\"YYYY-MM-DD\")",
    "ERROR.TYPE(A2)",
    "General!$CG$7",
    "myFunc(\"_\")",
    "SUM(nr_B2_D3)/nr_A1",
    "[1]Codelist!$A$2:$A$11012",
    "dropdowns!#REF!",
    "'Exp11 (2)'!$A$1:$K$26",
    "List!$5:$6",
    "'County Ranking'!$1:$2",
    "IF('County Ranking'!$G$5=xdropdown!$Y$2,Table_Query_from_RDS312[COUNTY],"
    "Table_Query_from_RDS31214[HOSPICE_NAME_NUMBER])",
    "TableName[#All]",
    "Sheet1!$A:$A,Sheet1!$1:$1",
};

TEST(FormulaTokenizer, RealFormulasTokenizeAndTileTheText) {
    for (const std::string& formula : kRealFormulas) {
        const FormulaTokens tokens = TokenizeFormula(formula);
        ASSERT_TRUE(tokens.ok()) << formula << ": " << tokens.error;
        ExpectTokensTile(formula, tokens);
    }
}

TEST(FormulaTokenizer, LiteralsOperatorsSeparatorsAndCalls) {
    using T = TokenType;
    const std::pair<const char*, std::vector<TokenType>> cases[] = {
        {"1E+3+1.5e-10-.5+7",
         {T::Number, T::InfixOperator, T::Number, T::InfixOperator, T::Number, T::InfixOperator,
          T::Number}},
        {"\"He said \"\"hi\"\"\"&\"\"", {T::String, T::InfixOperator, T::String}},
        {"TRUE=false", {T::Boolean, T::InfixOperator, T::Boolean}},
        {"{1,-2;\"a\",TRUE}",
         {T::ArrayOpen, T::Number, T::ArrayColumnSeparator, T::PrefixOperator, T::Number,
          T::ArrayRowSeparator, T::String, T::ArrayColumnSeparator, T::Boolean, T::ArrayClose}},
        {"-A1%&B1<>C1<=D1>=E1^2",
         {T::PrefixOperator, T::Reference, T::PostfixOperator, T::InfixOperator, T::Reference,
          T::InfixOperator, T::Reference, T::InfixOperator, T::Reference, T::InfixOperator,
          T::Reference, T::InfixOperator, T::Number}},
        // A space between two operands intersects; elsewhere it is only layout.
        {"SUM(A1:B5 B2:C3 )",
         {T::Function, T::OpenParen, T::Reference, T::IntersectionOperator, T::Reference,
          T::CloseParen}},
        {"A1 -B1", {T::Reference, T::InfixOperator, T::Reference}},
        // A comma separates arguments of a call, unites references inside plain parentheses.
        {"SUM((A1,B2),C3)",
         {T::Function, T::OpenParen, T::OpenParen, T::Reference, T::UnionOperator, T::Reference,
          T::CloseParen, T::ArgumentSeparator, T::Reference, T::CloseParen}},
        {"IF(A1,,)",
         {T::Function, T::OpenParen, T::Reference, T::ArgumentSeparator, T::ArgumentSeparator,
          T::CloseParen}},
        {"TODAY()", {T::Function, T::OpenParen, T::CloseParen}},
    };
    for (const auto& [formula, types] : cases) {
        EXPECT_EQ(Types(formula), types) << formula;
    }
    for (const char* error : {"#REF!", "#N/A", "#DIV/0!", "#NULL!", "#NAME?", "#NUM!", "#VALUE!",
                              "#GETTING_DATA", "#SPILL!", "#CALC!", "#n/a"}) {
        EXPECT_EQ(Types(error), std::vector{T::Error}) << error;
    }
    // Function names that look like cells are calls; without a parenthesis the same words are
    // cells (or, DAYS360 with its four letters, a name).
    for (const char* formula : {"LOG10(A1)", "ATAN2(A1,B1)", "DAYS360(A1,B1)", "_xlfn.T.TEST(A1)",
                                "_xlfn._xlws.SORT(A1:A3)", "ERROR.TYPE(A1)"}) {
        EXPECT_EQ(Types(formula).at(0), T::Function) << formula;
    }
    EXPECT_EQ(SingleReference("LOG10").referenceKind, ReferenceKind::Cell);
    EXPECT_EQ(SingleReference("DAYS360").referenceKind, ReferenceKind::Name);
}

TEST(FormulaTokenizer, UnqualifiedReferenceKinds) {
    // Names: past the last column or row, or not shaped like a cell at all.
    const std::pair<ReferenceKind, std::vector<std::string>> cases[] = {
        {ReferenceKind::Cell, {"A1", "$A$1", "xfd1048576"}},
        {ReferenceKind::Area, {"A1:B2", "$A$1:B$2"}},
        {ReferenceKind::Rows, {"1:1", "$5:$6"}},
        {ReferenceKind::Columns, {"A:A", "$A:$N"}},
        {ReferenceKind::Name,
         {"XFE1", "A1048577", "AirportCode", "_xlnm.Print_Area", "a.b\\c?d", "\\Total", "Données"}},
    };
    for (const auto& [kind, formulas] : cases) {
        for (const std::string& formula : formulas) {
            const Token token = SingleReference(formula);
            EXPECT_EQ(token.type, TokenType::Reference) << formula;
            EXPECT_EQ(token.referenceKind, kind) << formula;
            EXPECT_FALSE(token.qualifier.present) << formula;
            EXPECT_EQ(token.body(formula), formula);
        }
    }
    const std::string spill = "SUM(A1#)";
    const Token spilled = SingleReference(spill);
    EXPECT_TRUE(spilled.spill);
    EXPECT_EQ(spilled.text(spill), "A1#");
    EXPECT_EQ(spilled.body(spill), "A1");
}

struct QualifiedCase {
    std::string formula;
    ReferenceKind kind;
    std::string firstSheet;
    std::string lastSheet;
    std::string book; // empty: not external
    std::string body;
};

TEST(FormulaTokenizer, QualifiedReferencesNameTheirSheetsAndWorkbook) {
    const QualifiedCase cases[] = {
        {"'My Sheet'!A1:B2", ReferenceKind::Area, "My Sheet", "", "", "A1:B2"},
        {"Sheet1:Sheet3!A1", ReferenceKind::Cell, "Sheet1", "Sheet3", "", "A1"},
        {"'Jan 1:Mar 1'!B2", ReferenceKind::Cell, "Jan 1", "Mar 1", "", "B2"},
        // Spans as other writers spell them.
        {"Data:'My Sheet'!B2", ReferenceKind::Cell, "Data", "My Sheet", "", "B2"},
        {"'Jan 1':'Mar 1'!B2", ReferenceKind::Cell, "Jan 1", "Mar 1", "", "B2"},
        {"'It''s':Mar!B2:C3", ReferenceKind::Area, "It's", "Mar", "", "B2:C3"},
        {"'[1]Sheet 1'!A1", ReferenceKind::Cell, "Sheet 1", "", "1", "A1"},
        {"[2]Jan:Mar!C3", ReferenceKind::Cell, "Jan", "Mar", "2", "C3"},
        {"[1]!Rates", ReferenceKind::Name, "", "", "1", "Rates"},
        {"'C:\\dir\\[Book.xlsx]Data'!A1", ReferenceKind::Cell, "Data", "", "Book.xlsx", "A1"},
        {"dropdowns!#REF!", ReferenceKind::Error, "dropdowns", "", "", "#REF!"},
        {"List!$5:$6", ReferenceKind::Rows, "List", "", "", "$5:$6"},
        {"Query!$A:$N", ReferenceKind::Columns, "Query", "", "", "$A:$N"},
        {"Data!LocalName", ReferenceKind::Name, "Data", "", "", "LocalName"},
        {"'R1C1'!A1", ReferenceKind::Cell, "R1C1", "", "", "A1"},
        {"Лист1!A1", ReferenceKind::Cell, "Лист1", "", "", "A1"},
    };
    for (const QualifiedCase& c : cases) {
        const Token token = SingleReference(c.formula);
        EXPECT_EQ(token.type, TokenType::Reference) << c.formula;
        EXPECT_EQ(token.referenceKind, c.kind) << c.formula;
        EXPECT_TRUE(token.qualifier.present) << c.formula;
        EXPECT_EQ(token.qualifier.firstSheet, c.firstSheet) << c.formula;
        EXPECT_EQ(token.qualifier.lastSheet, c.lastSheet) << c.formula;
        EXPECT_EQ(token.qualifier.external, !c.book.empty()) << c.formula;
        EXPECT_EQ(token.qualifier.book, c.book) << c.formula;
        if (token.qualifier.external) {
            EXPECT_EQ(c.formula.substr(token.qualifier.bookBegin,
                                       token.qualifier.bookEnd - token.qualifier.bookBegin),
                      c.book)
                << c.formula;
        }
        EXPECT_EQ(token.body(c.formula), c.body) << c.formula;
        EXPECT_EQ(token.end, c.formula.size()) << c.formula;
    }
}

TEST(FormulaTokenizer, StructuredReferencesKeepTheirBracketsWhole) {
    // Column names with escaped brackets, apostrophes and hashes among them.
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"Table1",
         {"Table1[Col]", "Table1[[#This Row],[Col]]", "Table1[#All]", "Table1[[Col1]:[Col2]]",
          "Table1[[#Headers],[#Data],[Col 1]]", "Table1['[Note']]", "Table1[It''s]",
          "Table1['#Count]", "Table1[[Price ']]:[Qty]]"}},
        {"", {"[@Col]", "[@[Unit Price]]", "[[#This Row],[Col]]"}},
        {"Sales", {"[1]!Sales[Amount]"}},
    };
    for (const auto& [table, formulas] : cases) {
        for (const std::string& formula : formulas) {
            const std::string wrapped = "SUM(" + formula + ")*2";
            const Token token = SingleReference(wrapped);
            EXPECT_EQ(token.type, TokenType::StructuredReference) << formula;
            EXPECT_EQ(token.text(wrapped), formula);
            EXPECT_EQ(token.table(wrapped), table) << formula;
        }
    }
}

TEST(FormulaTokenizer, UnreadableInputIsReportedNotGuessed) {
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

// Random input must never crash, hang or produce tokens that do not tile the text.
TEST(FormulaTokenizer, ArbitraryBytesNeverBreakTheTokenizer) {
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

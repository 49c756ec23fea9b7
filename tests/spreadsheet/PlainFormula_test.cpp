// The shortcut for formulas no copy can change must agree with the full tokenizer: whatever it
// accepts, the tokenizer reads without error and finds nothing that names a sheet, table,
// defined name or other workbook, and no function whose text may name a sheet.

#include "spreadsheet/ooxml/formulas/Formula.h"
#include "spreadsheet/ooxml/formulas/FormulaTokenizer.h"
#include "spreadsheet/ooxml/formulas/PlainFormula.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quillory::spreadsheet::ooxml {
namespace {

// What the full rewrite would have to look at in `formula`, or "" when nothing.
std::string WhatTheTokenizerFinds(std::string_view formula) {
    const FormulaTokens tokens = TokenizeFormula(formula);
    if (!tokens.ok()) {
        return "unreadable: " + tokens.error;
    }
    for (const Token& token : tokens.tokens) {
        const std::string text(token.text(formula));
        if (token.type == TokenType::StructuredReference) {
            return "structured reference " + text;
        }
        if (token.type == TokenType::Reference &&
            (token.qualifier.present || token.referenceKind == ReferenceKind::Name ||
             token.referenceKind == ReferenceKind::Error)) {
            return "reference needing a lookup " + text;
        }
        if (token.type == TokenType::Function && (text == "INDIRECT" || text == "HYPERLINK")) {
            return "text reference function";
        }
    }
    return {};
}

// Every formula the shortcut takes is one the rewrite leaves alone, and vice versa for the
// common shapes.
TEST(PlainFormula, AcceptsOnlyWhatTheTokenizerFindsSelfContained) {
    for (const std::string formula :
         {"E3*F3", "IF(H3=0,0,(H3-G3)/H3)", "SUM(H2:H2001)", "$A$1+B$2-$C3", "-A1^2",
          "+-1.5*XFD1048576", "ROUND(A1/3,2)&\" units\"", "IF(A1<>\"\",\"say \"\"hi\"\"\",\"\")",
          "LOG10(A1)", "LOG10*2", "F.DIST(A1,2,TRUE(1))", "A1<=B1", "(((1)))"}) {
        EXPECT_TRUE(IsSelfContainedFormula(formula)) << formula;
        EXPECT_EQ(WhatTheTokenizerFinds(formula), "") << formula;
    }
    // Each of these names something (LOG10 is a cell alone, column LOG and row 10, but a sheet
    // before "!") or lies outside the shortcut's grammar, readable or not:
    for (const char* formula :
         {"'Sales'!H3-H3", "Sheet2!A1", "LOG10!A1", "ABC1:ABC2!A1", "A0", "XFE1", "A1048577",
          "Total", "SalesTax*2", "INDIRECT(\"A1\")", "HYPERLINK(A1)", "Table1[Col]", "[1]Sheet1!A1",
          "LET(x,1,x)",
          // odd constants and spacing
          "", "TRUE", "A1 + B1", "A1%", "1E5", "1.", "#REF!", "{1,2}", "=A1", "a1+b1", "A1#",
          // unbalanced, empty or unfinished text, whole columns or rows, chained ranges, prefixes
          "SUM()", "SUM(A1", "A1+", "(A1", "A1)", "\"open", "_xlfn.XLOOKUP(A1,B1:B2,C1:C2)", "A:A",
          "1:3", "A1:B2:C3"}) {
        EXPECT_FALSE(IsSelfContainedFormula(formula)) << formula;
    }
    EXPECT_FALSE(IsSelfContainedFormula(std::string(kMaxFormulaLength + 1, '1')));
    EXPECT_FALSE(IsSelfContainedFormula(std::string(200, '(') + "1" + std::string(200, ')')));
}

// Random strings over the grammar's alphabet: wherever the shortcut says yes, the tokenizer
// must agree, or a formula naming something would be copied without its rewrite.
TEST(PlainFormula, RandomFormulasNeverFoolTheShortcut) {
    const std::string alphabet = "AXFDLOG10$:().,+-*/^&=<>\"! 9%#[]'SUMIFab_";
    std::uint32_t state = 20261207;
    int accepted = 0;
    for (int i = 0; i < 200000; ++i) {
        std::string formula;
        const int length = 1 + static_cast<int>(state % 12);
        for (int k = 0; k < length; ++k) {
            state = state * 1103515245u + 12345u;
            formula += alphabet[(state >> 16) % alphabet.size()];
        }
        if (IsSelfContainedFormula(formula)) {
            ++accepted;
            ASSERT_EQ(WhatTheTokenizerFinds(formula), "") << formula;
        }
    }
    EXPECT_GT(accepted, 100) << "the random formulas must exercise the accepting side too";
}

} // namespace
} // namespace quillory::spreadsheet::ooxml

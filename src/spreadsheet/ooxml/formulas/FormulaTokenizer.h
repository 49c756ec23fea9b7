#pragma once
// Tokens of a formula as stored in a workbook file: no leading '=', English function names,
// comma separators, A1 references. Every token keeps its byte span, so a caller can rewrite one
// token and copy everything else byte for byte.
//
// The tokenizer never throws on bad input and runs in linear time; what it cannot read is
// reported through FormulaTokens::error.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

enum class TokenType {
    Number,
    String,  // "text", with "" for a quote inside
    Boolean, // TRUE, FALSE
    Error,   // #REF!, #N/A, ...
    Reference,
    StructuredReference, // Table1[Col], Table1[[#This Row],[Col]], [@Col]
    Function,            // the name of a called function, prefixes such as _xlfn. included
    OpenParen,
    CloseParen,
    ArrayOpen,
    ArrayClose,
    ArrayRowSeparator,    // ';' inside { }
    ArrayColumnSeparator, // ',' inside { }
    ArgumentSeparator,    // ',' inside a function call
    UnionOperator,        // ',' elsewhere
    IntersectionOperator, // spaces between two operands
    PrefixOperator,       // unary + - @
    InfixOperator,        // + - * / ^ & = <> < > <= >= and ':' between operands
    PostfixOperator,      // %
    Whitespace,
};

enum class ReferenceKind {
    Cell,    // A1, $B$2
    Area,    // A1:B2
    Rows,    // 1:3, $5:$6
    Columns, // A:C, $A:$N
    Name,    // a defined name (or a table name used alone)
    Error,   // Sheet1!#REF!
};

// What comes before '!': a sheet, a 3-D span of sheets, an external workbook, or several.
struct Qualifier {
    bool present = false;
    bool quoted = false;
    std::size_t begin = 0; // span of the whole qualifier, '!' included
    std::size_t end = 0;
    bool external = false; // a [book] part is present
    std::string book;      // inside the brackets: "1" for [1]
    std::size_t bookBegin = 0;
    std::size_t bookEnd = 0;
    std::string firstSheet; // without quotes, '' undone; empty for [1]!Name
    std::string lastSheet;  // the other end of a 3-D span; empty otherwise
};

struct Token {
    TokenType type = TokenType::Whitespace;
    std::size_t begin = 0; // byte span in the formula
    std::size_t end = 0;

    // Reference and StructuredReference only.
    Qualifier qualifier;
    ReferenceKind referenceKind = ReferenceKind::Cell;
    std::size_t bodyBegin = 0; // after the qualifier
    std::size_t bodyEnd = 0;
    bool spill = false; // A1#

    // StructuredReference only: the table name's span (empty when the reference names no table).
    std::size_t tableBegin = 0;
    std::size_t tableEnd = 0;

    std::string_view text(std::string_view formula) const {
        return formula.substr(begin, end - begin);
    }
    std::string_view body(std::string_view formula) const {
        return formula.substr(bodyBegin, bodyEnd - bodyBegin);
    }
    std::string_view table(std::string_view formula) const {
        return formula.substr(tableBegin, tableEnd - tableBegin);
    }
};

struct FormulaTokens {
    std::vector<Token> tokens;
    std::string error; // empty when the whole formula was read
    std::size_t errorOffset = 0;
    bool ok() const { return error.empty(); }
};

FormulaTokens TokenizeFormula(std::string_view formula);

} // namespace quillory::spreadsheet::ooxml

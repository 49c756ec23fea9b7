#include "spreadsheet/ooxml/formulas/FormulaTokenizer.h"

#include <array>

namespace quillory::spreadsheet::ooxml {
namespace {

constexpr std::array<std::string_view, 17> kErrorLiterals = {
    "#NULL!",    "#DIV/0!",       "#VALUE!",   "#REF!",      "#NAME?",  "#NUM!",
    "#N/A",      "#GETTING_DATA", "#SPILL!",   "#CALC!",     "#FIELD!", "#BLOCKED!",
    "#CONNECT!", "#BUSY!",        "#UNKNOWN!", "#EXTERNAL!", "#PYTHON!"};

constexpr long kMaxColumn = 16384; // XFD
constexpr long kMaxRow = 1048576;
constexpr std::size_t kMaxColumnLetters = 3;
constexpr std::size_t kMaxRowDigits = 7;

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsNonAscii(char c) {
    return static_cast<unsigned char>(c) >= 0x80;
}
bool IsWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
char ToUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Characters of a cell reference, a defined name, a function name or an unquoted sheet name.
bool IsWordChar(char c) {
    return IsLetter(c) || IsDigit(c) || IsNonAscii(c) || c == '_' || c == '.' || c == '\\' ||
           c == '?' || c == '$';
}
bool IsNameStart(char c) {
    return IsLetter(c) || IsNonAscii(c) || c == '_' || c == '\\';
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ToUpper(a[i]) != ToUpper(b[i])) {
            return false;
        }
    }
    return true;
}

// A word usable as a name or an unquoted sheet name: no '$', not starting with a digit or dot.
bool IsPlainWord(std::string_view word) {
    return !word.empty() && IsNameStart(word.front()) && word.find('$') == std::string_view::npos;
}

enum class WordKind { Cell, Column, Row, Other };

// What an A1-style word is: "$B$2" a cell, "$A" a column, "12" a row; anything else is Other.
WordKind ClassifyWord(std::string_view word) {
    std::size_t pos = 0;
    if (pos < word.size() && word[pos] == '$') {
        ++pos;
    }
    long column = 0;
    std::size_t letters = 0;
    while (pos < word.size() && IsLetter(word[pos]) && letters <= kMaxColumnLetters) {
        column = column * 26 + (ToUpper(word[pos]) - 'A' + 1);
        ++pos, ++letters;
    }
    if (letters > kMaxColumnLetters || column > kMaxColumn) {
        return WordKind::Other;
    }
    if (letters > 0 && pos == word.size()) {
        return WordKind::Column;
    }
    if (letters > 0 && word[pos] == '$') {
        ++pos;
    }
    long row = 0;
    std::size_t digits = 0;
    while (pos < word.size() && IsDigit(word[pos]) && digits <= kMaxRowDigits) {
        row = row * 10 + (word[pos] - '0');
        ++pos, ++digits;
    }
    if (pos != word.size() || digits == 0 || digits > kMaxRowDigits || row < 1 || row > kMaxRow) {
        return WordKind::Other;
    }
    return letters > 0 ? WordKind::Cell : WordKind::Row;
}

std::string UndoDoubledQuotes(std::string_view raw) {
    std::string text;
    text.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        text += raw[i];
        if (raw[i] == '\'' && i + 1 < raw.size() && raw[i + 1] == '\'') {
            ++i;
        }
    }
    return text;
}

class Lexer {
public:
    explicit Lexer(std::string_view formula) : f_(formula) {}

    FormulaTokens Run() {
        while (pos_ < f_.size() && result_.ok()) {
            const std::size_t before = pos_;
            if (IsWhitespace(f_[pos_])) {
                LexWhitespace();
            } else if (expectOperand_) {
                LexOperand();
            } else {
                LexOperator();
            }
            if (pos_ == before && result_.ok()) {
                Fail("the formula could not be read", pos_);
            }
        }
        if (result_.ok()) {
            if (!frames_.empty()) {
                Fail(frames_.back() == Frame::Array ? "an array constant is not closed"
                                                    : "a parenthesis is not closed",
                     f_.size());
            } else if (expectOperand_) {
                Fail(LastSignificant() ? "the formula ends with an operator"
                                       : "the formula is empty",
                     f_.size());
            }
        }
        return std::move(result_);
    }

private:
    enum class Frame { FunctionCall, Parenthesis, Array };

    char Peek(std::size_t at) const { return at < f_.size() ? f_[at] : '\0'; }

    std::size_t ScanWord(std::size_t from) const {
        while (from < f_.size() && IsWordChar(f_[from])) {
            ++from;
        }
        return from;
    }

    // The position of the quote closing the quoted name that opens at `open` ('' is a quote
    // inside the name), or 0 when it is not closed.
    std::size_t FindClosingQuote(std::size_t open) const {
        for (std::size_t i = open + 1; i < f_.size(); ++i) {
            if (f_[i] == '\'') {
                if (Peek(i + 1) != '\'') {
                    return i;
                }
                ++i;
            }
        }
        return 0;
    }

    // The last sheet of a span after its ':' (Last! or 'Last'!): returns the position after the
    // '!' and the name, or 0 when no such end follows.
    std::size_t ScanSpanEnd(std::size_t at, std::string& last) const {
        if (Peek(at) == '\'') {
            const std::size_t closingQuote = FindClosingQuote(at);
            if (closingQuote == 0 || closingQuote == at + 1 || Peek(closingQuote + 1) != '!') {
                return 0;
            }
            const std::string_view quoted = f_.substr(at + 1, closingQuote - at - 1);
            if (quoted.find_first_of("[]:") != std::string_view::npos) {
                return 0; // not a sheet name
            }
            last = UndoDoubledQuotes(quoted);
            return closingQuote + 2;
        }
        const std::size_t wordEnd = ScanWord(at);
        const std::string_view word = f_.substr(at, wordEnd - at);
        if (Peek(wordEnd) != '!' || !IsPlainWord(word)) {
            return 0;
        }
        last = std::string(word);
        return wordEnd + 1;
    }

    void Fail(std::string message, std::size_t at) {
        if (result_.ok()) {
            result_.error = std::move(message);
            result_.errorOffset = at;
        }
    }

    Token& Emit(TokenType type, std::size_t begin, std::size_t end) {
        Token& token = result_.tokens.emplace_back();
        token.type = type;
        token.begin = begin;
        token.end = end;
        pos_ = end;
        return token;
    }

    const Token* LastSignificant() const {
        for (auto it = result_.tokens.rbegin(); it != result_.tokens.rend(); ++it) {
            if (it->type != TokenType::Whitespace) {
                return &*it;
            }
        }
        return nullptr;
    }

    bool InArray() const { return !frames_.empty() && frames_.back() == Frame::Array; }

    static bool StartsOperand(char c) {
        return c == '"' || c == '#' || c == '{' || c == '(' || c == '\'' || c == '[' ||
               IsWordChar(c);
    }

    std::size_t MatchErrorLiteral(std::size_t at) const {
        for (std::string_view literal : kErrorLiterals) {
            if (EqualsIgnoringAsciiCase(f_.substr(at, literal.size()), literal)) {
                return literal.size();
            }
        }
        return 0;
    }

    void LexWhitespace() {
        const std::size_t begin = pos_;
        std::size_t end = pos_;
        while (end < f_.size() && IsWhitespace(f_[end])) {
            ++end;
        }
        if (!expectOperand_ && !InArray() && end < f_.size() && StartsOperand(f_[end])) {
            Emit(TokenType::IntersectionOperator, begin, end);
            expectOperand_ = true;
        } else {
            Emit(TokenType::Whitespace, begin, end);
        }
    }

    // An empty argument: F(), F(,1), F(1,)
    bool EmptyArgumentAllowed() const {
        if (frames_.empty() || frames_.back() != Frame::FunctionCall) {
            return false;
        }
        const Token* last = LastSignificant();
        return last &&
               (last->type == TokenType::OpenParen || last->type == TokenType::ArgumentSeparator);
    }

    void LexOperand() {
        const char c = f_[pos_];
        switch (c) {
        case '"':
            LexString();
            return;
        case '#': {
            const std::size_t length = MatchErrorLiteral(pos_);
            if (length == 0) {
                Fail("unknown error value", pos_);
                return;
            }
            Emit(TokenType::Error, pos_, pos_ + length);
            expectOperand_ = false;
            return;
        }
        case '{':
            if (InArray()) {
                Fail("array constants cannot be nested", pos_);
                return;
            }
            frames_.push_back(Frame::Array);
            Emit(TokenType::ArrayOpen, pos_, pos_ + 1);
            return;
        case '(':
            frames_.push_back(Frame::Parenthesis);
            Emit(TokenType::OpenParen, pos_, pos_ + 1);
            return;
        case '+':
        case '-':
        case '@':
            Emit(TokenType::PrefixOperator, pos_, pos_ + 1);
            return;
        case ')':
            if (!EmptyArgumentAllowed()) {
                Fail("a value is missing before ')'", pos_);
                return;
            }
            frames_.pop_back();
            Emit(TokenType::CloseParen, pos_, pos_ + 1);
            expectOperand_ = false;
            return;
        case ',':
            if (!EmptyArgumentAllowed()) {
                Fail("a value is missing before ','", pos_);
                return;
            }
            Emit(TokenType::ArgumentSeparator, pos_, pos_ + 1);
            return;
        case '\'':
            LexQuotedQualifier();
            return;
        case '[':
            LexBracketOperand();
            return;
        default:
            break;
        }
        if (IsDigit(c) || c == '.') {
            LexNumberOrRows();
        } else if (c == '$' || IsNameStart(c)) {
            LexWord();
        } else {
            Fail(std::string("unexpected character '") + c + "'", pos_);
        }
    }

    void LexOperator() {
        const std::size_t at = pos_;
        const char c = f_[at];
        switch (c) {
        case '+':
        case '-':
        case '*':
        case '/':
        case '^':
        case '&':
        case '=':
        case ':':
            Emit(TokenType::InfixOperator, at, at + 1);
            expectOperand_ = true;
            return;
        case '<':
            Emit(TokenType::InfixOperator, at,
                 at + ((Peek(at + 1) == '=' || Peek(at + 1) == '>') ? 2 : 1));
            expectOperand_ = true;
            return;
        case '>':
            Emit(TokenType::InfixOperator, at, at + (Peek(at + 1) == '=' ? 2 : 1));
            expectOperand_ = true;
            return;
        case '%':
            Emit(TokenType::PostfixOperator, at, at + 1);
            return;
        case ',': {
            TokenType type = TokenType::UnionOperator;
            if (!frames_.empty() && frames_.back() == Frame::FunctionCall) {
                type = TokenType::ArgumentSeparator;
            } else if (InArray()) {
                type = TokenType::ArrayColumnSeparator;
            }
            Emit(type, at, at + 1);
            expectOperand_ = true;
            return;
        }
        case ';':
            if (!InArray()) {
                Fail("';' is only allowed inside an array constant", at);
                return;
            }
            Emit(TokenType::ArrayRowSeparator, at, at + 1);
            expectOperand_ = true;
            return;
        case ')':
            if (frames_.empty() || frames_.back() == Frame::Array) {
                Fail("')' without a matching '('", at);
                return;
            }
            frames_.pop_back();
            Emit(TokenType::CloseParen, at, at + 1);
            return;
        case '}':
            if (!InArray()) {
                Fail("'}' without a matching '{'", at);
                return;
            }
            frames_.pop_back();
            Emit(TokenType::ArrayClose, at, at + 1);
            return;
        default:
            Fail(std::string("an operator was expected before '") + c + "'", at);
            return;
        }
    }

    void LexString() {
        std::size_t i = pos_ + 1;
        while (i < f_.size()) {
            if (f_[i] == '"') {
                if (Peek(i + 1) != '"') {
                    Emit(TokenType::String, pos_, i + 1);
                    expectOperand_ = false;
                    return;
                }
                ++i;
            }
            ++i;
        }
        Fail("a text in quotes is not closed", pos_);
    }

    void LexNumberOrRows() {
        const std::size_t begin = pos_;
        if (IsDigit(f_[begin])) {
            const std::size_t wordEnd = ScanWord(begin);
            if (ClassifyWord(f_.substr(begin, wordEnd - begin)) == WordKind::Row &&
                Peek(wordEnd) == ':') {
                const std::size_t secondEnd = ScanWord(wordEnd + 1);
                if (ClassifyWord(f_.substr(wordEnd + 1, secondEnd - wordEnd - 1)) ==
                    WordKind::Row) {
                    LexReferenceBody(begin, Qualifier{}, begin);
                    return;
                }
            }
        }
        std::size_t i = begin;
        std::size_t digits = 0;
        while (IsDigit(Peek(i))) {
            ++i, ++digits;
        }
        if (Peek(i) == '.') {
            ++i;
            while (IsDigit(Peek(i))) {
                ++i, ++digits;
            }
        }
        if (digits == 0) {
            Fail("a number was expected", begin);
            return;
        }
        if (Peek(i) == 'E' || Peek(i) == 'e') {
            std::size_t exponent = i + 1;
            if (Peek(exponent) == '+' || Peek(exponent) == '-') {
                ++exponent;
            }
            if (!IsDigit(Peek(exponent))) {
                Fail("a number has an incomplete exponent", begin);
                return;
            }
            while (IsDigit(Peek(exponent))) {
                ++exponent;
            }
            i = exponent;
        }
        const char next = Peek(i);
        if (IsWordChar(next) || next == '(' || next == '[' || next == '\'' || next == '"') {
            Fail("unexpected text after a number", i);
            return;
        }
        Emit(TokenType::Number, begin, i);
        expectOperand_ = false;
    }

    // A word at an operand position: function call, sheet prefix, table, reference or name.
    void LexWord() {
        const std::size_t begin = pos_;
        const std::size_t wordEnd = ScanWord(begin);
        const std::string_view word = f_.substr(begin, wordEnd - begin);
        switch (Peek(wordEnd)) {
        case '(':
            if (!IsPlainWord(word)) {
                Fail("not a valid function name", begin);
                return;
            }
            Emit(TokenType::Function, begin, wordEnd);
            frames_.push_back(Frame::FunctionCall);
            Emit(TokenType::OpenParen, wordEnd, wordEnd + 1);
            return;
        case '!': {
            if (!IsPlainWord(word)) {
                Fail("not a valid sheet name", begin);
                return;
            }
            Qualifier qualifier;
            qualifier.present = true;
            qualifier.begin = begin;
            qualifier.end = wordEnd + 1;
            qualifier.firstSheet = std::string(word);
            LexReferenceBody(wordEnd + 1, std::move(qualifier), begin);
            return;
        }
        case '[':
            if (!IsPlainWord(word)) {
                Fail("not a valid table name", begin);
                return;
            }
            LexStructured(begin, begin, wordEnd, Qualifier{});
            return;
        case ':': {
            std::string last;
            const std::size_t spanEnd = ScanSpanEnd(wordEnd + 1, last);
            if (spanEnd != 0 && IsPlainWord(word)) {
                Qualifier qualifier;
                qualifier.present = true;
                qualifier.begin = begin;
                qualifier.end = spanEnd;
                qualifier.firstSheet = std::string(word);
                qualifier.lastSheet = std::move(last);
                LexReferenceBody(spanEnd, std::move(qualifier), begin);
                return;
            }
            break;
        }
        default:
            break;
        }
        LexReferenceBody(begin, Qualifier{}, begin);
    }

    // A quoted qualifier: 'My Sheet'!, 'Jan:Mar'!, '[1]Data'!, 'C:\dir\[Book.xlsx]Data'!
    void LexQuotedQualifier() {
        const std::size_t begin = pos_;
        const std::size_t closingQuote = FindClosingQuote(begin);
        if (closingQuote == 0) {
            Fail("a quoted sheet name is not closed", begin);
            return;
        }
        // Other writers spell a span 'First':'Last'! or 'First':Last! as well as 'First:Last'!
        std::string spanLast;
        std::size_t qualifierEnd = closingQuote + 2;
        if (Peek(closingQuote + 1) == ':') {
            qualifierEnd = ScanSpanEnd(closingQuote + 2, spanLast);
        } else if (Peek(closingQuote + 1) != '!') {
            qualifierEnd = 0;
        }
        if (qualifierEnd == 0) {
            Fail("a quoted sheet name must be followed by '!'", closingQuote + 1);
            return;
        }
        const std::size_t contentBegin = begin + 1;
        const std::string_view raw = f_.substr(contentBegin, closingQuote - contentBegin);
        Qualifier qualifier;
        qualifier.present = true;
        qualifier.quoted = true;
        qualifier.begin = begin;
        qualifier.end = qualifierEnd;
        std::string_view sheets = raw;
        // Sheet names cannot hold '[', so the last one opens the workbook part.
        const std::size_t open = raw.rfind('[');
        if (open != std::string_view::npos) {
            const std::size_t close = raw.find(']', open);
            if (close == std::string_view::npos) {
                Fail("a workbook name in brackets is not closed", contentBegin + open);
                return;
            }
            qualifier.external = true;
            qualifier.bookBegin = contentBegin + open + 1;
            qualifier.bookEnd = contentBegin + close;
            qualifier.book = UndoDoubledQuotes(raw.substr(open + 1, close - open - 1));
            sheets = raw.substr(close + 1);
        }
        const std::string names = UndoDoubledQuotes(sheets);
        const std::size_t colon = names.find(':');
        qualifier.firstSheet = names.substr(0, colon);
        if (colon != std::string::npos) {
            qualifier.lastSheet = names.substr(colon + 1);
            if (qualifier.lastSheet.empty()) {
                Fail("a range of sheets has no last sheet", begin);
                return;
            }
        }
        if (!spanLast.empty()) {
            if (!qualifier.lastSheet.empty()) {
                Fail("a range of sheets has more than two ends", begin);
                return;
            }
            qualifier.lastSheet = std::move(spanLast);
        }
        if (qualifier.firstSheet.empty() && !qualifier.external) {
            Fail("a sheet name is empty", begin);
            return;
        }
        LexReferenceBody(qualifier.end, std::move(qualifier), begin);
    }

    // '[' at an operand position: an external workbook ([1]Data!A1, [1]!Name) or a structured
    // reference to the formula's own table ([@Col], [[#This Row],[Col]]).
    void LexBracketOperand() {
        const std::size_t begin = pos_;
        const std::size_t close = f_.find(']', begin + 1);
        if (close != std::string_view::npos && close > begin + 1 &&
            f_.substr(begin + 1, close - begin - 1).find('[') == std::string_view::npos) {
            Qualifier qualifier;
            qualifier.present = true;
            qualifier.external = true;
            qualifier.begin = begin;
            qualifier.bookBegin = begin + 1;
            qualifier.bookEnd = close;
            qualifier.book = std::string(f_.substr(begin + 1, close - begin - 1));
            const std::size_t after = close + 1;
            if (Peek(after) == '!') {
                qualifier.end = after + 1;
                LexReferenceBody(qualifier.end, std::move(qualifier), begin);
                return;
            }
            const std::size_t wordEnd = ScanWord(after);
            const std::string_view word = f_.substr(after, wordEnd - after);
            std::string last;
            const std::size_t spanEnd = Peek(wordEnd) == ':' ? ScanSpanEnd(wordEnd + 1, last) : 0;
            if (IsPlainWord(word) && (Peek(wordEnd) == '!' || spanEnd != 0)) {
                qualifier.firstSheet = std::string(word);
                qualifier.lastSheet = std::move(last);
                qualifier.end = spanEnd != 0 ? spanEnd : wordEnd + 1;
                LexReferenceBody(qualifier.end, std::move(qualifier), begin);
                return;
            }
        }
        LexStructured(begin, begin, begin, Qualifier{});
    }

    // The bracketed part of a structured reference, starting at tableEnd. Inside column names
    // an apostrophe escapes the next character ([It''s], ['[Note']]).
    void LexStructured(std::size_t begin, std::size_t tableBegin, std::size_t tableEnd,
                       Qualifier qualifier) {
        std::size_t i = tableEnd;
        std::size_t depth = 0;
        bool closed = false;
        while (i < f_.size() && !closed) {
            const char c = f_[i];
            if (c == '\'') {
                i += 2;
                continue;
            }
            if (c == '[') {
                ++depth;
            } else if (c == ']') {
                closed = --depth == 0;
            }
            ++i;
        }
        if (!closed) {
            Fail("a structured reference is not closed", begin);
            return;
        }
        Token& token = Emit(TokenType::StructuredReference, begin, i);
        token.qualifier = std::move(qualifier);
        token.tableBegin = tableBegin;
        token.tableEnd = tableEnd;
        token.bodyBegin = tableEnd;
        token.bodyEnd = i;
        expectOperand_ = false;
    }

    // What follows a qualifier (or an unqualified reference): A1, A1:B2, 1:3, A:C, a name,
    // #REF!, A1#, or an external table reference.
    void LexReferenceBody(std::size_t bodyBegin, Qualifier qualifier, std::size_t begin) {
        if (bodyBegin >= f_.size()) {
            Fail("a reference is missing after '!'", bodyBegin);
            return;
        }
        if (f_[bodyBegin] == '#' && qualifier.present) {
            const std::size_t length = MatchErrorLiteral(bodyBegin);
            if (length == 0) {
                Fail("unknown error value", bodyBegin);
                return;
            }
            EmitReference(begin, bodyBegin, bodyBegin + length, ReferenceKind::Error,
                          std::move(qualifier));
            return;
        }
        const std::size_t wordEnd = ScanWord(bodyBegin);
        const std::string_view word = f_.substr(bodyBegin, wordEnd - bodyBegin);
        if (word.empty()) {
            Fail("a reference was expected", bodyBegin);
            return;
        }
        const WordKind kind = ClassifyWord(word);
        if (kind != WordKind::Other && Peek(wordEnd) == ':') {
            const std::size_t secondEnd = ScanWord(wordEnd + 1);
            const WordKind second = ClassifyWord(f_.substr(wordEnd + 1, secondEnd - wordEnd - 1));
            const char after = Peek(secondEnd);
            if (second == kind && after != '!' && after != '(' && after != '[') {
                static constexpr ReferenceKind kRangeKinds[] = {
                    ReferenceKind::Area, ReferenceKind::Columns, ReferenceKind::Rows};
                EmitReference(begin, bodyBegin, secondEnd, kRangeKinds[static_cast<int>(kind)],
                              std::move(qualifier));
                return;
            }
        }
        if (kind == WordKind::Cell) {
            EmitReference(begin, bodyBegin, wordEnd, ReferenceKind::Cell, std::move(qualifier));
            return;
        }
        if (!IsPlainWord(word)) {
            Fail("not a valid reference or name", bodyBegin);
            return;
        }
        if (Peek(wordEnd) == '[') {
            LexStructured(begin, bodyBegin, wordEnd, std::move(qualifier));
            return;
        }
        if (Peek(wordEnd) == '(') {
            Fail("a function of another workbook cannot be read", bodyBegin);
            return;
        }
        if (!qualifier.present &&
            (EqualsIgnoringAsciiCase(word, "TRUE") || EqualsIgnoringAsciiCase(word, "FALSE"))) {
            Emit(TokenType::Boolean, begin, wordEnd);
            expectOperand_ = false;
            return;
        }
        EmitReference(begin, bodyBegin, wordEnd, ReferenceKind::Name, std::move(qualifier));
    }

    void EmitReference(std::size_t begin, std::size_t bodyBegin, std::size_t bodyEnd,
                       ReferenceKind kind, Qualifier qualifier) {
        std::size_t end = bodyEnd;
        const bool spill = (kind == ReferenceKind::Cell || kind == ReferenceKind::Area) &&
                           Peek(bodyEnd) == '#' && MatchErrorLiteral(bodyEnd) == 0;
        if (spill) {
            ++end;
        }
        Token& token = Emit(TokenType::Reference, begin, end);
        token.qualifier = std::move(qualifier);
        token.referenceKind = kind;
        token.bodyBegin = bodyBegin;
        token.bodyEnd = bodyEnd;
        token.spill = spill;
        expectOperand_ = false;
    }

    std::string_view f_;
    std::size_t pos_ = 0;
    FormulaTokens result_;
    std::vector<Frame> frames_;
    bool expectOperand_ = true;
};

} // namespace

FormulaTokens TokenizeFormula(std::string_view formula) {
    return Lexer(formula).Run();
}

} // namespace quillory::spreadsheet::ooxml

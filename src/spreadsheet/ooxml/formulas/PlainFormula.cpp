#include "spreadsheet/ooxml/formulas/PlainFormula.h"

#include "spreadsheet/ooxml/formulas/Formula.h"

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr long kMaxColumn = 16384; // XFD
constexpr long kMaxRow = 1048576;
constexpr std::size_t kMaxColumnLetters = 3;
constexpr std::size_t kMaxRowDigits = 7;
// Deeper nesting is left to the full tokenizer rather than to this recursion.
constexpr int kMaxNesting = 64;

bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

class Recognizer {
public:
    explicit Recognizer(std::string_view formula) : f_(formula) {}

    bool run() { return expression(0) && pos_ == f_.size(); }

private:
    char peek(std::size_t ahead = 0) const {
        return pos_ + ahead < f_.size() ? f_[pos_ + ahead] : '\0';
    }

    bool expression(int depth) {
        if (depth > kMaxNesting || !term(depth)) {
            return false;
        }
        while (infixOperator()) {
            if (!term(depth)) {
                return false;
            }
        }
        return true;
    }

    bool infixOperator() {
        const char c = peek();
        if (c == '<' && (peek(1) == '=' || peek(1) == '>')) {
            pos_ += 2;
            return true;
        }
        if (c == '>' && peek(1) == '=') {
            pos_ += 2;
            return true;
        }
        switch (c) {
        case '+':
        case '-':
        case '*':
        case '/':
        case '^':
        case '&':
        case '=':
        case '<':
        case '>':
            ++pos_;
            return true;
        default:
            return false;
        }
    }

    bool term(int depth) {
        while (peek() == '+' || peek() == '-') {
            ++pos_;
        }
        const char c = peek();
        if (c == '(') {
            ++pos_;
            if (!expression(depth + 1) || peek() != ')') {
                return false;
            }
            ++pos_;
            return true;
        }
        if (IsDigit(c)) {
            return number();
        }
        if (c == '"') {
            return text();
        }
        if (c == '$' || IsUpper(c)) {
            return word(depth);
        }
        return false;
    }

    bool number() {
        while (IsDigit(peek())) {
            ++pos_;
        }
        if (peek() == '.') {
            ++pos_;
            if (!IsDigit(peek())) {
                return false;
            }
            while (IsDigit(peek())) {
                ++pos_;
            }
        }
        return true;
    }

    bool text() {
        ++pos_;
        for (;;) {
            if (pos_ >= f_.size()) {
                return false;
            }
            if (f_[pos_] == '"') {
                if (peek(1) != '"') {
                    ++pos_;
                    return true;
                }
                ++pos_;
            }
            ++pos_;
        }
    }

    std::string_view scanWord() {
        const std::size_t begin = pos_;
        while (pos_ < f_.size()) {
            const char c = f_[pos_];
            if (!(IsUpper(c) || IsDigit(c) || c == '$' || c == '.')) {
                break;
            }
            ++pos_;
        }
        return f_.substr(begin, pos_ - begin);
    }

    static bool isCell(std::string_view word) {
        std::size_t at = 0;
        if (at < word.size() && word[at] == '$') {
            ++at;
        }
        long column = 0;
        std::size_t letters = 0;
        while (at < word.size() && IsUpper(word[at])) {
            column = column * 26 + (word[at] - 'A' + 1);
            ++at;
            if (++letters > kMaxColumnLetters) {
                return false;
            }
        }
        if (letters == 0 || column > kMaxColumn) {
            return false;
        }
        if (at < word.size() && word[at] == '$') {
            ++at;
        }
        if (at >= word.size() || word[at] == '0') {
            return false;
        }
        long row = 0;
        std::size_t digits = 0;
        while (at < word.size() && IsDigit(word[at])) {
            row = row * 10 + (word[at] - '0');
            ++at;
            if (++digits > kMaxRowDigits) {
                return false;
            }
        }
        return digits > 0 && at == word.size() && row <= kMaxRow;
    }

    static bool isFunctionName(std::string_view word) {
        if (word.empty() || !IsUpper(word.front()) || word == "INDIRECT" || word == "HYPERLINK") {
            return false;
        }
        for (const char c : word) {
            if (c == '$') {
                return false;
            }
        }
        return true;
    }

    bool word(int depth) {
        const std::string_view name = scanWord();
        if (peek() == '(') {
            if (!isFunctionName(name)) {
                return false;
            }
            ++pos_;
            if (peek() == ')') {
                return false; // no arguments: left to the full tokenizer
            }
            if (!expression(depth + 1)) {
                return false;
            }
            while (peek() == ',') {
                ++pos_;
                if (!expression(depth + 1)) {
                    return false;
                }
            }
            if (peek() != ')') {
                return false;
            }
            ++pos_;
            return true;
        }
        if (!isCell(name)) {
            return false;
        }
        if (peek() == ':') {
            ++pos_;
            return isCell(scanWord());
        }
        return true;
    }

    std::string_view f_;
    std::size_t pos_ = 0;
};

} // namespace

bool IsSelfContainedFormula(std::string_view formula) {
    return !formula.empty() && formula.size() <= kMaxFormulaLength && Recognizer(formula).run();
}

} // namespace quillory::spreadsheet::ooxml

#include "spreadsheet/ooxml/objects/Vml.h"

#include "spreadsheet/Utf8.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <array>
#include <cctype>
#include <charconv>
#include <optional>

namespace quillory::spreadsheet::ooxml {

namespace {

// Removed formulas whose reasons are kept for the report.
constexpr std::size_t kMaxReasons = 3;
// Cell links of controls that hold a formula.
constexpr std::array<std::string_view, 5> kFormulaElements = {"FmlaLink", "FmlaRange", "FmlaPict",
                                                              "FmlaGroup", "FmlaTxbx"};

struct Span {
    std::size_t begin = 0;
    std::size_t end = 0; // one past
};

struct Attribute {
    std::string_view name;
    std::string_view value;
    Span valueSpan;      // inside the quotes
    bool quoted = false; // a bare attribute has no value at all
};

enum class TokenKind { Text, StartTag, EndTag, Other };

struct Token {
    TokenKind kind = TokenKind::Text;
    Span span;
    std::string_view name; // qualified, for tags
    std::vector<Attribute> attributes;
    bool selfClosing = false;

    std::string_view localName() const { return LocalName(name); }
    const Attribute* attribute(std::string_view qualified) const {
        for (const auto& a : attributes) {
            if (a.name == qualified) {
                return &a;
            }
        }
        return nullptr;
    }
    const Attribute* attributeByLocal(std::string_view local) const {
        for (const auto& a : attributes) {
            if (LocalName(a.name) == local) {
                return &a;
            }
        }
        return nullptr;
    }
};

bool IsSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

bool IsNameChar(char ch) {
    return !IsSpace(ch) && ch != '>' && ch != '/' && ch != '=' && ch != '<' && ch != '"' &&
           ch != '\'';
}

// Reads the markup of a document one token at a time, never failing: markup that does not close
// becomes text up to the end.
class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    std::optional<Token> next() {
        if (pos_ >= text_.size()) {
            return std::nullopt;
        }
        Token token;
        token.span.begin = pos_;
        if (text_[pos_] != '<') {
            const auto lt = text_.find('<', pos_);
            pos_ = lt == std::string_view::npos ? text_.size() : lt;
            token.span.end = pos_;
            return token;
        }
        const std::string_view rest = text_.substr(pos_);
        if (rest.starts_with("<!--")) {
            return skipTo(token, "-->");
        }
        if (rest.starts_with("<![CDATA[")) {
            return skipTo(token, "]]>");
        }
        if (rest.starts_with("<?")) {
            return skipTo(token, "?>");
        }
        if (rest.starts_with("<!")) {
            return skipTo(token, ">");
        }
        if (rest.starts_with("</")) {
            token.kind = TokenKind::EndTag;
            std::size_t p = pos_ + 2;
            const std::size_t nameBegin = p;
            while (p < text_.size() && IsNameChar(text_[p])) {
                ++p;
            }
            token.name = text_.substr(nameBegin, p - nameBegin);
            const auto gt = text_.find('>', p);
            pos_ = gt == std::string_view::npos ? text_.size() : gt + 1;
            token.span.end = pos_;
            return token;
        }
        return startTag(token);
    }

    std::size_t position() const { return pos_; }
    void seek(std::size_t position) { pos_ = position; }

private:
    Token skipTo(Token& token, std::string_view terminator) {
        token.kind = TokenKind::Other;
        const auto end = text_.find(terminator, pos_ + 1);
        pos_ = end == std::string_view::npos ? text_.size() : end + terminator.size();
        token.span.end = pos_;
        return token;
    }

    Token startTag(Token& token) {
        std::size_t p = pos_ + 1;
        const std::size_t nameBegin = p;
        while (p < text_.size() && IsNameChar(text_[p])) {
            ++p;
        }
        if (p == nameBegin) { // a lone '<': text
            ++pos_;
            token.span.end = pos_;
            return token;
        }
        token.kind = TokenKind::StartTag;
        token.name = text_.substr(nameBegin, p - nameBegin);
        while (p < text_.size()) {
            while (p < text_.size() && IsSpace(text_[p])) {
                ++p;
            }
            if (p >= text_.size()) {
                break;
            }
            if (text_[p] == '>') {
                pos_ = p + 1;
                token.span.end = pos_;
                return token;
            }
            if (text_[p] == '/') {
                if (p + 1 < text_.size() && text_[p + 1] == '>') {
                    token.selfClosing = true;
                    pos_ = p + 2;
                    token.span.end = pos_;
                    return token;
                }
                ++p;
                continue;
            }
            if (text_[p] == '<') { // a tag that never closed: it ends where the next begins
                pos_ = p;
                token.span.end = pos_;
                return token;
            }
            Attribute attribute;
            const std::size_t attributeBegin = p;
            while (p < text_.size() && IsNameChar(text_[p])) {
                ++p;
            }
            if (p == attributeBegin) { // a stray quote or '=': step over it
                ++p;
                continue;
            }
            attribute.name = text_.substr(attributeBegin, p - attributeBegin);
            std::size_t q = p;
            while (q < text_.size() && IsSpace(text_[q])) {
                ++q;
            }
            if (q < text_.size() && text_[q] == '=') {
                ++q;
                while (q < text_.size() && IsSpace(text_[q])) {
                    ++q;
                }
                if (q < text_.size() && (text_[q] == '"' || text_[q] == '\'')) {
                    const char quote = text_[q];
                    const auto close = text_.find(quote, q + 1);
                    if (close == std::string_view::npos) { // unterminated: give up on the tag
                        pos_ = text_.size();
                        token.span.end = pos_;
                        return token;
                    }
                    attribute.valueSpan = {q + 1, close};
                    attribute.quoted = true;
                    p = close + 1;
                } else { // unquoted value
                    const std::size_t valueBegin = q;
                    while (q < text_.size() && !IsSpace(text_[q]) && text_[q] != '>') {
                        ++q;
                    }
                    attribute.valueSpan = {valueBegin, q};
                    p = q;
                }
                attribute.value = text_.substr(attribute.valueSpan.begin,
                                               attribute.valueSpan.end - attribute.valueSpan.begin);
            }
            token.attributes.push_back(attribute);
        }
        pos_ = text_.size();
        token.span.end = pos_;
        return token;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// Text with the predefined entities and character references resolved.
std::string DecodeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const auto semicolon = text.find(';', i);
        if (semicolon == std::string_view::npos || semicolon - i > 10) {
            out += text[i];
            continue;
        }
        const std::string_view entity = text.substr(i + 1, semicolon - i - 1);
        static const std::pair<std::string_view, char> kNamed[] = {
            {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        bool done = false;
        for (const auto& [name, ch] : kNamed) {
            if (entity == name) {
                out += ch;
                done = true;
            }
        }
        if (!done && entity.size() > 1 && entity[0] == '#') {
            unsigned long code = 0;
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            const auto digits = entity.substr(hex ? 2 : 1);
            const auto [ptr, error] =
                std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            if (error == std::errc() && ptr == digits.data() + digits.size() && code < 0x110000) {
                AppendUtf8(out, static_cast<char32_t>(code));
                done = true;
            }
        }
        if (done) {
            i = semicolon;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string_view TrimmedText(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<int> ParseSmallInt(std::string_view text) {
    text = TrimmedText(text);
    int value = 0;
    const auto [ptr, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || ptr != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// The content of an element that starts at `after` (just past its start tag) up to the end tag
// of the same name; nullopt when no such end tag follows.
std::optional<Span> ElementContent(std::string_view text, std::size_t after,
                                   std::string_view qualifiedName) {
    std::string closing = "</";
    closing += qualifiedName;
    std::size_t at = after;
    while ((at = text.find(closing, at)) != std::string_view::npos) {
        const std::size_t next = at + closing.size();
        if (next >= text.size() || text[next] == '>' || IsSpace(text[next])) {
            return Span{after, at};
        }
        at = next;
    }
    return std::nullopt;
}

// One past the '>' of the end tag whose '<' is at `at`.
std::size_t EndOfEndTag(std::string_view text, std::size_t at) {
    const auto gt = text.find('>', at);
    return gt == std::string_view::npos ? text.size() : gt + 1;
}

bool IsFormulaElement(std::string_view local) {
    for (const auto name : kFormulaElements) {
        if (local == name) {
            return true;
        }
    }
    return false;
}

// The numbered id of a shape element: o:spid when it has one, else id.
struct ShapeIdentity {
    const Attribute* numbered = nullptr; // the attribute holding a usable number
    const Attribute* broken = nullptr;   // an id with the prefix but no usable number
};

ShapeIdentity IdentifyShape(const Token& token) {
    ShapeIdentity identity;
    const Attribute* spid = token.attribute("o:spid");
    if (spid == nullptr) {
        spid = token.attributeByLocal("spid");
    }
    const Attribute* id = token.attribute("id");
    for (const Attribute* candidate : {spid, id}) {
        if (candidate != nullptr && ParseShapeId(candidate->value)) {
            identity.numbered = candidate;
            return identity;
        }
    }
    for (const Attribute* candidate : {spid, id}) {
        if (candidate != nullptr && candidate->value.starts_with(kShapeIdPrefix)) {
            identity.broken = candidate;
            return identity;
        }
    }
    return identity;
}

} // namespace

std::vector<VmlShape> ListVmlShapes(std::string_view vml) {
    std::vector<VmlShape> shapes;
    Scanner scanner(vml);
    VmlShape* current = nullptr;
    while (const auto token = scanner.next()) {
        if (token->kind == TokenKind::EndTag && token->localName() == "ClientData") {
            current = nullptr;
            continue;
        }
        if (token->kind != TokenKind::StartTag) {
            continue;
        }
        const std::string_view local = token->localName();
        if (local == "ClientData") {
            VmlShape shape;
            if (const Attribute* type = token->attributeByLocal("ObjectType")) {
                shape.objectType = DecodeText(type->value);
            }
            shapes.push_back(shape);
            current = token->selfClosing ? nullptr : &shapes.back();
            continue;
        }
        if (current == nullptr) {
            continue;
        }
        if (local == "Visible") {
            current->visible = true;
        } else if ((local == "Row" || local == "Column") && !token->selfClosing) {
            if (const auto content = ElementContent(vml, token->span.end, token->name)) {
                const auto value =
                    ParseSmallInt(vml.substr(content->begin, content->end - content->begin));
                (local == "Row" ? current->row : current->column) = value.value_or(-1);
            }
        }
    }
    return shapes;
}

VmlShapeIdUse ScanVmlShapeIds(std::string_view vml) {
    VmlShapeIdUse use;
    Scanner scanner(vml);
    while (const auto token = scanner.next()) {
        if (token->kind != TokenKind::StartTag) {
            continue;
        }
        if (token->localName() == "idmap") {
            if (const Attribute* data = token->attributeByLocal("data")) {
                for (const long block : ParseIdMapBlocks(DecodeText(data->value))) {
                    use.declaredBlocks.push_back(block);
                }
            }
            continue;
        }
        const ShapeIdentity identity = IdentifyShape(*token);
        if (identity.numbered != nullptr) {
            use.usedIds.push_back(*ParseShapeId(identity.numbered->value));
        } else if (identity.broken != nullptr) {
            ++use.unnumberedShapes;
        }
    }
    return use;
}

VmlRewrite RewriteVml(std::string_view vml, ShapeIdMap& ids, const FormulaContext* formulas) {
    VmlRewrite result;
    std::string& out = result.text;
    out.reserve(vml.size() + vml.size() / 16);
    std::size_t copied = 0; // input up to here is already in `out`
    const auto copyUpTo = [&](std::size_t position) {
        if (position > copied) {
            out.append(vml.substr(copied, position - copied));
            copied = position;
        }
    };
    const auto replaceValue = [&](const Attribute& attribute, std::string_view value) {
        copyUpTo(attribute.valueSpan.begin);
        EscapeAttributeInto(out, value);
        copied = attribute.valueSpan.end;
    };

    Scanner scanner(vml);
    while (const auto token = scanner.next()) {
        if (token->kind != TokenKind::StartTag) {
            continue;
        }
        const std::string_view local = token->localName();
        if (local == "idmap") {
            if (const Attribute* data = token->attributeByLocal("data");
                data != nullptr && data->quoted && !ids.empty()) {
                replaceValue(*data, ids.idMapData());
            }
            continue;
        }
        if ((local == "FmlaMacro" || IsFormulaElement(local)) && !token->selfClosing) {
            const auto content = ElementContent(vml, token->span.end, token->name);
            if (!content) {
                continue;
            }
            const std::size_t elementEnd = EndOfEndTag(vml, content->end);
            if (local == "FmlaMacro") {
                copyUpTo(token->span.begin);
                copied = elementEnd;
                ++result.macrosDropped;
                scanner.seek(elementEnd);
                continue;
            }
            if (formulas == nullptr) {
                continue;
            }
            const std::string formula =
                DecodeText(TrimmedText(vml.substr(content->begin, content->end - content->begin)));
            if (formula.empty()) {
                continue;
            }
            const FormulaRewrite rewrite = RewriteFormula(formula, *formulas);
            if (!rewrite.computable) {
                copyUpTo(token->span.begin);
                copied = elementEnd;
                ++result.formulasDropped;
                if (result.reasons.size() < kMaxReasons) {
                    result.reasons.push_back(rewrite.reason);
                }
            } else if (rewrite.changed) {
                copyUpTo(content->begin);
                EscapeTextInto(out, rewrite.text);
                copied = content->end;
            }
            scanner.seek(elementEnd);
            continue;
        }
        // Attributes are rewritten in document order, so the spans stay ordered.
        const ShapeIdentity identity = IdentifyShape(*token);
        for (const Attribute& attribute : token->attributes) {
            if (&attribute == identity.broken) {
                if (const auto fresh = ids.takeFreshId(); fresh && attribute.quoted) {
                    replaceValue(attribute, FormatShapeId(*fresh));
                }
                continue;
            }
            const bool idAttribute = attribute.name == "id" || LocalName(attribute.name) == "spid";
            if (idAttribute && attribute.quoted && ParseShapeId(attribute.value)) {
                const std::string mapped = ids.mapShapeId(attribute.value);
                if (mapped != attribute.value) {
                    replaceValue(attribute, mapped);
                }
            }
        }
    }
    copyUpTo(vml.size());
    return result;
}

} // namespace quillory::spreadsheet::ooxml

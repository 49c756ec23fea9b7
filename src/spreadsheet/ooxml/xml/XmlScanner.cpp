#include "spreadsheet/ooxml/xml/XmlScanner.h"

#include "spreadsheet/Utf8.h"
#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/PackageError.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <optional>

namespace quillory::spreadsheet::ooxml {

namespace {

using namespace std::string_view_literals;

// Text without a '<' in sight is held back up to this size, then handed on in pieces: a huge
// text node does not have to fit in memory at once.
constexpr std::size_t kPendingTextBytes = 256 * 1024;
// Up to this many attributes are checked for duplicates pair by pair; more are sorted first.
constexpr std::size_t kPairwiseAttributeCheck = 16;

enum ByteClass : std::uint8_t {
    kPlain,     // copied as it is
    kSpace,     // tab, line feed: a space in attribute values
    kReturn,    // carriage return: line ends are normalised
    kAmpersand, // a reference
    kLess,      // not allowed in attribute values
    kBracket,   // "]]>" is not allowed in text
    kInvalid,   // control characters XML does not allow
    kHigh,      // the first byte of a multi-byte character
};

constexpr std::array<std::uint8_t, 256> MakeByteClasses() {
    std::array<std::uint8_t, 256> classes{};
    for (int c = 0; c < 0x20; ++c) {
        classes[c] = kInvalid;
    }
    for (int c = 0x80; c < 0x100; ++c) {
        classes[c] = kHigh;
    }
    classes['\t'] = kSpace;
    classes['\n'] = kSpace;
    classes['\r'] = kReturn;
    classes['&'] = kAmpersand;
    classes['<'] = kLess;
    classes[']'] = kBracket;
    return classes;
}
constexpr auto kByteClasses = MakeByteClasses();

constexpr std::array<std::uint8_t, 128> MakeAsciiNameBytes(bool start) {
    std::array<std::uint8_t, 128> bytes{};
    for (int c = 'a'; c <= 'z'; ++c) {
        bytes[c] = 1;
    }
    for (int c = 'A'; c <= 'Z'; ++c) {
        bytes[c] = 1;
    }
    bytes['_'] = 1;
    bytes[':'] = 1;
    if (!start) {
        for (int c = '0'; c <= '9'; ++c) {
            bytes[c] = 1;
        }
        bytes['-'] = 1;
        bytes['.'] = 1;
    }
    return bytes;
}
constexpr auto kNameStartBytes = MakeAsciiNameBytes(true);
constexpr auto kNameBytes = MakeAsciiNameBytes(false);

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsXmlChar(char32_t cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
           (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

bool IsNameStartCodePoint(char32_t cp) {
    return (cp >= 0xC0 && cp <= 0xD6) || (cp >= 0xD8 && cp <= 0xF6) ||
           (cp >= 0xF8 && cp <= 0x2FF) || (cp >= 0x370 && cp <= 0x37D) ||
           (cp >= 0x37F && cp <= 0x1FFF) || (cp >= 0x200C && cp <= 0x200D) ||
           (cp >= 0x2070 && cp <= 0x218F) || (cp >= 0x2C00 && cp <= 0x2FEF) ||
           (cp >= 0x3001 && cp <= 0xD7FF) || (cp >= 0xF900 && cp <= 0xFDCF) ||
           (cp >= 0xFDF0 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0xEFFFF);
}

bool IsNameCodePoint(char32_t cp) {
    return IsNameStartCodePoint(cp) || cp == 0xB7 || (cp >= 0x300 && cp <= 0x36F) ||
           (cp >= 0x203F && cp <= 0x2040);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) {
                   return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
               };
               return lower(x) == lower(y);
           });
}

// Reads the inside of an XML declaration (between "<?xml" and "?>"): version, then optionally
// encoding and standalone, in that order. False when it does not follow that form.
bool ReadDeclaration(std::string_view inside, std::string_view& encoding) {
    std::size_t p = 0;
    const auto value = [&](std::string_view key, std::string_view& out) {
        std::size_t q = p;
        if (q >= inside.size() || !IsSpace(inside[q])) {
            return false;
        }
        while (q < inside.size() && IsSpace(inside[q])) {
            ++q;
        }
        if (inside.substr(q, key.size()) != key) {
            return false;
        }
        q += key.size();
        while (q < inside.size() && IsSpace(inside[q])) {
            ++q;
        }
        if (q >= inside.size() || inside[q] != '=') {
            return false;
        }
        ++q;
        while (q < inside.size() && IsSpace(inside[q])) {
            ++q;
        }
        if (q >= inside.size() || (inside[q] != '"' && inside[q] != '\'')) {
            return false;
        }
        const std::size_t close = inside.find(inside[q], q + 1);
        if (close == std::string_view::npos) {
            return false;
        }
        out = inside.substr(q + 1, close - q - 1);
        p = close + 1;
        return true;
    };
    const auto allOf = [](std::string_view text, auto&& allowed) {
        return std::all_of(text.begin(), text.end(), allowed);
    };
    std::string_view version;
    if (!value("version", version) || !allOf(version, [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '.' ||
                   c == '-';
        })) {
        return false;
    }
    encoding = {};
    const std::size_t afterVersion = p;
    if (!value("encoding", encoding)) {
        p = afterVersion;
        encoding = {};
    } else if (encoding.empty() || !std::isalpha(static_cast<unsigned char>(encoding[0])) ||
               !allOf(encoding, [](char c) {
                   return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' ||
                          c == '_' || c == '-';
               })) {
        return false;
    }
    const std::size_t afterEncoding = p;
    std::string_view standalone;
    if (!value("standalone", standalone)) {
        p = afterEncoding;
    } else if (standalone != "yes" && standalone != "no") {
        return false;
    }
    return allOf(inside.substr(p), IsSpace);
}

} // namespace

XmlScanner::XmlScanner(XmlHandler& handler, std::string fileName, std::string partName)
    : handler_(handler), fileName_(std::move(fileName)), partName_(std::move(partName)) {}

bool XmlScanner::feed(std::string_view chunk) {
    if (unsupported_) {
        return false;
    }
    buffer_.append(chunk);
    scan(false);
    if (unsupported_) {
        return false;
    }
    discardScanned();
    return true;
}

bool XmlScanner::finish() {
    if (unsupported_) {
        return false;
    }
    scan(true);
    if (unsupported_) {
        return false;
    }
    if (stage_ != Stage::Epilog) {
        fail(nameOffsets_.empty() ? "no element found"sv : "an element is not closed"sv,
             buffer_.size());
    }
    return true;
}

void XmlScanner::fail(std::string_view what, std::size_t at) const {
    std::size_t line = linesBefore_ + 1;
    const char* p = buffer_.data();
    const char* end = p + std::min(at, buffer_.size());
    while ((p = static_cast<const char*>(
                std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr) {
        ++line;
        ++p;
    }
    ThrowDamaged(ErrorCode::MalformedXml, fileName_, partName_,
                 "its XML is not well-formed (" + std::string(what) + " at line " +
                     std::to_string(line) + ")");
}

void XmlScanner::discardScanned() {
    if (pos_ == 0) {
        return;
    }
    const char* p = buffer_.data();
    const char* end = p + pos_;
    while ((p = static_cast<const char*>(
                std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr) {
        ++linesBefore_;
        ++p;
    }
    buffer_.erase(0, pos_);
    searchFrom_ = searchFrom_ > pos_ ? searchFrom_ - pos_ : 0;
    pos_ = 0;
}

bool XmlScanner::checkEncoding(bool last) {
    const std::string_view bytes(buffer_);
    const auto startsWith = [&](std::string_view prefix) {
        return bytes.substr(pos_).starts_with(prefix);
    };
    if (bytes.size() < 2 && !last) {
        return false;
    }
    if (startsWith("\xFE\xFF"sv) || startsWith("\xFF\xFE"sv) || startsWith("\0<"sv) ||
        startsWith("<\0"sv)) {
        unsupported_ = true; // UTF-16
        return false;
    }
    if (bytes.size() < 3 && !last) {
        return false;
    }
    if (pos_ == 0 && startsWith("\xEF\xBB\xBF"sv)) {
        pos_ = 3;
    }
    if (bytes.size() - pos_ < 6 && !last) {
        return false;
    }
    if (startsWith("<?xml"sv) && bytes.size() - pos_ > 5 && IsSpace(bytes[pos_ + 5])) {
        const std::size_t end = bytes.find("?>"sv, pos_);
        if (end == std::string_view::npos) {
            if (last) {
                fail("an unfinished XML declaration", pos_);
            }
            return false;
        }
        std::string_view encoding;
        if (!ReadDeclaration(bytes.substr(pos_ + 5, end - pos_ - 5), encoding)) {
            fail("a malformed XML declaration", pos_);
        }
        if (!encoding.empty() && !EqualsIgnoringCase(encoding, "UTF-8") &&
            !EqualsIgnoringCase(encoding, "US-ASCII")) {
            unsupported_ = true;
            return false;
        }
        pos_ = end + 2;
    }
    stage_ = Stage::Prolog;
    return true;
}

void XmlScanner::scan(bool last) {
    if (stage_ == Stage::Start && !checkEncoding(last)) {
        return;
    }
    const std::size_t size = buffer_.size();
    while (pos_ < size) {
        const char* base = buffer_.data();
        bool complete = false;
        if (base[pos_] != '<') {
            complete = scanText(last);
        } else if (pos_ + 1 >= size) {
            complete = false;
        } else if (base[pos_ + 1] == '/') {
            complete = scanEndTag();
        } else if (base[pos_ + 1] == '!') {
            complete = scanMarkupDeclaration(last);
        } else if (base[pos_ + 1] == '?') {
            complete = scanProcessingInstruction();
        } else {
            complete = scanStartTag();
        }
        if (!complete) {
            break;
        }
    }
    if (last && pos_ < size) {
        fail("the part ends inside a tag", pos_);
    }
}

char* XmlScanner::decode(char* begin, char* end, Decoding mode) {
    char* r = begin;
    // Most text and values need no change: find the first byte that does without writing.
    const bool attribute = mode == Decoding::Attribute;
    while (r < end) {
        const std::uint8_t cls = kByteClasses[static_cast<unsigned char>(*r)];
        if (cls == kPlain || (cls == kSpace && !attribute) || (cls == kLess && !attribute)) {
            ++r;
        } else {
            break;
        }
    }
    char* w = r;
    while (r < end) {
        const std::uint8_t cls = kByteClasses[static_cast<unsigned char>(*r)];
        switch (cls) {
        case kPlain:
            *w++ = *r++;
            break;
        case kSpace:
            *w++ = attribute ? ' ' : *r;
            ++r;
            break;
        case kReturn:
            ++r;
            if (r < end && *r == '\n') {
                ++r;
            }
            *w++ = attribute ? ' ' : '\n';
            break;
        case kLess:
            if (attribute) {
                fail("a '<' in an attribute value", offsetOf(r));
            }
            *w++ = *r++;
            break;
        case kBracket:
            if (mode == Decoding::Text && end - r >= 3 && r[1] == ']' && r[2] == '>') {
                fail("']]>' in text", offsetOf(r));
            }
            *w++ = *r++;
            break;
        case kAmpersand: {
            if (mode == Decoding::Verbatim) {
                *w++ = *r++;
                break;
            }
            const auto* semicolon =
                static_cast<char*>(std::memchr(r, ';', static_cast<std::size_t>(end - r)));
            if (semicolon == nullptr) {
                fail("an unfinished reference", offsetOf(r));
            }
            const std::string_view name(r + 1, static_cast<std::size_t>(semicolon - r - 1));
            char32_t cp = 0;
            if (name.starts_with('#')) {
                const bool hex = name.size() > 1 && name[1] == 'x';
                const std::string_view digits = name.substr(hex ? 2 : 1);
                if (digits.empty()) {
                    fail("a character reference without digits", offsetOf(r));
                }
                for (const char d : digits) {
                    std::uint32_t v = 0;
                    if (d >= '0' && d <= '9') {
                        v = static_cast<std::uint32_t>(d - '0');
                    } else if (hex && d >= 'a' && d <= 'f') {
                        v = static_cast<std::uint32_t>(d - 'a' + 10);
                    } else if (hex && d >= 'A' && d <= 'F') {
                        v = static_cast<std::uint32_t>(d - 'A' + 10);
                    } else {
                        fail("a character reference with a wrong digit", offsetOf(r));
                    }
                    cp = cp * (hex ? 16 : 10) + v;
                    if (cp > 0x10FFFF) {
                        fail("a reference to a character that does not exist", offsetOf(r));
                    }
                }
                if (!IsXmlChar(cp)) {
                    fail("a reference to a character XML does not allow", offsetOf(r));
                }
            } else if (name == "lt") {
                cp = '<';
            } else if (name == "gt") {
                cp = '>';
            } else if (name == "amp") {
                cp = '&';
            } else if (name == "apos") {
                cp = '\'';
            } else if (name == "quot") {
                cp = '"';
            } else {
                fail("a reference to an undefined entity", offsetOf(r));
            }
            w = EncodeUtf8(w, cp);
            r = const_cast<char*>(semicolon) + 1;
            break;
        }
        case kInvalid:
            fail("a character XML does not allow", offsetOf(r));
        default: { // kHigh
            char32_t cp = 0;
            const std::size_t length = DecodeUtf8(r, end, cp);
            if (length == 0) {
                fail("bytes that are not UTF-8", offsetOf(r));
            }
            if (!IsXmlChar(cp)) {
                fail("a character XML does not allow", offsetOf(r));
            }
            std::memmove(w, r, length);
            w += length;
            r += length;
            break;
        }
        }
    }
    return w;
}

std::size_t XmlScanner::nameEnd(std::size_t at) const {
    const char* base = buffer_.data();
    const char* end = base + buffer_.size();
    const char* p = base + at;
    bool first = true;
    while (p < end) {
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x80) {
            if ((first ? kNameStartBytes[c] : kNameBytes[c]) == 0) {
                break;
            }
            ++p;
        } else {
            char32_t cp = 0;
            const std::size_t length = DecodeUtf8(p, end, cp);
            if (length == 0 || !(first ? IsNameStartCodePoint(cp) : IsNameCodePoint(cp))) {
                break;
            }
            p += length;
        }
        first = false;
    }
    return static_cast<std::size_t>(p - base);
}

void XmlScanner::emitText(char* begin, char* end) {
    if (stage_ != Stage::Root) {
        for (const char* p = begin; p < end; ++p) {
            if (!IsSpace(*p)) {
                fail(stage_ == Stage::Epilog ? "text after the root element"sv
                                             : "text before the root element"sv,
                     offsetOf(p));
            }
        }
        return;
    }
    char* decodedEnd = decode(begin, end, Decoding::Text);
    if (decodedEnd != begin) {
        handler_.characters(std::string_view(begin, static_cast<std::size_t>(decodedEnd - begin)));
    }
}

bool XmlScanner::scanText(bool last) {
    char* base = buffer_.data();
    const std::size_t size = buffer_.size();
    const std::size_t from = std::max(pos_, searchFrom_);
    const auto* less = static_cast<char*>(std::memchr(base + from, '<', size - from));
    if (less != nullptr) {
        emitText(base + pos_, const_cast<char*>(less));
        pos_ = static_cast<std::size_t>(less - base);
        searchFrom_ = 0;
        return true;
    }
    if (last) {
        emitText(base + pos_, base + size);
        pos_ = size;
        return true;
    }
    searchFrom_ = size;
    if (size - pos_ < kPendingTextBytes) {
        return false;
    }
    // Hand on what cannot change with the next bytes: keep back an unfinished reference, an
    // unfinished multi-byte character, "]]" (a '>' may follow) and '\r' (a '\n' may follow).
    std::size_t cut = size;
    const std::string_view pending(base + pos_, size - pos_);
    const std::size_t ampersand = pending.rfind('&');
    if (ampersand != std::string_view::npos &&
        pending.find(';', ampersand) == std::string_view::npos) {
        cut = pos_ + ampersand;
    }
    std::size_t k = cut;
    while (k > pos_ && cut - k < 3 && (static_cast<unsigned char>(base[k - 1]) & 0xC0) == 0x80) {
        --k;
    }
    if (k > pos_ && (static_cast<unsigned char>(base[k - 1]) & 0xC0) == 0xC0) {
        cut = k - 1;
    }
    for (int i = 0; i < 3 && cut > pos_ && (base[cut - 1] == ']' || base[cut - 1] == '\r'); ++i) {
        --cut;
    }
    if (cut > pos_) {
        emitText(base + pos_, base + cut);
        pos_ = cut;
    }
    return false;
}

bool XmlScanner::scanStartTag() {
    char* base = buffer_.data();
    const std::size_t size = buffer_.size();
    if (stage_ == Stage::Epilog) {
        fail("a second root element", pos_);
    }
    // The tag ends at the first '>' outside a quoted value.
    std::size_t i = std::max(pos_ + 1, searchFrom_);
    char quote = searchQuote_;
    std::size_t gt = 0;
    while (gt == 0) {
        if (quote != 0) {
            const auto* close = static_cast<const char*>(std::memchr(base + i, quote, size - i));
            if (close == nullptr) {
                searchFrom_ = size;
                searchQuote_ = quote;
                return false;
            }
            i = static_cast<std::size_t>(close - base) + 1;
            quote = 0;
        }
        for (; i < size; ++i) {
            const char c = base[i];
            if (c == '>') {
                gt = i;
                break;
            }
            if (c == '"' || c == '\'') {
                quote = c;
                ++i;
                break;
            }
        }
        if (gt == 0 && quote == 0) {
            searchFrom_ = size;
            searchQuote_ = 0;
            return false;
        }
    }
    searchFrom_ = 0;
    searchQuote_ = 0;

    const std::size_t nameBegin = pos_ + 1;
    const std::size_t nameStop = nameEnd(nameBegin);
    if (nameStop == nameBegin) {
        fail("a tag without a valid name", nameBegin);
    }
    spans_.clear();
    bool selfClosing = false;
    std::size_t p = nameStop;
    for (;;) {
        bool spaced = false;
        while (IsSpace(base[p])) {
            ++p;
            spaced = true;
        }
        if (p == gt) {
            break;
        }
        if (base[p] == '/') {
            if (p + 1 != gt) {
                fail("a '/' inside a tag", p);
            }
            selfClosing = true;
            break;
        }
        if (!spaced) {
            fail("attributes not separated by white space", p);
        }
        const std::size_t attributeBegin = p;
        const std::size_t attributeEnd = nameEnd(p);
        if (attributeEnd == attributeBegin) {
            fail("an attribute without a valid name", p);
        }
        p = attributeEnd;
        while (IsSpace(base[p])) {
            ++p;
        }
        if (base[p] != '=') {
            fail("an attribute without a value", p);
        }
        ++p;
        while (IsSpace(base[p])) {
            ++p;
        }
        const char q = base[p];
        if (q != '"' && q != '\'') {
            fail("an attribute value without quotes", p);
        }
        const std::size_t valueBegin = p + 1;
        const auto* close = static_cast<char*>(std::memchr(base + valueBegin, q, gt - valueBegin));
        if (close == nullptr) {
            fail("an unfinished attribute value", p);
        }
        char* valueEnd = decode(base + valueBegin, const_cast<char*>(close), Decoding::Attribute);
        spans_.insert(spans_.end(), {attributeBegin, attributeEnd, valueBegin,
                                     static_cast<std::size_t>(valueEnd - base)});
        p = static_cast<std::size_t>(close - base) + 1;
    }

    const std::size_t count = spans_.size() / 4;
    const auto attributeName = [&](std::size_t n) {
        return std::string_view(base + spans_[4 * n], spans_[4 * n + 1] - spans_[4 * n]);
    };
    if (count <= kPairwiseAttributeCheck) {
        for (std::size_t a = 1; a < count; ++a) {
            for (std::size_t b = 0; b < a; ++b) {
                if (attributeName(a) == attributeName(b)) {
                    fail("an attribute given twice", spans_[4 * a]);
                }
            }
        }
    } else {
        std::vector<std::string_view> names;
        names.reserve(count);
        for (std::size_t n = 0; n < count; ++n) {
            names.push_back(attributeName(n));
        }
        std::sort(names.begin(), names.end());
        if (std::adjacent_find(names.begin(), names.end()) != names.end()) {
            fail("an attribute given twice", pos_);
        }
    }
    if (nameOffsets_.size() >= static_cast<std::size_t>(kMaxXmlDepth)) {
        throw NestedTooDeeplyError(fileName_, partName_);
    }

    // The handler takes NUL-terminated strings: the byte after each name and value has been
    // read and can take the terminator.
    nameOffsets_.push_back(openNames_.size());
    openNames_.append(base + nameBegin, nameStop - nameBegin);
    base[nameStop] = '\0';
    attributes_.clear();
    for (std::size_t n = 0; n < count; ++n) {
        base[spans_[4 * n + 1]] = '\0';
        base[spans_[4 * n + 3]] = '\0';
        attributes_.push_back(base + spans_[4 * n]);
        attributes_.push_back(base + spans_[4 * n + 2]);
    }
    attributes_.push_back(nullptr);
    stage_ = Stage::Root;
    pos_ = gt + 1;
    handler_.startElement(base + nameBegin, attributes_.data());
    if (selfClosing) {
        closeElement(base + nameBegin);
    }
    return true;
}

void XmlScanner::closeElement(const char* name) {
    openNames_.resize(nameOffsets_.back());
    nameOffsets_.pop_back();
    if (nameOffsets_.empty()) {
        stage_ = Stage::Epilog;
    }
    handler_.endElement(name);
}

bool XmlScanner::scanEndTag() {
    char* base = buffer_.data();
    const std::size_t size = buffer_.size();
    const std::size_t from = std::max(pos_ + 2, searchFrom_);
    const auto* close = static_cast<const char*>(std::memchr(base + from, '>', size - from));
    if (close == nullptr) {
        searchFrom_ = size;
        return false;
    }
    searchFrom_ = 0;
    const auto gt = static_cast<std::size_t>(close - base);
    const std::size_t nameBegin = pos_ + 2;
    const std::size_t nameStop = nameEnd(nameBegin);
    if (nameStop == nameBegin) {
        fail("an end tag without a valid name", nameBegin);
    }
    std::size_t p = nameStop;
    while (IsSpace(base[p])) {
        ++p;
    }
    if (p != gt) {
        fail("an end tag with more than a name", p);
    }
    if (nameOffsets_.empty()) {
        fail("an end tag without a start tag", pos_);
    }
    const std::string_view name(base + nameBegin, nameStop - nameBegin);
    if (name != std::string_view(openNames_).substr(nameOffsets_.back())) {
        fail("mismatched tag", pos_);
    }
    base[nameStop] = '\0';
    pos_ = gt + 1;
    closeElement(base + nameBegin);
    return true;
}

bool XmlScanner::scanMarkupDeclaration(bool last) {
    char* base = buffer_.data();
    const std::string_view rest = std::string_view(buffer_).substr(pos_);
    const auto startsWith = [&](std::string_view prefix) {
        if (rest.size() < prefix.size()) {
            return prefix.starts_with(rest) ? std::optional<bool>() : std::optional<bool>(false);
        }
        return std::optional<bool>(rest.starts_with(prefix));
    };
    const auto findEnd = [&](std::size_t contentBegin,
                             std::string_view terminator) -> std::optional<std::size_t> {
        const std::size_t from = std::max(contentBegin, searchFrom_);
        const std::size_t at = std::string_view(buffer_).find(terminator, from);
        if (at == std::string_view::npos) {
            searchFrom_ = buffer_.size() > terminator.size() - 1
                              ? std::max(contentBegin, buffer_.size() - (terminator.size() - 1))
                              : contentBegin;
            return std::nullopt;
        }
        searchFrom_ = 0;
        return at;
    };

    const auto comment = startsWith("<!--");
    if (comment && *comment) {
        const std::size_t contentBegin = pos_ + 4;
        const auto end = findEnd(contentBegin, "-->");
        if (!end) {
            return false;
        }
        const std::string_view content(base + contentBegin, *end - contentBegin);
        if (content.find("--") != std::string_view::npos || content.ends_with('-')) {
            fail("'--' inside a comment", contentBegin);
        }
        decode(base + contentBegin, base + *end, Decoding::Verbatim);
        pos_ = *end + 3;
        return true;
    }
    const auto cdata = startsWith("<![CDATA[");
    if (cdata && *cdata) {
        if (stage_ != Stage::Root) {
            fail("a CDATA section outside the root element", pos_);
        }
        const std::size_t contentBegin = pos_ + 9;
        const auto end = findEnd(contentBegin, "]]>");
        if (!end) {
            return false;
        }
        char* decodedEnd = decode(base + contentBegin, base + *end, Decoding::Verbatim);
        pos_ = *end + 3;
        if (decodedEnd != base + contentBegin) {
            handler_.characters(std::string_view(
                base + contentBegin, static_cast<std::size_t>(decodedEnd - (base + contentBegin))));
        }
        return true;
    }
    const auto doctype = startsWith("<!DOCTYPE");
    if (doctype && *doctype) {
        if (stage_ != Stage::Prolog) {
            fail("a document type declaration after the root element started", pos_);
        }
        // Refused once its name is complete and followed by what may follow a name there, as
        // expat does; cut short or followed by anything else, it is malformed.
        std::size_t p = pos_ + 9;
        while (p < buffer_.size() && IsSpace(buffer_[p])) {
            ++p;
        }
        const std::size_t nameStop = p > pos_ + 9 ? nameEnd(p) : p;
        if (nameStop > p && nameStop < buffer_.size()) {
            const char next = buffer_[nameStop];
            if (IsSpace(next) || next == '[' || next == '>') {
                throw DeclarationsRefusedError(fileName_, partName_);
            }
        }
        if (!last && nameStop == buffer_.size()) {
            return false;
        }
        fail("a malformed document type declaration", pos_);
    }
    if ((!comment || !cdata || !doctype) && !last) {
        return false; // too few bytes yet to tell which
    }
    fail("a '<!' that starts no comment or CDATA section", pos_);
}

bool XmlScanner::scanProcessingInstruction() {
    char* base = buffer_.data();
    const std::size_t from = std::max(pos_ + 2, searchFrom_);
    const std::size_t end = std::string_view(buffer_).find("?>", from);
    if (end == std::string_view::npos) {
        searchFrom_ = buffer_.size() - 1;
        return false;
    }
    searchFrom_ = 0;
    const std::size_t targetBegin = pos_ + 2;
    const std::size_t targetEnd = nameEnd(targetBegin);
    if (targetEnd == targetBegin) {
        fail("a processing instruction without a target", targetBegin);
    }
    if (EqualsIgnoringCase(std::string_view(base + targetBegin, targetEnd - targetBegin), "xml")) {
        fail("an XML declaration not at the start", pos_);
    }
    if (targetEnd != end && !IsSpace(base[targetEnd])) {
        fail("a processing instruction target followed by no space", targetEnd);
    }
    decode(base + targetEnd, base + end, Decoding::Verbatim);
    pos_ = end + 2;
    return true;
}

} // namespace quillory::spreadsheet::ooxml

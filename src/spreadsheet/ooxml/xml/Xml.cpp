#include "spreadsheet/ooxml/xml/Xml.h"

#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/PackageError.h"
#include "spreadsheet/ooxml/xml/XmlScanner.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <exception>
#include <expat.h>

namespace quillory::spreadsheet::ooxml {

struct XmlStreamParser::State {
    XML_Parser parser = nullptr;
    XmlHandler* handler = nullptr;
    std::string fileName;
    std::string partName;
    std::exception_ptr failure;
    int depth = 0;
};

namespace {

struct Callbacks {
    static void Start(void* userData, const XML_Char* name, const XML_Char** attributes) {
        auto* s = static_cast<XmlStreamParser::State*>(userData);
        if (s->failure) {
            return;
        }
        if (++s->depth > kMaxXmlDepth) {
            s->failure = std::make_exception_ptr(NestedTooDeeplyError(s->fileName, s->partName));
            XML_StopParser(s->parser, XML_FALSE);
            return;
        }
        try {
            s->handler->startElement(name, attributes);
        } catch (...) {
            s->failure = std::current_exception();
            XML_StopParser(s->parser, XML_FALSE);
        }
    }
    static void End(void* userData, const XML_Char* name) {
        auto* s = static_cast<XmlStreamParser::State*>(userData);
        if (s->failure) {
            return;
        }
        --s->depth;
        try {
            s->handler->endElement(name);
        } catch (...) {
            s->failure = std::current_exception();
            XML_StopParser(s->parser, XML_FALSE);
        }
    }
    static void Text(void* userData, const XML_Char* text, int length) {
        auto* s = static_cast<XmlStreamParser::State*>(userData);
        if (s->failure) {
            return;
        }
        try {
            s->handler->characters(std::string_view(text, static_cast<std::size_t>(length)));
        } catch (...) {
            s->failure = std::current_exception();
            XML_StopParser(s->parser, XML_FALSE);
        }
    }
    static void Refuse(XmlStreamParser::State* s) {
        if (!s->failure) {
            s->failure =
                std::make_exception_ptr(DeclarationsRefusedError(s->fileName, s->partName));
        }
        XML_StopParser(s->parser, XML_FALSE);
    }
    static void Doctype(void* userData, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        Refuse(static_cast<XmlStreamParser::State*>(userData));
    }
    static void Entity(void* userData, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                       const XML_Char*, const XML_Char*, const XML_Char*) {
        Refuse(static_cast<XmlStreamParser::State*>(userData));
    }
};

} // namespace

SpreadsheetError NestedTooDeeplyError(std::string_view fileName, std::string_view partName) {
    return SpreadsheetError(ErrorCode::MalformedXml,
                            QuotedFile(fileName) + " is damaged: the part " +
                                std::string(partName) + " is nested too deeply.");
}

SpreadsheetError DeclarationsRefusedError(std::string_view fileName, std::string_view partName) {
    return SpreadsheetError(ErrorCode::XmlDeclarationsRefused,
                            QuotedFile(fileName) + " is refused: the part " +
                                std::string(partName) +
                                " contains a document type or entity declaration, which "
                                "workbooks never need and which can be used to attack the "
                                "program.");
}

XmlStreamParser::XmlStreamParser(XmlHandler& handler, std::string fileName, std::string partName,
                                 XmlBackend backend)
    : state_(std::make_unique<State>()) {
    state_->handler = &handler;
    state_->fileName = std::move(fileName);
    state_->partName = std::move(partName);
    if (backend == XmlBackend::Scanner) {
        scanner_ = std::make_unique<XmlScanner>(handler, state_->fileName, state_->partName);
    } else {
        startExpat();
    }
}

void XmlStreamParser::startExpat() {
    state_->parser = XML_ParserCreate(nullptr);
    if (state_->parser == nullptr) {
        throw SpreadsheetError(ErrorCode::Internal, "Out of memory while reading XML.");
    }
    XML_SetUserData(state_->parser, state_.get());
    XML_SetElementHandler(state_->parser, &Callbacks::Start, &Callbacks::End);
    XML_SetCharacterDataHandler(state_->parser, &Callbacks::Text);
    XML_SetStartDoctypeDeclHandler(state_->parser, &Callbacks::Doctype);
    XML_SetEntityDeclHandler(state_->parser, &Callbacks::Entity);
    XML_SetParamEntityParsing(state_->parser, XML_PARAM_ENTITY_PARSING_NEVER);
}

XmlStreamParser::~XmlStreamParser() {
    if (state_->parser != nullptr) {
        XML_ParserFree(state_->parser);
    }
}

void XmlStreamParser::parse(const char* data, int size, bool last) {
    const XML_Status status = XML_Parse(state_->parser, data, size, last ? XML_TRUE : XML_FALSE);
    if (state_->failure) {
        std::rethrow_exception(state_->failure);
    }
    if (status != XML_STATUS_OK) {
        const XML_Error code = XML_GetErrorCode(state_->parser);
        const auto line = XML_GetCurrentLineNumber(state_->parser);
        ThrowDamaged(ErrorCode::MalformedXml, state_->fileName, state_->partName,
                     std::string("its XML is not well-formed (") + XML_ErrorString(code) +
                         " at line " + std::to_string(line) + ")");
    }
}

void XmlStreamParser::feed(std::string_view chunk) {
    if (scanner_) {
        if (!scanner_->feed(chunk)) {
            switchToExpat();
        }
        return;
    }
    feedExpat(chunk);
}

void XmlStreamParser::switchToExpat() {
    // Not UTF-8: expat reads the document from its start, which the scanner still holds.
    const std::string pending(scanner_->unscanned());
    scanner_.reset();
    startExpat();
    feedExpat(pending);
}

void XmlStreamParser::feedExpat(std::string_view chunk) {
    while (chunk.size() > static_cast<std::size_t>(INT_MAX / 2)) {
        parse(chunk.data(), INT_MAX / 2, false);
        chunk.remove_prefix(INT_MAX / 2);
    }
    parse(chunk.data(), static_cast<int>(chunk.size()), false);
}

void XmlStreamParser::finish() {
    if (scanner_) {
        if (scanner_->finish()) {
            return;
        }
        switchToExpat();
    }
    parse("", 0, true);
}

std::string_view LocalName(std::string_view qualifiedName) {
    const auto colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

// ---- tree ----

const std::string* XmlNode::attribute(std::string_view attributeName) const {
    for (const auto& [key, value] : attributes) {
        if (key == attributeName) {
            return &value;
        }
    }
    if (attributeName.find(':') == std::string_view::npos) {
        for (const auto& [key, value] : attributes) {
            if (key.find(':') != std::string::npos && LocalName(key) == attributeName &&
                key.rfind("xmlns", 0) != 0) {
                return &value;
            }
        }
    }
    return nullptr;
}

std::string XmlNode::attributeOr(std::string_view attributeName, std::string fallback) const {
    const std::string* value = attribute(attributeName);
    return value != nullptr ? *value : fallback;
}

void XmlNode::setAttribute(std::string_view attributeName, std::string value) {
    for (auto& [key, existing] : attributes) {
        if (key == attributeName) {
            existing = std::move(value);
            return;
        }
    }
    attributes.emplace_back(std::string(attributeName), std::move(value));
}

void XmlNode::removeAttribute(std::string_view attributeName) {
    std::erase_if(attributes, [&](const auto& a) { return a.first == attributeName; });
}

const XmlNode* XmlNode::child(std::string_view local) const {
    for (const auto& c : children) {
        if (!c.isText() && c.localName() == local) {
            return &c;
        }
    }
    return nullptr;
}

XmlNode* XmlNode::child(std::string_view local) {
    return const_cast<XmlNode*>(static_cast<const XmlNode*>(this)->child(local));
}

std::vector<const XmlNode*> XmlNode::childrenNamed(std::string_view local) const {
    std::vector<const XmlNode*> found;
    for (const auto& c : children) {
        if (!c.isText() && c.localName() == local) {
            found.push_back(&c);
        }
    }
    return found;
}

std::vector<XmlNode*> XmlNode::childrenNamed(std::string_view local) {
    std::vector<XmlNode*> found;
    for (auto& c : children) {
        if (!c.isText() && c.localName() == local) {
            found.push_back(&c);
        }
    }
    return found;
}

std::string XmlNode::textContent() const {
    std::string text;
    for (const auto& c : children) {
        if (c.isText()) {
            text += c.text;
        }
    }
    return text;
}

void XmlNode::setTextContent(std::string text) {
    std::erase_if(children, [](const XmlNode& c) { return c.isText(); });
    XmlNode node;
    node.text = std::move(text);
    children.insert(children.begin(), std::move(node));
}

namespace {

class TreeBuilder : public XmlHandler {
public:
    void startElement(const char* name, const char** attributes) override {
        XmlNode node;
        node.name = name;
        for (int i = 0; attributes[i] != nullptr; i += 2) {
            node.attributes.emplace_back(attributes[i], attributes[i + 1]);
        }
        if (stack_.empty()) {
            root_ = std::move(node);
            stack_.push_back(&root_);
        } else {
            stack_.back()->children.push_back(std::move(node));
            stack_.push_back(&stack_.back()->children.back());
        }
    }
    void endElement(const char*) override { stack_.pop_back(); }
    void characters(std::string_view text) override {
        if (stack_.empty()) {
            return;
        }
        auto& children = stack_.back()->children;
        if (!children.empty() && children.back().isText()) {
            children.back().text.append(text);
        } else {
            XmlNode node;
            node.text = std::string(text);
            children.push_back(std::move(node));
        }
    }
    XmlNode root_;

private:
    std::vector<XmlNode*> stack_;
};

} // namespace

XmlNode ParseXmlTree(std::string_view xml, const std::string& fileName,
                     const std::string& partName) {
    TreeBuilder builder;
    XmlStreamParser parser(builder, fileName, partName);
    parser.feed(xml);
    parser.finish();
    return std::move(builder.root_);
}

XmlNode ParseNamespacedXmlTree(std::string_view xml, const std::string& fileName,
                               const std::string& partName) {
    XmlNode root = ParseXmlTree(xml, fileName, partName); // refuses DTDs before expat sees one
    XML_Parser parser = XML_ParserCreateNS(nullptr, ' ');
    if (parser == nullptr) {
        throw SpreadsheetError(ErrorCode::Internal, "Out of memory while reading XML.");
    }
    bool ok = true;
    for (std::size_t at = 0; ok && at < xml.size(); at += INT_MAX) {
        const auto size = static_cast<int>(std::min<std::size_t>(xml.size() - at, INT_MAX));
        ok = XML_Parse(parser, xml.data() + at, size, XML_FALSE) == XML_STATUS_OK;
    }
    ok = ok && XML_Parse(parser, "", 0, XML_TRUE) == XML_STATUS_OK;
    const std::string reason = ok ? "" : XML_ErrorString(XML_GetErrorCode(parser));
    const auto line = XML_GetCurrentLineNumber(parser);
    XML_ParserFree(parser);
    if (!ok) {
        ThrowDamaged(ErrorCode::MalformedXml, fileName, partName,
                     "its XML names are not well-formed (" + reason + " at line " +
                         std::to_string(line) + ")");
    }
    return root;
}

// ---- writing ----

namespace {

// Per byte: 0 when written as it is, else 1 + the index of its entity in kEntities. Text escapes
// the first four; attribute values all of them.
constexpr std::string_view kEntities[] = {"&amp;",  "&lt;",  "&gt;", "&#13;",
                                          "&quot;", "&#10;", "&#9;"};
constexpr std::size_t kTextEntities = 4;

constexpr std::array<unsigned char, 256> MakeEscapeTable() {
    std::array<unsigned char, 256> table{};
    table[static_cast<unsigned char>('&')] = 1;
    table[static_cast<unsigned char>('<')] = 2;
    table[static_cast<unsigned char>('>')] = 3;
    table[static_cast<unsigned char>('\r')] = 4;
    table[static_cast<unsigned char>('"')] = 5;
    table[static_cast<unsigned char>('\n')] = 6;
    table[static_cast<unsigned char>('\t')] = 7;
    return table;
}
constexpr std::array<unsigned char, 256> kEscapeTable = MakeEscapeTable();

template <bool Attribute> std::string_view EntityFor(char c) {
    const unsigned char code = kEscapeTable[static_cast<unsigned char>(c)];
    if (code == 0 || (!Attribute && code > kTextEntities)) {
        return {};
    }
    return kEntities[code - 1];
}

// Runs of plain characters are appended in one piece: most text and values need no escaping.
template <bool Attribute> void EscapeInto(std::string& out, std::string_view text) {
    std::size_t plainFrom = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::string_view entity = EntityFor<Attribute>(text[i]);
        if (!entity.empty()) {
            out.append(text.data() + plainFrom, i - plainFrom);
            out.append(entity);
            plainFrom = i + 1;
        }
    }
    out.append(text.data() + plainFrom, text.size() - plainFrom);
}

template <bool Attribute> char* EscapeTo(char* out, std::string_view text) {
    std::size_t plainFrom = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (kEscapeTable[static_cast<unsigned char>(text[i])] == 0) {
            continue;
        }
        const std::string_view entity = EntityFor<Attribute>(text[i]);
        if (!entity.empty()) {
            std::memcpy(out, text.data() + plainFrom, i - plainFrom);
            out += i - plainFrom;
            std::memcpy(out, entity.data(), entity.size());
            out += entity.size();
            plainFrom = i + 1;
        }
    }
    if (plainFrom < text.size()) { // an empty view may have no data pointer
        std::memcpy(out, text.data() + plainFrom, text.size() - plainFrom);
    }
    return out + (text.size() - plainFrom);
}

} // namespace

void EscapeTextInto(std::string& out, std::string_view text) {
    EscapeInto<false>(out, text);
}

void EscapeAttributeInto(std::string& out, std::string_view value) {
    EscapeInto<true>(out, value);
}

char* EscapeTextTo(char* out, std::string_view text) {
    return EscapeTo<false>(out, text);
}

char* EscapeAttributeTo(char* out, std::string_view value) {
    return EscapeTo<true>(out, value);
}

void AppendStartTag(std::string& out, std::string_view name,
                    const std::vector<std::pair<std::string, std::string>>& attributes,
                    bool selfClose) {
    out += '<';
    out += name;
    for (const auto& [key, value] : attributes) {
        out += ' ';
        out += key;
        out += "=\"";
        EscapeAttributeInto(out, value);
        out += '"';
    }
    out += selfClose ? "/>" : ">";
}

void AppendNode(std::string& out, const XmlNode& node) {
    if (node.isText()) {
        EscapeTextInto(out, node.text);
        return;
    }
    AppendStartTag(out, node.name, node.attributes, node.children.empty());
    if (node.children.empty()) {
        return;
    }
    for (const auto& c : node.children) {
        AppendNode(out, c);
    }
    out += "</";
    out += node.name;
    out += '>';
}

std::string SerializeNode(const XmlNode& node) {
    std::string out;
    AppendNode(out, node);
    return out;
}

} // namespace quillory::spreadsheet::ooxml

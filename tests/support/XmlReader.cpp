#include "support/XmlReader.h"

#include <expat.h>
#include <stdexcept>

namespace quillory::testing {

namespace {

// Expat joins namespace URI and local name with this separator; a space appears in neither.
constexpr char kNamespaceSeparator = ' ';

XmlName splitName(std::string_view name) {
    const auto cut = name.rfind(kNamespaceSeparator);
    if (cut == std::string_view::npos) {
        return {std::string(), std::string(name)};
    }
    return {std::string(name.substr(0, cut)), std::string(name.substr(cut + 1))};
}

struct ParseState {
    const XmlHandler* handler = nullptr;
    int depth = 0;
    std::string refusal;
    XML_Parser parser = nullptr;

    void refuse(const char* reason) {
        refusal = reason;
        XML_StopParser(parser, XML_FALSE);
    }
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attrs) {
    auto* state = static_cast<ParseState*>(data);
    std::vector<XmlAttribute> attributes;
    for (int i = 0; attrs[i] != nullptr; i += 2) {
        attributes.push_back({splitName(attrs[i]), attrs[i + 1]});
    }
    if (state->handler->start) {
        state->handler->start(splitName(name), attributes, state->depth);
    }
    ++state->depth;
}

void XMLCALL onEnd(void* data, const XML_Char* name) {
    auto* state = static_cast<ParseState*>(data);
    --state->depth;
    if (state->handler->end) {
        state->handler->end(splitName(name), state->depth);
    }
}

void XMLCALL onText(void* data, const XML_Char* text, int length) {
    auto* state = static_cast<ParseState*>(data);
    if (state->handler->text) {
        state->handler->text(std::string_view(text, static_cast<std::size_t>(length)),
                             state->depth - 1);
    }
}

void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    static_cast<ParseState*>(data)->refuse("the document has a DTD (document type declaration)");
}

void XMLCALL onEntityDecl(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                          const XML_Char*, const XML_Char*, const XML_Char*) {
    static_cast<ParseState*>(data)->refuse("the document declares entities");
}

} // namespace

const std::string* XmlElement::attribute(std::string_view local, std::string_view ns) const {
    for (const auto& attribute : attributes) {
        if (attribute.name.local == local && attribute.name.ns == ns) {
            return &attribute.value;
        }
    }
    return nullptr;
}

const XmlElement* XmlElement::child(std::string_view local) const {
    const auto found = childrenNamed(local);
    return found.empty() ? nullptr : found.front();
}

std::vector<const XmlElement*> XmlElement::childrenNamed(std::string_view local) const {
    std::vector<const XmlElement*> found;
    for (const auto& element : children) {
        if (element->name.local == local) {
            found.push_back(element.get());
        }
    }
    return found;
}

void XmlElement::forEach(const std::function<void(const XmlElement&)>& visit) const {
    visit(*this);
    for (const auto& element : children) {
        element->forEach(visit);
    }
}

void parseXml(std::string_view bytes, const XmlHandler& handler) {
    XML_Parser parser = XML_ParserCreateNS(nullptr, kNamespaceSeparator);
    if (parser == nullptr) {
        throw std::runtime_error("cannot create an XML parser");
    }
    ParseState state{&handler, 0, {}, parser};
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onText);
    XML_SetStartDoctypeDeclHandler(parser, onDoctype);
    XML_SetEntityDeclHandler(parser, onEntityDecl);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);

    constexpr std::size_t kChunk = 1 << 20;
    std::string error;
    std::size_t offset = 0;
    do {
        const std::size_t size = std::min(kChunk, bytes.size() - offset);
        const bool last = offset + size == bytes.size();
        if (XML_Parse(parser, bytes.data() + offset, static_cast<int>(size), last) !=
            XML_STATUS_OK) {
            error = state.refusal.empty()
                        ? std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
                              std::to_string(XML_GetCurrentLineNumber(parser))
                        : state.refusal;
            break;
        }
        offset += size;
    } while (offset < bytes.size());
    XML_ParserFree(parser);
    if (!error.empty()) {
        throw std::runtime_error(error);
    }
}

std::unique_ptr<XmlElement> parseXmlTree(std::string_view bytes) {
    std::unique_ptr<XmlElement> root;
    std::vector<XmlElement*> open;
    XmlHandler handler;
    handler.start = [&](const XmlName& name, const std::vector<XmlAttribute>& attributes, int) {
        auto element = std::make_unique<XmlElement>();
        element->name = name;
        element->attributes = attributes;
        XmlElement* raw = element.get();
        if (open.empty()) {
            root = std::move(element);
        } else {
            open.back()->children.push_back(std::move(element));
        }
        open.push_back(raw);
    };
    handler.end = [&](const XmlName&, int) { open.pop_back(); };
    parseXml(bytes, handler);
    if (!root) {
        throw std::runtime_error("the document has no root element");
    }
    return root;
}

} // namespace quillory::testing

#include "support/XmlReader.h"

#include <expat.h>
#include <stdexcept>

namespace quillory::testing {

namespace {

// Expat joins namespace URI and local name with this separator; a space appears in neither.
constexpr char kNamespaceSeparator = ' ';

XmlName splitName(std::string_view name) {
    const auto cut = name.rfind(kNamespaceSeparator);
    return cut == std::string_view::npos
               ? XmlName{std::string(), std::string(name)}
               : XmlName{std::string(name.substr(0, cut)), std::string(name.substr(cut + 1))};
}

struct TreeBuilder {
    XML_Parser parser = nullptr;
    std::unique_ptr<XmlElement> root;
    std::vector<XmlElement*> open;
    std::string refusal;

    void refuse(const char* reason) {
        refusal = reason;
        XML_StopParser(parser, XML_FALSE);
    }
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attrs) {
    auto* builder = static_cast<TreeBuilder*>(data);
    auto element = std::make_unique<XmlElement>();
    element->name = splitName(name);
    for (int i = 0; attrs[i] != nullptr; i += 2) {
        element->attributes.push_back({splitName(attrs[i]), attrs[i + 1]});
    }
    XmlElement* raw = element.get();
    if (builder->open.empty()) {
        builder->root = std::move(element);
    } else {
        builder->open.back()->children.push_back(std::move(element));
    }
    builder->open.push_back(raw);
}

void XMLCALL onEnd(void* data, const XML_Char*) {
    static_cast<TreeBuilder*>(data)->open.pop_back();
}

void XMLCALL onText(void* data, const XML_Char* text, int length) {
    auto* builder = static_cast<TreeBuilder*>(data);
    if (!builder->open.empty()) {
        builder->open.back()->text.append(text, static_cast<std::size_t>(length));
    }
}

void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    static_cast<TreeBuilder*>(data)->refuse("the document has a DTD (document type declaration)");
}

void XMLCALL onEntityDecl(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                          const XML_Char*, const XML_Char*, const XML_Char*) {
    static_cast<TreeBuilder*>(data)->refuse("the document declares entities");
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

std::unique_ptr<XmlElement> parseXmlTree(std::string_view bytes) {
    XML_Parser parser = XML_ParserCreateNS(nullptr, kNamespaceSeparator);
    if (parser == nullptr) {
        throw std::runtime_error("cannot create an XML parser");
    }
    TreeBuilder builder{parser, nullptr, {}, {}};
    XML_SetUserData(parser, &builder);
    XML_SetElementHandler(parser, onStart, onEnd);
    XML_SetCharacterDataHandler(parser, onText);
    XML_SetStartDoctypeDeclHandler(parser, onDoctype);
    XML_SetEntityDeclHandler(parser, onEntityDecl);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    // Package entries are at most 512 MiB (PackageEntries), so the size fits expat's int.
    std::string error;
    if (XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), XML_TRUE) !=
        XML_STATUS_OK) {
        error = builder.refusal.empty()
                    ? std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
                          std::to_string(XML_GetCurrentLineNumber(parser))
                    : builder.refusal;
    }
    XML_ParserFree(parser);
    if (!error.empty()) {
        throw std::runtime_error(error);
    }
    if (!builder.root) {
        throw std::runtime_error("the document has no root element");
    }
    return std::move(builder.root);
}

} // namespace quillory::testing

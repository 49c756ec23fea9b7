#include "spreadsheet/ooxml/styles/StyleXml.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/PackageError.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <algorithm>
#include <charconv>
#include <expat.h>
#include <limits>
#include <memory>
#include <tuple>
#include <utility>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr char kNsSeparator = ' ';

XmlName SplitTriplet(const XML_Char* raw) {
    // expat hands "uri local prefix", "uri local" or "local".
    std::string_view text(raw);
    XmlName name;
    const auto first = text.find(kNsSeparator);
    if (first == std::string_view::npos) {
        name.local = text;
        return name;
    }
    name.uri = text.substr(0, first);
    const auto rest = text.substr(first + 1);
    const auto second = rest.find(kNsSeparator);
    if (second == std::string_view::npos) {
        name.local = rest;
    } else {
        name.local = rest.substr(0, second);
        name.prefix = rest.substr(second + 1);
    }
    return name;
}

struct ExpatState {
    XML_Parser parser = nullptr;
    XmlEventHandler* handler = nullptr;
    bool refusedDeclaration = false;
    bool tooDeep = false;
    int depth = 0;
};

void StopParser(ExpatState& state) {
    XML_StopParser(state.parser, XML_FALSE);
}

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto& state = *static_cast<ExpatState*>(data);
    if (++state.depth > kMaxXmlDepth) {
        state.tooDeep = true;
        StopParser(state);
        return;
    }
    std::vector<XmlAttribute> parsed;
    for (const XML_Char** attribute = attributes; *attribute != nullptr; attribute += 2) {
        parsed.push_back({SplitTriplet(attribute[0]), attribute[1]});
    }
    state.handler->startElement(SplitTriplet(name), std::move(parsed));
}

void XMLCALL OnEnd(void* data, const XML_Char*) {
    auto& state = *static_cast<ExpatState*>(data);
    --state.depth;
    state.handler->endElement();
}

void XMLCALL OnCharacters(void* data, const XML_Char* text, int length) {
    auto& state = *static_cast<ExpatState*>(data);
    state.handler->characters(std::string_view(text, static_cast<std::size_t>(length)));
}

void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    auto& state = *static_cast<ExpatState*>(data);
    state.refusedDeclaration = true;
    StopParser(state);
}

void XMLCALL OnEntityDeclaration(void* data, const XML_Char*, int, const XML_Char*, int,
                                 const XML_Char*, const XML_Char*, const XML_Char*,
                                 const XML_Char*) {
    auto& state = *static_cast<ExpatState*>(data);
    state.refusedDeclaration = true;
    StopParser(state);
}

struct ParserDeleter {
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

class TreeBuilder : public XmlEventHandler {
public:
    void startElement(XmlName name, std::vector<XmlAttribute> attributes) override {
        XmlElement element;
        element.name = std::move(name);
        element.attributes = std::move(attributes);
        if (open_.empty()) {
            root_ = std::move(element);
            open_.push_back(&root_);
        } else {
            auto& children = open_.back()->children;
            children.push_back(std::move(element));
            open_.push_back(&children.back());
        }
    }
    void endElement() override {
        // Indentation between child elements carries no meaning and would defeat comparisons.
        XmlElement& element = *open_.back();
        if (!element.children.empty() &&
            element.text.find_first_not_of(" \t\r\n") == std::string::npos) {
            element.text.clear();
        }
        open_.pop_back();
    }
    void characters(std::string_view text) override {
        if (!open_.empty()) {
            open_.back()->text.append(text);
        }
    }
    XmlElement take() { return std::move(root_); }

private:
    XmlElement root_;
    // Children are only appended to the innermost open element, so these pointers stay valid.
    std::vector<XmlElement*> open_;
};

// Namespace declarations in scope while writing.
struct Scope {
    std::vector<std::pair<std::string, std::string>> bindings; // prefix -> uri, innermost last

    std::optional<std::string_view> lookup(std::string_view prefix) const {
        for (auto it = bindings.rbegin(); it != bindings.rend(); ++it) {
            if (it->first == prefix) {
                return std::string_view(it->second);
            }
        }
        return std::nullopt;
    }
};

void WriteElement(std::string& out, const XmlElement& element, Scope& scope, bool sort) {
    const std::size_t scopeSize = scope.bindings.size();
    std::vector<std::pair<std::string, std::string>> declarations;
    const auto bind = [&](const std::string& prefix, const std::string& uri) {
        const auto current = scope.lookup(prefix);
        if (current && *current == uri) {
            return true;
        }
        for (const auto& declared : declarations) {
            if (declared.first == prefix) {
                return declared.second == uri;
            }
        }
        if (!current && prefix.empty() && uri.empty()) {
            return true; // no default namespace in scope: unqualified already
        }
        declarations.emplace_back(prefix, uri);
        scope.bindings.emplace_back(prefix, uri);
        return true;
    };

    std::string elementName;
    if (element.name.isMain()) {
        bind("", std::string(kSpreadsheetMainNs));
        elementName = element.name.local;
    } else {
        bind(element.name.prefix, element.name.uri);
        elementName = element.name.prefix.empty() ? element.name.local
                                                  : element.name.prefix + ":" + element.name.local;
    }

    std::vector<const XmlAttribute*> attributes;
    attributes.reserve(element.attributes.size());
    for (const auto& attribute : element.attributes) {
        attributes.push_back(&attribute);
    }
    if (sort) {
        std::sort(attributes.begin(), attributes.end(), [](const auto* a, const auto* b) {
            return std::tie(a->name.uri, a->name.local) < std::tie(b->name.uri, b->name.local);
        });
    }
    std::vector<std::pair<std::string, const std::string*>> written;
    int generated = 0;
    for (const auto* attribute : attributes) {
        const auto& name = attribute->name;
        std::string qualified;
        if (name.uri.empty()) {
            qualified = name.local;
        } else if (name.uri == kXmlNs) {
            qualified = "xml:" + name.local;
        } else {
            std::string prefix = name.prefix;
            while (prefix.empty() || !bind(prefix, name.uri)) {
                prefix = "ns" + std::to_string(generated++);
            }
            qualified = prefix + ":" + name.local;
        }
        written.emplace_back(std::move(qualified), &attribute->value);
    }

    out += '<';
    out += elementName;
    for (const auto& [prefix, uri] : declarations) {
        out += prefix.empty() ? " xmlns=\"" : " xmlns:" + prefix + "=\"";
        AppendEscapedAttribute(out, uri);
        out += '"';
    }
    for (const auto& [qualified, value] : written) {
        out += ' ';
        out += qualified;
        out += "=\"";
        AppendEscapedAttribute(out, *value);
        out += '"';
    }
    if (element.children.empty() && element.text.empty()) {
        out += "/>";
    } else {
        out += '>';
        AppendEscapedText(out, element.text);
        for (const auto& child : element.children) {
            WriteElement(out, child, scope, sort);
        }
        out += "</";
        out += elementName;
        out += '>';
    }
    scope.bindings.resize(scopeSize);
}

} // namespace

bool IsSpreadsheetMainNs(std::string_view uri) {
    return uri == kSpreadsheetMainNs || uri == kStrictSpreadsheetMainNs;
}

std::string XmlName::qualified() const {
    if (isMain() || prefix.empty()) {
        return local;
    }
    return prefix + ":" + local;
}

const std::string* XmlElement::attribute(std::string_view local) const {
    for (const auto& attribute : attributes) {
        if (attribute.name.uri.empty() && attribute.name.local == local) {
            return &attribute.value;
        }
    }
    return nullptr;
}

std::optional<long long> XmlElement::intAttribute(std::string_view local) const {
    const std::string* value = attribute(local);
    if (value == nullptr) {
        return std::nullopt;
    }
    std::string_view text(*value);
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    long long number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return number;
}

void XmlElement::setAttribute(std::string_view local, std::string value) {
    for (auto& attribute : attributes) {
        if (attribute.name.uri.empty() && attribute.name.local == local) {
            attribute.value = std::move(value);
            return;
        }
    }
    XmlAttribute attribute;
    attribute.name.local = local;
    attribute.value = std::move(value);
    attributes.push_back(std::move(attribute));
}

void XmlElement::removeAttribute(std::string_view local) {
    std::erase_if(attributes, [&](const XmlAttribute& attribute) {
        return attribute.name.uri.empty() && attribute.name.local == local;
    });
}

const XmlElement* XmlElement::child(std::string_view local) const {
    for (const auto& element : children) {
        if (element.name.local == local) {
            return &element;
        }
    }
    return nullptr;
}

XmlElement* XmlElement::child(std::string_view local) {
    return const_cast<XmlElement*>(std::as_const(*this).child(local));
}

void ParseXmlEvents(std::string_view xml, XmlEventHandler& handler, std::string_view fileName,
                    std::string_view partName) {
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(
        XML_ParserCreateNS(nullptr, kNsSeparator));
    if (!parser) {
        throw SpreadsheetError(ErrorCode::Internal,
                               "Out of memory while reading " + QuotedFile(fileName) + ".");
    }
    ExpatState state;
    state.parser = parser.get();
    state.handler = &handler;
    XML_SetUserData(parser.get(), &state);
    XML_SetReturnNSTriplet(parser.get(), XML_TRUE);
    XML_SetElementHandler(parser.get(), OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser.get(), OnCharacters);
    XML_SetStartDoctypeDeclHandler(parser.get(), OnDoctype);
    XML_SetEntityDeclHandler(parser.get(), OnEntityDeclaration);

    // XML_Parse takes an int length: feed large parts in pieces.
    constexpr std::size_t kPiece = std::size_t{1} << 30;
    XML_Status status = XML_STATUS_OK;
    std::size_t offset = 0;
    do {
        const std::size_t length = std::min(kPiece, xml.size() - offset);
        const bool last = offset + length == xml.size();
        status = XML_Parse(parser.get(), xml.data() + offset, static_cast<int>(length),
                           last ? XML_TRUE : XML_FALSE);
        offset += length;
    } while (status == XML_STATUS_OK && offset < xml.size());

    if (state.refusedDeclaration) {
        throw SpreadsheetError(ErrorCode::XmlDeclarationsRefused,
                               QuotedFile(fileName) + " was refused: its part " +
                                   std::string(partName) +
                                   " declares a document type or entities, which workbooks never "
                                   "contain.");
    }
    if (state.tooDeep) {
        ThrowDamaged(ErrorCode::MalformedXml, fileName, partName,
                     "its elements are nested more than " + std::to_string(kMaxXmlDepth) +
                         " levels deep");
    }
    if (status != XML_STATUS_OK) {
        const auto line = XML_GetCurrentLineNumber(parser.get());
        ThrowDamaged(ErrorCode::MalformedXml, fileName, partName,
                     std::string("the XML is not well-formed (") +
                         XML_ErrorString(XML_GetErrorCode(parser.get())) + " at line " +
                         std::to_string(line) + ")");
    }
}

XmlElement ParseXmlTree(std::string_view xml, std::string_view fileName,
                        std::string_view partName) {
    TreeBuilder builder;
    ParseXmlEvents(xml, builder, fileName, partName);
    return builder.take();
}

std::string WriteXml(const XmlElement& element, bool sortAttributes) {
    std::string out;
    AppendXml(out, element, sortAttributes);
    return out;
}

void AppendXml(std::string& out, const XmlElement& element, bool sortAttributes) {
    Scope scope;
    scope.bindings.emplace_back("", std::string(kSpreadsheetMainNs));
    WriteElement(out, element, scope, sortAttributes);
}

// The same escaping as every other part the engine writes.
void AppendEscapedText(std::string& out, std::string_view text) {
    EscapeTextInto(out, text);
}

void AppendEscapedAttribute(std::string& out, std::string_view value) {
    EscapeAttributeInto(out, value);
}

std::string EscapeAttribute(std::string_view value) {
    std::string out;
    AppendEscapedAttribute(out, value);
    return out;
}

} // namespace quillory::spreadsheet::ooxml

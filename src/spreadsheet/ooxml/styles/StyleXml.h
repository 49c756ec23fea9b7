#pragma once
// A small namespace-aware element tree for the workbook-level parts that are read whole and
// rebuilt (styles, theme), plus the escaping every writer of XML text needs.
//
// Elements of the SpreadsheetML main namespace (transitional or strict) are written without a
// prefix; elements and attributes of any other namespace keep their prefix and get a declaration
// where they are written, so a subtree copied from one package stays valid in another.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

inline constexpr std::string_view kSpreadsheetMainNs =
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr std::string_view kStrictSpreadsheetMainNs =
    "http://purl.oclc.org/ooxml/spreadsheetml/main";
inline constexpr std::string_view kXmlNs = "http://www.w3.org/XML/1998/namespace";
// The extension namespaces of later spreadsheet versions (slicers, timelines, controls...).
inline constexpr std::string_view kX14Ns =
    "http://schemas.microsoft.com/office/spreadsheetml/2009/9/main";
inline constexpr std::string_view kX15Ns =
    "http://schemas.microsoft.com/office/spreadsheetml/2010/11/main";
inline constexpr std::string_view kMarkupCompatibilityNs =
    "http://schemas.openxmlformats.org/markup-compatibility/2006";

// True for both the transitional and the strict SpreadsheetML namespace.
bool IsSpreadsheetMainNs(std::string_view uri);

struct XmlName {
    std::string uri;    // empty: no namespace
    std::string local;  // name without prefix
    std::string prefix; // prefix as written in the source (empty for none)

    // Written form: "local" for the main namespace and unqualified names, else "prefix:local".
    std::string qualified() const;
    bool isMain() const { return IsSpreadsheetMainNs(uri); }
};

struct XmlAttribute {
    XmlName name;
    std::string value;
};

struct XmlElement {
    XmlName name;
    std::vector<XmlAttribute> attributes;
    std::vector<XmlElement> children;
    std::string text; // character data directly inside (styles and themes have no mixed content)

    // Attribute without a namespace (the usual SpreadsheetML attribute).
    const std::string* attribute(std::string_view local) const;
    std::optional<long long> intAttribute(std::string_view local) const;
    void setAttribute(std::string_view local, std::string value);
    void removeAttribute(std::string_view local);
    // First child with this local name (any namespace), or nullptr.
    const XmlElement* child(std::string_view local) const;
    XmlElement* child(std::string_view local);
};

// Receives the events of a streaming parse; names come with their namespace resolved.
class XmlEventHandler {
public:
    virtual ~XmlEventHandler() = default;
    virtual void startElement(XmlName name, std::vector<XmlAttribute> attributes) = 0;
    virtual void endElement() = 0;
    virtual void characters(std::string_view text) = 0;
};

// Streams a whole document through handler. Refuses DOCTYPE and entity declarations and nesting
// deeper than kMaxXmlDepth; errors are SpreadsheetError naming fileName and partName.
void ParseXmlEvents(std::string_view xml, XmlEventHandler& handler, std::string_view fileName,
                    std::string_view partName);

// Parses a whole document. Refuses DOCTYPE and entity declarations; errors are
// SpreadsheetError naming fileName and partName.
XmlElement ParseXmlTree(std::string_view xml, std::string_view fileName, std::string_view partName);

// Serializes an element and its subtree. Namespace declarations are added where an element or
// attribute of a non-main namespace needs one; main-namespace elements assume the default
// namespace is the SpreadsheetML one. With sortAttributes the output is a canonical key.
std::string WriteXml(const XmlElement& element, bool sortAttributes = false);
void AppendXml(std::string& out, const XmlElement& element, bool sortAttributes = false);

// Escaping for character data and attribute values. Carriage returns, tabs and newlines in
// attribute values are written as character references so that they survive normalisation.
void AppendEscapedText(std::string& out, std::string_view text);
void AppendEscapedAttribute(std::string& out, std::string_view value);
std::string EscapeAttribute(std::string_view value);

} // namespace quillory::spreadsheet::ooxml

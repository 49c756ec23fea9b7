#pragma once
// XML on expat: a streaming parser for large parts (worksheets) and a small element tree for the
// small ones (workbook, relationships, content types, tables). Documents with a DTD or entity
// declarations are refused outright, so no entity is ever expanded. Names are kept as written
// (prefix:local), without namespace processing, so that a rewrite keeps the part lexically
// intact.

#include "spreadsheet/SpreadsheetError.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillory::spreadsheet::ooxml {

class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    // attributes: name, value, name, value, ..., nullptr (expat's layout).
    virtual void startElement(const char* name, const char** attributes) = 0;
    virtual void endElement(const char* name) = 0;
    virtual void characters(std::string_view text) = 0;
};

class XmlScanner;

// Which reader a stream parser starts with: the purpose-built scanner (expat takes over for
// documents in encodings other than UTF-8), or expat alone.
enum class XmlBackend { Scanner, Expat };

// Feeds chunks of one part to a handler. Failures throw SpreadsheetError naming the file and part.
class XmlStreamParser {
public:
    XmlStreamParser(XmlHandler& handler, std::string fileName, std::string partName,
                    XmlBackend backend = XmlBackend::Scanner);
    ~XmlStreamParser();
    XmlStreamParser(const XmlStreamParser&) = delete;
    XmlStreamParser& operator=(const XmlStreamParser&) = delete;

    void feed(std::string_view chunk);
    void finish();

    struct State; // expat's user data, defined in the implementation

private:
    void startExpat();
    void feedExpat(std::string_view chunk);
    void switchToExpat();
    void parse(const char* data, int size, bool last);
    std::unique_ptr<State> state_;
    std::unique_ptr<XmlScanner> scanner_;
};

// The refusals both readers share.
SpreadsheetError NestedTooDeeplyError(std::string_view fileName, std::string_view partName);
SpreadsheetError DeclarationsRefusedError(std::string_view fileName, std::string_view partName);

// The part after the prefix: "x:row" -> "row".
std::string_view LocalName(std::string_view qualifiedName);

// One element node of a small tree; text runs are kept as children in document order.
struct XmlNode {
    std::string name; // qualified, as written; empty for a text node
    std::string text; // text of a text node
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<XmlNode> children;

    bool isText() const { return name.empty(); }
    std::string_view localName() const { return LocalName(name); }
    // Attribute by qualified name, or by local name when `name` has no prefix and no exact match.
    const std::string* attribute(std::string_view attributeName) const;
    std::string attributeOr(std::string_view attributeName, std::string fallback) const;
    void setAttribute(std::string_view attributeName, std::string value);
    void removeAttribute(std::string_view attributeName);
    // Child elements by local name.
    const XmlNode* child(std::string_view local) const;
    XmlNode* child(std::string_view local);
    std::vector<const XmlNode*> childrenNamed(std::string_view local) const;
    std::vector<XmlNode*> childrenNamed(std::string_view local);
    // Concatenated text of the direct text children.
    std::string textContent() const;
    void setTextContent(std::string text);
};

// Parses a whole (small) part into a tree and returns its root element.
XmlNode ParseXmlTree(std::string_view xml, const std::string& fileName,
                     const std::string& partName);

// The same for a part that is written back from its tree: the part must also read with
// namespaces, as every reader of the result reads it (each prefix declared where used, at most
// one colon in a name), which ParseXmlTree, keeping names as written, does not check.
XmlNode ParseNamespacedXmlTree(std::string_view xml, const std::string& fileName,
                               const std::string& partName);

// Escaping for writing.
void EscapeTextInto(std::string& out, std::string_view text);
void EscapeAttributeInto(std::string& out, std::string_view value);
// The same into a buffer with room for kMaxEscapedBytesPerChar bytes per input byte; return the
// end of what was written.
inline constexpr std::size_t kMaxEscapedBytesPerChar = 6; // '"' -> "&quot;"
char* EscapeTextTo(char* out, std::string_view text);
char* EscapeAttributeTo(char* out, std::string_view value);
// <name a="v" ...> without children ("/>" when selfClose).
void AppendStartTag(std::string& out, std::string_view name,
                    const std::vector<std::pair<std::string, std::string>>& attributes,
                    bool selfClose);
// The node and its subtree.
void AppendNode(std::string& out, const XmlNode& node);
std::string SerializeNode(const XmlNode& node);

inline constexpr std::string_view kXmlDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

} // namespace quillory::spreadsheet::ooxml

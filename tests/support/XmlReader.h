#pragma once
// A small expat-based XML reader for the test support code, independent of the engine's own
// parser: a document becomes a tree of elements. Names carry their namespace URI; documents with a
// DTD or entity declarations are refused, never expanded.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::testing {

struct XmlName {
    std::string ns;    // namespace URI, empty when none
    std::string local; // local name
};

struct XmlAttribute {
    XmlName name;
    std::string value;
};

struct XmlElement {
    XmlName name;
    std::vector<XmlAttribute> attributes;
    std::vector<std::unique_ptr<XmlElement>> children;
    std::string text; // the character data directly inside the element

    // The value of an attribute without namespace (or of the given namespace), or nullptr.
    const std::string* attribute(std::string_view local, std::string_view ns = {}) const;
    // The first child with that local name, or nullptr.
    const XmlElement* child(std::string_view local) const;
    std::vector<const XmlElement*> childrenNamed(std::string_view local) const;
    // Every element of the subtree (this one included), in document order.
    void forEach(const std::function<void(const XmlElement&)>& visit) const;
};

// Parses bytes into a tree; throws std::runtime_error naming the reason (malformed XML, DTD or
// entity declarations).
std::unique_ptr<XmlElement> parseXmlTree(std::string_view bytes);

} // namespace quillory::testing

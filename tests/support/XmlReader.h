#pragma once
// A small expat-based XML reader for the test support code, independent of the engine's own
// parser. Names carry their namespace URI; documents with a DTD or entity declarations are
// refused, never expanded.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
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

    // The value of an attribute without namespace (or of the given namespace), or nullptr.
    const std::string* attribute(std::string_view local, std::string_view ns = {}) const;
    // The first child with that local name, or nullptr.
    const XmlElement* child(std::string_view local) const;
    std::vector<const XmlElement*> childrenNamed(std::string_view local) const;
    // Every element of the subtree (this one included), in document order.
    void forEach(const std::function<void(const XmlElement&)>& visit) const;
};

// Streaming callbacks: depth is 0 for the root element.
struct XmlHandler {
    std::function<void(const XmlName&, const std::vector<XmlAttribute>&, int depth)> start;
    std::function<void(const XmlName&, int depth)> end;
    std::function<void(std::string_view, int depth)> text; // depth of the enclosing element
};

// Parses bytes with the handler; throws std::runtime_error naming the reason (malformed XML,
// DTD or entity declarations).
void parseXml(std::string_view bytes, const XmlHandler& handler);

// Parses bytes into a tree; throws as parseXml.
std::unique_ptr<XmlElement> parseXmlTree(std::string_view bytes);

} // namespace quillory::testing

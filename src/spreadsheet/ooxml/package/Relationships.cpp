#include "spreadsheet/ooxml/package/Relationships.h"

#include "spreadsheet/ooxml/PackageError.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <algorithm>
#include <cctype>

namespace quillory::spreadsheet::ooxml {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

} // namespace

bool IsRelationshipIdAttribute(std::string_view name) {
    const auto colon = name.find(':');
    return colon != std::string_view::npos && name.substr(colon + 1) == "id" &&
           name.substr(0, colon) != "xmlns";
}

std::string_view RelationshipKind(std::string_view type) {
    const auto slash = type.rfind('/');
    return slash == std::string_view::npos ? type : type.substr(slash + 1);
}

std::string RelationshipsPartFor(std::string_view partName) {
    const std::string_view folder = PartFolder(partName);
    const std::string_view file = partName.substr(folder.size());
    return std::string(folder) + "_rels/" + std::string(file) + ".rels";
}

std::string RelationshipsXml(const std::vector<Relationship>& rels) {
    std::string xml(kXmlDeclaration);
    xml += "<Relationships xmlns=\"";
    xml += kPackageRelationshipNamespace;
    xml += "\">";
    for (const auto& rel : rels) {
        std::vector<std::pair<std::string, std::string>> attributes = {
            {"Id", rel.id}, {"Type", rel.type}, {"Target", rel.target}};
        if (rel.external) {
            attributes.emplace_back("TargetMode", "External");
        }
        AppendStartTag(xml, "Relationship", attributes, true);
    }
    xml += "</Relationships>";
    return xml;
}

std::string_view PartFolder(std::string_view partName) {
    const auto slash = partName.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : partName.substr(0, slash + 1);
}

std::string ResolveTarget(std::string_view sourcePartName, std::string_view target) {
    std::string decoded = PercentDecoded(target);
    std::replace(decoded.begin(), decoded.end(), '\\', '/');
    if (const auto hash = decoded.find('#'); hash != std::string::npos) {
        decoded.erase(hash);
    }
    if (decoded.empty()) {
        return {};
    }
    std::string joined;
    if (decoded.front() == '/') {
        joined = decoded.substr(1);
    } else {
        joined = std::string(PartFolder(sourcePartName)) + decoded;
    }
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= joined.size()) {
        const auto slash = joined.find('/', start);
        const auto end = slash == std::string::npos ? joined.size() : slash;
        const std::string segment = joined.substr(start, end - start);
        if (segment == "..") {
            if (!segments.empty()) {
                segments.pop_back();
            }
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    std::string result;
    for (const auto& segment : segments) {
        if (!result.empty()) {
            result += '/';
        }
        result += segment;
    }
    return result;
}

std::string RelativeTarget(std::string_view fromPart, std::string_view toPart) {
    const std::string_view fromFolder = PartFolder(fromPart);
    // Common leading folders.
    std::size_t common = 0;
    for (std::size_t i = 0; i < fromFolder.size() && i < toPart.size(); ++i) {
        if (fromFolder[i] != toPart[i]) {
            break;
        }
        if (fromFolder[i] == '/') {
            common = i + 1;
        }
    }
    std::string result;
    const std::string_view remainingFrom = fromFolder.substr(common);
    for (char c : remainingFrom) {
        if (c == '/') {
            result += "../";
        }
    }
    result += toPart.substr(common);
    return result;
}

Relationships Relationships::Parse(std::string_view relsXml, std::string_view sourcePartName,
                                   const std::string& fileName) {
    const std::string relsPart = RelationshipsPartFor(sourcePartName);
    const XmlNode root = ParseXmlTree(relsXml, fileName, relsPart);
    if (root.localName() != "Relationships") {
        ThrowDamaged(ErrorCode::NotAWorkbook, fileName, relsPart,
                     "a relationships part holds something else");
    }
    Relationships result;
    for (const XmlNode* node : root.childrenNamed("Relationship")) {
        Relationship rel;
        rel.id = node->attributeOr("Id", "");
        rel.type = node->attributeOr("Type", "");
        rel.target = node->attributeOr("Target", "");
        std::string mode = node->attributeOr("TargetMode", "");
        rel.external = mode == "External";
        if (!rel.external) {
            rel.partName = ResolveTarget(sourcePartName, rel.target);
        }
        if (result.byId(rel.id) != nullptr) {
            // An id used twice (a damaged part) points at its first relationship, as byId
            // finds it: the later ones are reached by nothing.
            continue;
        }
        result.relationships_.push_back(std::move(rel));
    }
    return result;
}

const Relationship* Relationships::byId(std::string_view id) const {
    for (const auto& rel : relationships_) {
        if (rel.id == id) {
            return &rel;
        }
    }
    return nullptr;
}

const Relationship* Relationships::firstOfKind(std::string_view kind) const {
    for (const auto& rel : relationships_) {
        if (RelationshipKind(rel.type) == kind) {
            return &rel;
        }
    }
    return nullptr;
}

} // namespace quillory::spreadsheet::ooxml

#include "spreadsheet/ooxml/package/ContentTypes.h"

#include "spreadsheet/ooxml/PackageError.h"
#include "spreadsheet/ooxml/package/ZipReader.h"
#include "spreadsheet/ooxml/xml/Xml.h"

namespace quillory::spreadsheet::ooxml {

namespace {

std::string Extension(std::string_view partName) {
    const auto slash = partName.rfind('/');
    const auto dot = partName.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return {};
    }
    return FoldPartName(partName.substr(dot + 1));
}

std::string WithoutLeadingSlash(std::string_view name) {
    while (!name.empty() && name.front() == '/') {
        name.remove_prefix(1);
    }
    return std::string(name);
}

} // namespace

ContentTypes ContentTypes::Parse(std::string_view xml, const std::string& fileName) {
    const XmlNode root = ParseXmlTree(xml, fileName, std::string(kContentTypesPartName));
    if (root.localName() != "Types") {
        ThrowDamaged(ErrorCode::NotAWorkbook, fileName, kContentTypesPartName,
                     "the list of content types is missing");
    }
    ContentTypes types;
    for (const auto& node : root.children) {
        if (node.isText()) {
            continue;
        }
        if (node.localName() == "Default") {
            types.defaults_[FoldPartName(node.attributeOr("Extension", ""))] =
                node.attributeOr("ContentType", "");
        } else if (node.localName() == "Override") {
            types.overrides_[FoldPartName(WithoutLeadingSlash(node.attributeOr("PartName", "")))] =
                node.attributeOr("ContentType", "");
        }
    }
    return types;
}

std::string ContentTypes::typeOf(std::string_view partName) const {
    if (const auto o = overrides_.find(FoldPartName(WithoutLeadingSlash(partName)));
        o != overrides_.end()) {
        return o->second;
    }
    if (const auto d = defaults_.find(Extension(partName)); d != defaults_.end()) {
        return d->second;
    }
    return {};
}

ContentTypesWriter::ContentTypesWriter() {
    addDefault("rels", content_type::kRelationships);
    addDefault("xml", content_type::kXml);
}

void ContentTypesWriter::addDefault(std::string_view extension, std::string_view type) {
    const std::string folded = FoldPartName(extension);
    for (const auto& [existing, existingType] : defaults_) {
        if (existing == folded) {
            return;
        }
    }
    defaults_.emplace_back(folded, std::string(type));
}

void ContentTypesWriter::addOverride(std::string_view partName, std::string_view type) {
    overrides_.emplace_back("/" + WithoutLeadingSlash(partName), std::string(type));
}

std::string ContentTypesWriter::toXml() const {
    std::string out(kXmlDeclaration);
    out += "<Types xmlns=\"";
    out += kContentTypesNamespace;
    out += "\">";
    for (const auto& [extension, type] : defaults_) {
        AppendStartTag(out, "Default", {{"Extension", extension}, {"ContentType", type}}, true);
    }
    for (const auto& [part, type] : overrides_) {
        AppendStartTag(out, "Override", {{"PartName", part}, {"ContentType", type}}, true);
    }
    out += "</Types>";
    return out;
}

} // namespace quillory::spreadsheet::ooxml

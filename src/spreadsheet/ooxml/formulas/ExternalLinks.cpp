#include "spreadsheet/ooxml/formulas/ExternalLinks.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kLinkRelationshipIdPrefix = "rIdExternalLink";
constexpr std::string_view kResultLinkFolder = "xl/externalLinks/externalLink";

// Characters kept as they are in a file URI path; the rest is percent-encoded.
bool UnreservedInPath(unsigned char c) {
    return std::isalnum(c) != 0 || c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
}

std::string PercentEncodePath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (UnreservedInPath(c)) {
            encoded += ch;
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0x0F];
        }
    }
    return encoded;
}

} // namespace

std::vector<std::string> ExternalLinkParts(const SourcePackage& package) {
    std::vector<std::string> parts;
    const XmlNode workbook = ParseXmlTree(package.readPart(package.workbookPartName()),
                                          package.displayName(), package.workbookPartName());
    const XmlNode* references = workbook.child("externalReferences");
    if (references == nullptr) {
        return parts;
    }
    for (const XmlNode* reference : references->childrenNamed("externalReference")) {
        std::string part;
        for (const auto& [key, value] : reference->attributes) {
            if (IsRelationshipIdAttribute(key)) {
                const Relationship* rel = package.workbookRelationships().byId(value);
                if (rel != nullptr && !rel->external && package.zip().contains(rel->partName)) {
                    part = rel->partName;
                }
            }
        }
        parts.push_back(part); // empty: a reference to a missing part still takes its number
    }
    return parts;
}

std::string FileUri(std::string_view absolutePath) {
    return "file://" + PercentEncodePath(absolutePath);
}

namespace {

// The folder of `sourcePath` and `target` with forward slashes, when `target` is a relative path.
std::optional<std::pair<std::string, std::string>> RelativeToSource(std::string_view target,
                                                                    std::string_view sourcePath) {
    const bool hasScheme = target.find(':') != std::string_view::npos; // also a drive letter
    const bool absolute = target.starts_with("/") || target.starts_with("\\");
    if (target.empty() || hasScheme || absolute || !sourcePath.starts_with("/")) {
        return std::nullopt;
    }
    std::string relative(target);
    std::replace(relative.begin(), relative.end(), '\\', '/'); // written on Windows
    return std::make_pair(std::filesystem::path(sourcePath).parent_path().string(), relative);
}

} // namespace

std::string AnchoredLinkTarget(std::string_view target, std::string_view sourcePath) {
    const auto relative = RelativeToSource(target, sourcePath);
    if (!relative) {
        return std::string(target);
    }
    return "file://" + PercentEncodePath(relative->first) + "/" + relative->second;
}

std::string AnchoredFilePath(std::string_view path, std::string_view sourcePath) {
    const auto relative = RelativeToSource(path, sourcePath);
    return relative ? relative->first + "/" + relative->second : std::string(path);
}

std::optional<ResultExternalLinks::Link> ResultExternalLinks::load(const SourcePackage& package,
                                                                   int sourceNumber) const {
    const auto parts = sourceParts_.find(package.identity());
    if (parts == sourceParts_.end() || sourceNumber < 1 ||
        static_cast<std::size_t>(sourceNumber) > parts->second.size()) {
        return std::nullopt;
    }
    const std::string& part = parts->second[static_cast<std::size_t>(sourceNumber - 1)];
    if (part.empty()) {
        return std::nullopt;
    }
    Link link;
    link.bytes = TransitionalXml(package.readPart(part));
    const Relationships relationships = package.relationshipsOf(part);
    for (Relationship rel : relationships.all()) {
        // A link that points into its own package (not another file) has nothing to carry it.
        if (!rel.external) {
            return std::nullopt;
        }
        rel.type = TransitionalUri(rel.type);
        rel.target = AnchoredLinkTarget(rel.target, package.identity());
        link.relationships.push_back(std::move(rel));
    }
    return link;
}

std::optional<int> ResultExternalLinks::number(const SourcePackage& package, int sourceNumber) {
    const auto key = std::make_pair(package.identity(), sourceNumber);
    if (const auto known = numbers_.find(key); known != numbers_.end()) {
        return known->second;
    }
    if (sourceParts_.count(package.identity()) == 0) {
        try {
            sourceParts_[package.identity()] = ExternalLinkParts(package);
        } catch (const SpreadsheetError&) {
            sourceParts_[package.identity()] = {};
        }
    }
    std::optional<int> result;
    std::optional<Link> link;
    try {
        link = load(package, sourceNumber);
    } catch (const SpreadsheetError&) {
        link.reset(); // a damaged link part: the formulas keep their values
    }
    if (link) {
        // Two sources linking to the same file with the same cached values share one link.
        for (std::size_t i = 0; i < links_.size(); ++i) {
            const Link& other = links_[i];
            const bool sameRelationships = std::equal(
                other.relationships.begin(), other.relationships.end(), link->relationships.begin(),
                link->relationships.end(), [](const Relationship& a, const Relationship& b) {
                    return a.id == b.id && a.type == b.type && a.target == b.target;
                });
            if (other.bytes == link->bytes && sameRelationships) {
                result = static_cast<int>(i) + 1;
            }
        }
        if (!result) {
            links_.push_back(std::move(*link));
            result = static_cast<int>(links_.size());
        }
    }
    numbers_[key] = result;
    return result;
}

std::string ResultExternalLinks::partName(std::size_t index) {
    return std::string(kResultLinkFolder) + std::to_string(index + 1) + ".xml";
}

std::string ResultExternalLinks::relationshipId(std::size_t index) {
    return std::string(kLinkRelationshipIdPrefix) + std::to_string(index + 1);
}

void ResultExternalLinks::write(ZipWriter& zip, ContentTypesWriter& types) const {
    for (std::size_t i = 0; i < links_.size(); ++i) {
        const std::string part = partName(i);
        zip.addEntry(part, links_[i].bytes);
        types.addOverride(part, kExternalLinkContentType);
        if (links_[i].relationships.empty()) {
            continue;
        }
        std::string rels(kXmlDeclaration);
        rels += "<Relationships xmlns=\"";
        rels += kPackageRelationshipNamespace;
        rels += "\">";
        for (const auto& rel : links_[i].relationships) {
            AppendStartTag(rels, "Relationship",
                           {{"Id", rel.id},
                            {"Type", rel.type},
                            {"Target", rel.target},
                            {"TargetMode", "External"}},
                           true);
        }
        rels += "</Relationships>";
        zip.addEntry(RelationshipsPartFor(part), rels);
    }
}

std::string ResultExternalLinks::referencesXml() const {
    if (links_.empty()) {
        return {};
    }
    std::string xml = "<externalReferences>";
    for (std::size_t i = 0; i < links_.size(); ++i) {
        AppendStartTag(xml, "externalReference", {{"r:id", relationshipId(i)}}, true);
    }
    xml += "</externalReferences>";
    return xml;
}

} // namespace quillory::spreadsheet::ooxml

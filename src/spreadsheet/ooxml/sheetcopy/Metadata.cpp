#include "spreadsheet/ooxml/sheetcopy/Metadata.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kMainNamespace =
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kDynamicArrayPrefix = "xda";
constexpr std::string_view kDynamicArrayNamespace =
    "http://schemas.microsoft.com/office/spreadsheetml/2017/dynamicarray";

// Kinds of future metadata whose blocks say everything themselves (no rich-value parts, no
// connection behind them), so they can be carried as they are.
constexpr std::string_view kSelfContainedTypes[] = {kDynamicArrayMetadataType};

bool SelfContained(std::string_view typeName) {
    return std::find(std::begin(kSelfContainedTypes), std::end(kSelfContainedTypes), typeName) !=
           std::end(kSelfContainedTypes);
}

std::optional<int> ParseNumber(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string_view PrefixOf(std::string_view qualified) {
    const auto colon = qualified.find(':');
    return colon == std::string_view::npos ? std::string_view() : qualified.substr(0, colon);
}

void CollectPrefixes(const XmlNode& node, std::set<std::string>& prefixes) {
    if (node.isText()) {
        return;
    }
    prefixes.insert(std::string(PrefixOf(node.name)));
    for (const auto& [key, value] : node.attributes) {
        const std::string_view prefix = PrefixOf(key);
        if (!prefix.empty() && prefix != "xmlns" && prefix != "xml") {
            prefixes.insert(std::string(prefix));
        }
    }
    for (const auto& child : node.children) {
        CollectPrefixes(child, prefixes);
    }
}

// The result root's prefix for a namespace it declares, or nullopt.
std::optional<std::string_view> ResultRootPrefix(std::string_view uri) {
    if (uri == kMainNamespace) {
        return std::string_view();
    }
    if (uri == kDynamicArrayNamespace) {
        return kDynamicArrayPrefix;
    }
    return std::nullopt;
}

using Scope = std::vector<std::pair<std::string, std::string>>; // xmlns[:p] -> URI

std::string PrefixOfDeclaration(std::string_view key) {
    return key == "xmlns" ? std::string() : std::string(key.substr(6));
}

std::optional<std::string> UriOf(const Scope& scope, std::string_view prefix) {
    const std::string key = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    for (auto it = scope.rbegin(); it != scope.rend(); ++it) {
        if (it->first == key) {
            return TransitionalUri(it->second);
        }
    }
    return std::nullopt;
}

// Names written under a namespace the result's root declares take the root's prefix, and their
// own declarations go, so that one block reads alike whatever prefixes its source chose.
void NormalizePrefixes(XmlNode& node, Scope scope) {
    for (const auto& [key, value] : node.attributes) {
        if (key == "xmlns" || key.starts_with("xmlns:")) {
            scope.emplace_back(key, value);
        }
    }
    const auto rename = [&](std::string& name, bool element) {
        const std::string_view prefix = PrefixOf(name);
        if (prefix.empty() && !element) {
            return; // an attribute without a prefix is in no namespace
        }
        const auto uri = UriOf(scope, prefix);
        const auto rootPrefix = uri ? ResultRootPrefix(*uri) : std::nullopt;
        if (!rootPrefix || (rootPrefix->empty() && !element)) {
            return;
        }
        const std::string local(LocalName(name));
        name = rootPrefix->empty() ? local : std::string(*rootPrefix) + ":" + local;
    };
    rename(node.name, true);
    for (auto& attribute : node.attributes) {
        if (attribute.first != "xmlns" && !attribute.first.starts_with("xmlns:")) {
            rename(attribute.first, false);
        }
    }
    std::erase_if(node.attributes, [](const auto& attribute) {
        return (attribute.first == "xmlns" || attribute.first.starts_with("xmlns:")) &&
               ResultRootPrefix(TransitionalUri(attribute.second)).has_value();
    });
    for (auto& child : node.children) {
        if (!child.isText()) {
            NormalizePrefixes(child, scope);
        }
    }
}

// The block with the declarations it still needs from its ancestors in the source, so that it
// reads the same under the result's root.
std::string SerializeBlock(XmlNode block, const Scope& ancestors) {
    NormalizePrefixes(block, ancestors);
    std::set<std::string> used;
    CollectPrefixes(block, used);
    Scope declarations;
    for (const auto& declaration : ancestors) {
        const std::string& key = declaration.first;
        const std::string& uri = declaration.second;
        const std::string prefix = PrefixOfDeclaration(key);
        const std::string mapped = TransitionalUri(uri);
        if (used.count(prefix) == 0 || ResultRootPrefix(mapped).has_value() ||
            block.attribute(key) != nullptr ||
            std::any_of(declarations.begin(), declarations.end(),
                        [&](const auto& entry) { return entry.first == key; })) {
            continue;
        }
        declarations.emplace_back(key, mapped);
    }
    block.attributes.insert(block.attributes.begin(), declarations.begin(), declarations.end());
    return SerializeNode(block);
}

// Namespace declarations of an element, later ones overriding earlier ones of the same prefix.
void AddDeclarations(const XmlNode& node, std::vector<std::pair<std::string, std::string>>& scope) {
    for (const auto& attribute : node.attributes) {
        const std::string& key = attribute.first;
        if (key == "xmlns" || key.starts_with("xmlns:")) {
            std::erase_if(scope, [&](const auto& entry) { return entry.first == key; });
            scope.emplace_back(key, attribute.second);
        }
    }
}

std::vector<SourceMetadata::Record> ReadBlock(const XmlNode& block) {
    std::vector<SourceMetadata::Record> records;
    for (const XmlNode* record : block.childrenNamed("rc")) {
        const auto type = ParseNumber(record->attributeOr("t", ""));
        const auto value = ParseNumber(record->attributeOr("v", ""));
        // A record that cannot be read marks the block as not carried (type 0 exists nowhere).
        records.push_back({type.value_or(0), value.value_or(-1)});
    }
    return records;
}

} // namespace

SourceMetadata SourceMetadata::parse(std::string_view xml, const std::string& fileName,
                                     const std::string& partName) {
    const XmlNode root = ParseXmlTree(xml, fileName, partName);
    SourceMetadata metadata;
    std::vector<std::pair<std::string, std::string>> rootScope;
    AddDeclarations(root, rootScope);
    for (const auto& child : root.children) {
        if (child.isText()) {
            continue;
        }
        const std::string_view local = child.localName();
        if (local == "metadataTypes") {
            for (const XmlNode* type : child.childrenNamed("metadataType")) {
                metadata.types_.push_back({type->attributeOr("name", ""), type->attributes});
            }
        } else if (local == "futureMetadata") {
            auto scope = rootScope;
            AddDeclarations(child, scope);
            auto& blocks = metadata.futureBlocks_[child.attributeOr("name", "")];
            for (const auto& block : child.children) {
                if (!block.isText() && block.localName() == "bk") {
                    blocks.push_back(SerializeBlock(block, scope));
                }
            }
        } else if (local == "cellMetadata" || local == "valueMetadata") {
            auto& blocks = local == "cellMetadata" ? metadata.cellBlocks_ : metadata.valueBlocks_;
            for (const XmlNode* block : child.childrenNamed("bk")) {
                blocks.push_back(ReadBlock(*block));
            }
        }
    }
    return metadata;
}

SourceMetadata ReadSourceMetadata(const SourcePackage& package) {
    const auto part = package.workbookPart(kMetadataRelationshipKind);
    if (!part) {
        return {};
    }
    try {
        return SourceMetadata::parse(package.readPart(*part), package.displayName(), *part);
    } catch (const SpreadsheetError&) {
        return {};
    }
}

std::unique_ptr<ResultMetadata::Importer>
ResultMetadata::importerFor(const SourceMetadata& source) {
    return std::unique_ptr<Importer>(new Importer(*this, source));
}

std::optional<int> ResultMetadata::Importer::cellMetadata(std::string_view sourceNumber) {
    return map(sourceNumber, source_.cellBlocks_, result_.cellBlocks_, cellCache_);
}

std::optional<int> ResultMetadata::Importer::valueMetadata(std::string_view sourceNumber) {
    return map(sourceNumber, source_.valueBlocks_, result_.valueBlocks_, valueCache_);
}

std::optional<int> ResultMetadata::Importer::map(std::string_view sourceNumber,
                                                 const std::vector<SourceMetadata::Block>& blocks,
                                                 BlockList& resultBlocks,
                                                 std::map<int, std::optional<int>>& cache) {
    const auto number = ParseNumber(sourceNumber);
    if (!number || *number < 1 || static_cast<std::size_t>(*number) > blocks.size()) {
        return std::nullopt;
    }
    if (const auto cached = cache.find(*number); cached != cache.end()) {
        return cached->second;
    }
    const SourceMetadata::Block& block = blocks[static_cast<std::size_t>(*number - 1)];
    std::optional<int> mapped;
    // Check the whole block before adding anything to the result.
    bool carriable = !block.empty();
    for (const auto& record : block) {
        if (record.type < 1 || static_cast<std::size_t>(record.type) > source_.types_.size()) {
            carriable = false;
            break;
        }
        const auto& type = source_.types_[static_cast<std::size_t>(record.type - 1)];
        const auto future = source_.futureBlocks_.find(type.name);
        if (!SelfContained(type.name) || future == source_.futureBlocks_.end() ||
            record.value < 0 || static_cast<std::size_t>(record.value) >= future->second.size()) {
            carriable = false;
            break;
        }
    }
    if (carriable) {
        SourceMetadata::Block resultBlock;
        for (const auto& record : block) {
            const auto& type = source_.types_[static_cast<std::size_t>(record.type - 1)];
            const std::string& serialized =
                source_.futureBlocks_.at(type.name)[static_cast<std::size_t>(record.value)];
            resultBlock.push_back(
                {result_.typeNumber(type), result_.futureBlock(type.name, serialized)});
        }
        std::vector<std::pair<int, int>> key;
        for (const auto& record : resultBlock) {
            key.emplace_back(record.type, record.value);
        }
        const auto [found, added] = resultBlocks.numbers.emplace(
            std::move(key), static_cast<int>(resultBlocks.blocks.size()) + 1);
        if (added) {
            resultBlocks.blocks.push_back(std::move(resultBlock));
        }
        mapped = found->second;
    }
    cache[*number] = mapped;
    return mapped;
}

int ResultMetadata::typeNumber(const SourceMetadata::Type& type) {
    for (std::size_t i = 0; i < types_.size(); ++i) {
        if (types_[i].name == type.name) {
            return static_cast<int>(i) + 1;
        }
    }
    types_.push_back(type);
    return static_cast<int>(types_.size());
}

int ResultMetadata::futureBlock(const std::string& typeName, const std::string& block) {
    auto& blocks = futureBlocks_[typeName];
    const auto [found, added] =
        futureIndex_.emplace(std::make_pair(typeName, block), static_cast<int>(blocks.size()));
    if (added) {
        blocks.push_back(block);
    }
    return found->second;
}

std::string ResultMetadata::toXml() const {
    std::string xml(kXmlDeclaration);
    xml += "<metadata xmlns=\"";
    xml += kMainNamespace;
    xml += "\" xmlns:";
    xml += kDynamicArrayPrefix;
    xml += "=\"";
    xml += kDynamicArrayNamespace;
    xml += "\">";
    xml += "<metadataTypes count=\"" + std::to_string(types_.size()) + "\">";
    for (const auto& type : types_) {
        std::vector<std::pair<std::string, std::string>> attributes;
        for (const auto& attribute : type.attributes) {
            if (attribute.first != "xmlns" && !attribute.first.starts_with("xmlns:")) {
                attributes.push_back(attribute);
            }
        }
        AppendStartTag(xml, "metadataType", attributes, true);
    }
    xml += "</metadataTypes>";
    // Future metadata in the order of the types that own it.
    for (const auto& type : types_) {
        const auto blocks = futureBlocks_.find(type.name);
        if (blocks == futureBlocks_.end()) {
            continue;
        }
        AppendStartTag(xml, "futureMetadata",
                       {{"name", type.name}, {"count", std::to_string(blocks->second.size())}},
                       false);
        for (const auto& block : blocks->second) {
            xml += block;
        }
        xml += "</futureMetadata>";
    }
    const auto writeBlocks = [&](std::string_view element, const BlockList& list) {
        if (list.blocks.empty()) {
            return;
        }
        AppendStartTag(xml, element, {{"count", std::to_string(list.blocks.size())}}, false);
        for (const auto& block : list.blocks) {
            xml += "<bk>";
            for (const auto& record : block) {
                xml += "<rc t=\"" + std::to_string(record.type) + "\" v=\"" +
                       std::to_string(record.value) + "\"/>";
            }
            xml += "</bk>";
        }
        xml += "</";
        xml += element;
        xml += '>';
    };
    writeBlocks("cellMetadata", cellBlocks_);
    writeBlocks("valueMetadata", valueBlocks_);
    xml += "</metadata>";
    return xml;
}

} // namespace quillory::spreadsheet::ooxml

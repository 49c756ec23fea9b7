#include "spreadsheet/ooxml/objects/Connections.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/UniqueNames.h"
#include "spreadsheet/ooxml/formulas/ExternalLinks.h"
#include "spreadsheet/ooxml/package/ZipReader.h"

#include <algorithm>
#include <cstdlib>

namespace quillory::spreadsheet::ooxml {

namespace {

// Connection types whose whole definition is in the connection itself: ODBC, DAO, a file, the
// web, OLE DB (not a cube: checked apart) and text files.
constexpr int kFirstPlainType = 1;
constexpr int kLastPlainType = 6;
// A connection string naming the package itself: the query lives inside the source workbook.
constexpr std::string_view kInsideWorkbookSource = "$Workbook$";
// A second "Sales" becomes "Sales 2".
constexpr NumberedSuffix kConnectionNameSuffix{" ", 2};

// Data model pieces (x15 extensions) and relationships name parts the result does not carry.
bool NeedsOtherParts(const XmlNode& node) {
    for (const auto& [name, value] : node.attributes) {
        if (IsRelationshipIdAttribute(name) || (LocalName(name) == "model" && value == "1")) {
            return true;
        }
    }
    const std::string_view local = node.localName();
    if (local == "modelTextPr" || local == "rangePr" || local == "oledbPr" ||
        local == "dataFeedPr") {
        return true;
    }
    return std::any_of(node.children.begin(), node.children.end(), [](const XmlNode& child) {
        return !child.isText() && NeedsOtherParts(child);
    });
}

// Removes what the source marked ignorable (mc:Ignorable prefixes): the result's root does not
// declare those prefixes ignorable, and a reader would refuse what it does not know.
void DropIgnorable(XmlNode& node, const std::set<std::string, std::less<>>& prefixes) {
    const auto ignorable = [&](const std::string& name) {
        const auto colon = name.find(':');
        return colon != std::string::npos && prefixes.count(name.substr(0, colon)) != 0;
    };
    std::erase_if(node.attributes,
                  [&](const auto& attribute) { return ignorable(attribute.first); });
    std::erase_if(node.children,
                  [&](const XmlNode& child) { return !child.isText() && ignorable(child.name); });
    for (XmlNode& child : node.children) {
        DropIgnorable(child, prefixes);
    }
}

std::string RefusalOf(const XmlNode& connection, bool cellParameters) {
    if (connection.child("olapPr") != nullptr) {
        return "its data comes from a cube (OLAP) connection, which the merged workbook does not "
               "carry";
    }
    const int type = std::atoi(connection.attributeOr("type", "0").c_str());
    const XmlNode* db = connection.child("dbPr");
    if (type < kFirstPlainType || type > kLastPlainType || NeedsOtherParts(connection) ||
        (db != nullptr &&
         db->attributeOr("connection", "").find(kInsideWorkbookSource) != std::string::npos)) {
        return "its data connection uses a query or data model stored inside the workbook, which "
               "the merged workbook does not carry";
    }
    if (!cellParameters) {
        if (const XmlNode* parameters = connection.child("parameters")) {
            for (const XmlNode* parameter : parameters->childrenNamed("parameter")) {
                if (parameter->attribute("cell") != nullptr) {
                    return "its data connection reads a parameter from a cell";
                }
            }
        }
    }
    return {};
}

} // namespace

ResultConnections::Source& ResultConnections::sourceOf(const SourcePackage& package) {
    auto [slot, added] = sources_.try_emplace(package.identity());
    Source& source = slot->second;
    if (!added) {
        return source;
    }
    const Relationship* rel =
        package.workbookRelationships().firstOfKind(kConnectionsRelationshipKind);
    const auto stored =
        rel != nullptr && !rel->external ? package.zip().find(rel->partName) : std::nullopt;
    if (!stored) {
        source.refusal = "its data connection is missing from the workbook";
        return source;
    }
    try {
        source.root = ParseNamespacedXmlTree(package.readTransitionalPart(*stored),
                                             package.displayName(), *stored);
    } catch (const SpreadsheetError&) {
        source.refusal = "its data connections are damaged in the workbook";
        return source;
    }
    for (const XmlNode* connection : source.root.childrenNamed("connection")) {
        const std::string* id = connection->attribute("id");
        const int number = id != nullptr ? std::atoi(id->c_str()) : 0;
        if (number < 1 || connection->attribute("name") == nullptr ||
            !source.byId.emplace(number, connection).second) {
            source.refusal = "its data connections are damaged in the workbook";
            source.byId.clear();
            return source;
        }
    }
    return source;
}

std::string ResultConnections::refusalOf(const SourcePackage& package, int sourceId,
                                         bool cellParameters) {
    const Source& source = sourceOf(package);
    if (!source.refusal.empty()) {
        return source.refusal;
    }
    const auto found = source.byId.find(sourceId);
    if (found == source.byId.end()) {
        return "its data connection is missing from the workbook";
    }
    return RefusalOf(*found->second, cellParameters);
}

std::string ResultConnections::uniqueName(const std::string& wanted) {
    const std::string name =
        UniqueName(wanted, kConnectionNameSuffix, [&](const std::string& candidate) {
            return names_.count(FoldPartName(candidate)) == 0;
        });
    names_.insert(FoldPartName(name));
    return name;
}

ConnectionUse ResultConnections::carry(const SourcePackage& package, int sourceId,
                                       const std::string& key, const ConnectionCellRewrite& cells) {
    ConnectionUse use;
    const std::string carriedKey =
        package.identity() + '\n' + std::to_string(sourceId) + '\n' + key;
    if (const auto done = carried_.find(carriedKey); done != carried_.end()) {
        use.id = done->second;
        return use;
    }
    use.refusal = refusalOf(package, sourceId, true);
    if (!use.refusal.empty()) {
        return use;
    }
    const Source& source = sourceOf(package);
    XmlNode connection = *source.byId.at(sourceId);
    if (XmlNode* parameters = connection.child("parameters")) {
        for (XmlNode* parameter : parameters->childrenNamed("parameter")) {
            if (const std::string* cell = parameter->attribute("cell")) {
                const auto rewritten = cells(*cell);
                if (!rewritten) {
                    use.refusal = "its data connection reads a parameter from a sheet that is "
                                  "not in the result";
                    return use;
                }
                parameter->setAttribute("cell", *rewritten);
            }
        }
    }
    std::set<std::string, std::less<>> ignorable;
    for (const auto& [name, value] : source.root.attributes) {
        if (LocalName(name) == "Ignorable") {
            for (std::size_t at = 0; at < value.size();) {
                const std::size_t end = std::min(value.find(' ', at), value.size());
                if (end > at) {
                    ignorable.insert(value.substr(at, end - at));
                }
                at = end + 1;
            }
        }
    }
    DropIgnorable(connection, ignorable);
    // Prefixes the connection uses are declared on it, as it leaves its own root.
    for (const auto& [name, value] : source.root.attributes) {
        if (name.starts_with("xmlns:") && connection.attribute(name) == nullptr) {
            connection.attributes.emplace_back(name, value);
        }
    }
    for (XmlNode* node : {&connection, connection.child("textPr")}) {
        for (const auto attribute : {"odcFile", "sourceFile"}) {
            if (node != nullptr && node->attribute(attribute) != nullptr) {
                node->setAttribute(
                    attribute, AnchoredFilePath(*node->attribute(attribute), package.identity()));
            }
        }
    }
    const std::string name = *connection.attribute("name");
    const std::string resultName = uniqueName(name);
    if (resultName != name) {
        use.renamed = "The data connection '" + name + "' was named '" + resultName +
                      "' because the result already had a connection of that name.";
    }
    connection.setAttribute("name", resultName);
    const int id = static_cast<int>(connections_.size()) + 1;
    connection.setAttribute("id", std::to_string(id));
    connections_.push_back(std::move(connection));
    carried_.emplace(carriedKey, id);
    use.id = id;
    return use;
}

void ResultConnections::write(ZipWriter& zip, ContentTypesWriter& types) const {
    if (connections_.empty()) {
        return;
    }
    std::string xml(kXmlDeclaration);
    xml += "<connections xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    for (const XmlNode& connection : connections_) {
        AppendNode(xml, connection);
    }
    xml += "</connections>";
    zip.addEntry(std::string(kConnectionsPartName), xml);
    types.addOverride(kConnectionsPartName, kConnectionsContentType);
}

Relationship ResultConnections::workbookRelationship() const {
    Relationship rel;
    rel.id = "rIdConnections";
    rel.type = std::string(kRelationshipTypePrefix) + std::string(kConnectionsRelationshipKind);
    rel.target = "connections.xml";
    rel.partName = std::string(kConnectionsPartName);
    return rel;
}

} // namespace quillory::spreadsheet::ooxml

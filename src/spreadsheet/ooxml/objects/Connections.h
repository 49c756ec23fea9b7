#pragma once
// Data connections (xl/connections.xml) behind the query tables and pivot caches a merge carries.
// Connection ids and names only mean something inside their own workbook: each carried
// connection gets the next id of the result and a name no other connection of the result has,
// its relative file paths are anchored at the source's folder (as links to other workbooks are)
// and its cell parameters follow the copied sheets. What cannot be carried safely (a damaged
// connections part, a cube or data-model connection, a parameter on a sheet left behind) is
// refused with a reason, and its user keeps its data as values.

#include "spreadsheet/ooxml/package/ContentTypes.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

class SourcePackage;

inline constexpr std::string_view kConnectionsRelationshipKind = "connections";
inline constexpr std::string_view kQueryTableRelationshipKind = "queryTable";
inline constexpr std::string_view kConnectionsPartName = "xl/connections.xml";
inline constexpr std::string_view kConnectionsContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.connections+xml";
inline constexpr std::string_view kQueryTableContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.queryTable+xml";

// A parameter's cell ("'Data'!$B$5") as the result names it; nullopt when its sheet is not there.
using ConnectionCellRewrite = std::function<std::optional<std::string>(std::string_view)>;

struct ConnectionUse {
    std::optional<int> id; // the result's connection id
    std::string refusal;   // why it was not carried, when `id` is empty
    std::string renamed;   // the report's sentence when the connection took another name
};

class ResultConnections {
public:
    // Why connection `sourceId` of `package` cannot be carried whatever the result holds, or ""
    // when it can. `cellParameters` false also refuses parameters read from cells, for a user
    // decided before the result's sheets are all known.
    std::string refusalOf(const SourcePackage& package, int sourceId, bool cellParameters);
    // Carries connection `sourceId` of `package` once per `key` (users with one key share it).
    ConnectionUse carry(const SourcePackage& package, int sourceId, const std::string& key,
                        const ConnectionCellRewrite& cells);

    bool empty() const { return connections_.empty(); }
    // The connections part and its content type; the workbook relationship that names it.
    void write(ZipWriter& zip, ContentTypesWriter& types) const;
    Relationship workbookRelationship() const;

private:
    struct Source {
        std::string refusal; // the whole part: missing or damaged
        XmlNode root;
        std::map<int, const XmlNode*> byId;
    };
    Source& sourceOf(const SourcePackage& package);
    std::string uniqueName(const std::string& wanted);

    std::map<std::string, Source> sources_; // by source identity
    std::map<std::string, int> carried_;    // identity, source id and key -> result id
    std::vector<XmlNode> connections_;
    std::set<std::string> names_; // folded
};

} // namespace quillory::spreadsheet::ooxml

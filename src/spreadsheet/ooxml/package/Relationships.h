#pragma once
// Package relationships (the _rels/*.rels parts) and the resolution of their targets to part
// names: relative to the source part's folder, "../" steps, absolute "/xl/..." targets and
// percent-encoded characters are all found in the wild.

#include <string>
#include <string_view>
#include <vector>

namespace quillory::spreadsheet::ooxml {

// The namespace of the .rels parts, that of relationship ids in the parts themselves (r:id), and
// the stem of every transitional relationship type.
inline constexpr std::string_view kPackageRelationshipNamespace =
    "http://schemas.openxmlformats.org/package/2006/relationships";
inline constexpr std::string_view kRelationshipNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline constexpr std::string_view kRelationshipTypePrefix =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

struct Relationship {
    std::string id;
    std::string type;   // full type URI, as written
    std::string target; // as written
    bool external = false;
    std::string partName; // resolved part name (no leading '/'); empty for external targets
};

class Relationships {
public:
    // `sourcePartName` is the part the relationships belong to ("" for the package itself).
    static Relationships Parse(std::string_view relsXml, std::string_view sourcePartName,
                               const std::string& fileName);

    const std::vector<Relationship>& all() const { return relationships_; }
    const Relationship* byId(std::string_view id) const;
    // The first relationship whose type ends in "/<kind>" (transitional or strict URIs alike).
    const Relationship* firstOfKind(std::string_view kind) const;

private:
    std::vector<Relationship> relationships_;
};

// "officeDocument" for ".../relationships/officeDocument".
std::string_view RelationshipKind(std::string_view type);

// True for an attribute named "<prefix>:id" (r:id, or whatever prefix the part gave the
// relationships namespace): it holds a relationship id.
bool IsRelationshipIdAttribute(std::string_view name);

// The .rels part that holds the relationships of a part: "xl/workbook.xml" ->
// "xl/_rels/workbook.xml.rels"; "" -> "_rels/.rels".
std::string RelationshipsPartFor(std::string_view partName);

// A .rels part holding `rels`, each with its id, type and target (and TargetMode when external).
std::string RelationshipsXml(const std::vector<Relationship>& rels);

// Resolves a relationship target against the part that holds it.
std::string ResolveTarget(std::string_view sourcePartName, std::string_view target);

// The folder of a part name ("xl/worksheets/sheet1.xml" -> "xl/worksheets/").
std::string_view PartFolder(std::string_view partName);

// Relative target from one part to another ("xl/worksheets/sheet1.xml",
// "xl/tables/table1.xml" -> "../tables/table1.xml").
std::string RelativeTarget(std::string_view fromPart, std::string_view toPart);

} // namespace quillory::spreadsheet::ooxml

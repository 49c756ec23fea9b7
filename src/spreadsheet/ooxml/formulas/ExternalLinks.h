#pragma once
// Links to other workbooks. Formulas and names refer to them by their 1-based position in the
// workbook's list of external references ("[2]Rates!A1"), which only means something inside
// its own package: the links a copied formula uses are carried into the result (the link part
// with its cached values, and its relationship to the other file) and renumbered there, so the
// formula keeps computing. A link that cannot be carried safely leaves the formula as its value.

#include "spreadsheet/ooxml/package/ContentTypes.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillory::spreadsheet::ooxml {

class SourcePackage;

inline constexpr std::string_view kExternalLinkRelationshipKind = "externalLink";
inline constexpr std::string_view kExternalLinkContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.externalLink+xml";

// The external link parts of a source, in the order formulas number them.
std::vector<std::string> ExternalLinkParts(const SourcePackage& package);

// A relative target of a link to another file, made absolute against the folder of the source
// (`sourcePath`), so the link still finds that file from wherever the result is saved. Targets
// with a scheme, absolute paths and network paths come back unchanged.
std::string AnchoredLinkTarget(std::string_view target, std::string_view sourcePath);

// The same for a file path written as a path, not a URI (a data connection's file).
std::string AnchoredFilePath(std::string_view path, std::string_view sourcePath);

// The file URI of an absolute path ("/data/Q 3.xlsx" -> "file:///data/Q%203.xlsx").
std::string FileUri(std::string_view absolutePath);

class ResultExternalLinks {
public:
    // The result's 1-based number of the source's link `sourceNumber`, carrying the link on its
    // first use; nullopt when the source has no such link or it cannot be carried.
    std::optional<int> number(const SourcePackage& package, int sourceNumber);

    bool empty() const { return links_.empty(); }
    std::size_t size() const { return links_.size(); }
    // The link parts and their relationships, written into the result.
    void write(ZipWriter& zip, ContentTypesWriter& types) const;
    // <externalReferences> of the result's workbook part; link i uses relationship id
    // relationshipId(i).
    std::string referencesXml() const;
    // Relationship of the workbook part to link `index` (0-based); its own series of ids, so
    // it never meets the ids of other workbook relationships.
    static std::string relationshipId(std::size_t index);
    static std::string partName(std::size_t index);

private:
    struct Link {
        std::string bytes;                       // the link part as written in the source
        std::vector<Relationship> relationships; // its links to the other file, targets anchored
    };
    std::optional<Link> load(const SourcePackage& package, int sourceNumber) const;

    std::vector<Link> links_;
    std::map<std::pair<std::string, int>, std::optional<int>> numbers_; // (identity, n)
    std::map<std::string, std::vector<std::string>> sourceParts_;       // identity -> parts
};

} // namespace quillory::spreadsheet::ooxml

#pragma once
// A source workbook package, opened read-only. Opening reads only the zip directory, the content
// types, the package and workbook relationships and the workbook part, so that listing the
// sheets costs the same however large they are. Other parts are read on demand by the copy.

#include "spreadsheet/Automation.h"
#include "spreadsheet/ooxml/package/ContentTypes.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/package/ZipReader.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillory::spreadsheet::ooxml {

struct SourceSheet {
    std::string name;
    int position = 0;     // 0-based position in the workbook's <sheets> (localSheetId)
    std::string partName; // resolved part of the sheet
    SheetKind kind = SheetKind::Worksheet;
    SheetVisibility visibility = SheetVisibility::Visible;
};

struct SourceDefinedName {
    std::string name;
    std::optional<int> localSheetId;
    std::string formula;
    XmlNode node; // the element as written, for its other attributes
};

class SourcePackage {
public:
    // `displayName` names the file in descriptions; empty: the file's own name.
    static std::shared_ptr<SourcePackage> OpenFile(const std::filesystem::path& path,
                                                   std::string displayName = {});
    static std::shared_ptr<SourcePackage> OpenBytes(std::string bytes, std::string displayName);

    // The file name shown in descriptions ("Q3.xlsx").
    const std::string& displayName() const { return displayName_; }
    // Identity of the file (its canonical path): two openings of one file share it.
    const std::string& identity() const { return identity_; }

    const std::vector<SourceSheet>& sheets() const { return sheets_; }
    const std::vector<SourceDefinedName>& definedNames() const { return definedNames_; }
    bool date1904() const { return date1904_; }
    // Strict OOXML (namespaces under http://purl.oclc.org/ooxml/).
    bool strict() const { return strict_; }
    int activeTab() const { return activeTab_; }

    const std::string& workbookPartName() const { return workbookPart_; }
    const Relationships& workbookRelationships() const { return workbookRels_; }
    const ContentTypes& contentTypes() const { return contentTypes_; }
    const ZipReader& zip() const { return *zip_; }

    // The part named by the workbook's first relationship of this kind ("styles",
    // "sharedStrings", "theme"), when present in the package.
    std::optional<std::string> workbookPart(std::string_view relationshipKind) const;
    // A whole part (bounded by kMaxWholePartBytes).
    std::string readPart(std::string_view partName) const;
    // A whole XML part, its Strict namespace URIs mapped to transitional ones in a Strict package.
    std::string readTransitionalPart(std::string_view partName) const;
    // The relationships of a part; empty when it has none.
    Relationships relationshipsOf(std::string_view partName) const;

private:
    SourcePackage() = default;
    void load();
    void readWorkbook();

    std::string displayName_;
    std::string identity_;
    std::unique_ptr<ZipReader> zip_;
    ContentTypes contentTypes_;
    std::string workbookPart_;
    Relationships workbookRels_;
    std::vector<SourceSheet> sheets_;
    std::vector<SourceDefinedName> definedNames_;
    bool date1904_ = false;
    bool strict_ = false;
    int activeTab_ = 0;
};

// Namespace prefix of Strict OOXML URIs, and the mapping of one Strict URI to its transitional
// equivalent (unchanged when it is not a Strict URI).
inline constexpr std::string_view kStrictNamespacePrefix = "http://purl.oclc.org/ooxml/";
std::string TransitionalUri(std::string_view uri);
// A part's XML with every Strict namespace URI in it replaced by its transitional equivalent.
std::string TransitionalXml(std::string xml);

} // namespace quillory::spreadsheet::ooxml

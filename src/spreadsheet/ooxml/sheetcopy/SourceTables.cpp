#include "spreadsheet/ooxml/sheetcopy/SourceTables.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/SourcePackage.h"
#include "spreadsheet/ooxml/xml/Xml.h"

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kTableRelationshipKind = "table";

// Table names compare like defined names: without regard to ASCII case.
std::string FoldAscii(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

} // namespace

std::set<std::string> SourceTableNames(const SourcePackage& package) {
    std::set<std::string> names;
    for (const auto& sheet : package.sheets()) {
        try {
            const Relationships rels = package.relationshipsOf(sheet.partName);
            for (const Relationship& rel : rels.all()) {
                if (rel.external || RelationshipKind(rel.type) != kTableRelationshipKind ||
                    !package.zip().contains(rel.partName)) {
                    continue;
                }
                const XmlNode table = ParseXmlTree(package.readPart(rel.partName),
                                                   package.displayName(), rel.partName);
                for (const char* attribute : {"name", "displayName"}) {
                    if (const std::string* name = table.attribute(attribute)) {
                        names.insert(FoldAscii(*name));
                    }
                }
            }
        } catch (const SpreadsheetError&) {
            // A damaged part of a sheet that is not copied does not stop the merge.
        }
    }
    return names;
}

} // namespace quillory::spreadsheet::ooxml

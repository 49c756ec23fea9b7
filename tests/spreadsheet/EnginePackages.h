#pragma once
// Small hand-written workbook packages for the engine's own tests: each test states exactly the
// XML it needs (a chart sheet between worksheets, a shared formula pointing at a sheet left
// behind, ...), which an independent writer cannot always produce on purpose.

#include "support/PackageEntries.h"

#include <string>
#include <utility>
#include <vector>

namespace quillory::testing {

struct MiniSheet {
    MiniSheet(std::string sheetName, std::string sheetBody = "<sheetData/>",
              std::string sheetKind = "worksheet", std::string sheetState = {})
        : name(std::move(sheetName)), body(std::move(sheetBody)), kind(std::move(sheetKind)),
          state(std::move(sheetState)) {}

    std::string name;
    std::string body = "<sheetData/>"; // worksheet children after sheetViews
    std::string kind = "worksheet";    // worksheet, chartsheet, macrosheet
    std::string state;                 // "", hidden, veryHidden
    std::string rels;                  // <Relationship .../> elements of the sheet
    std::vector<PackageEntry> parts;   // extra parts the rels point at
};

struct MiniWorkbook {
    std::vector<MiniSheet> sheets;
    std::vector<std::string> sharedStrings{}; // inner XML of each <si>
    std::string definedNames{};               // <definedName> elements
    bool date1904 = false;
    int activeTab = 0;
};

inline const std::string kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline const std::string kRelNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline const std::string kTableType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.table+xml";

// A <Relationship> element; a kind without a scheme is one of the office document's own.
inline std::string RelationshipTo(const std::string& id, const std::string& kind,
                                  const std::string& target, const std::string& extra = {}) {
    const std::string type = kind.find("://") == std::string::npos ? kRelNs + "/" + kind : kind;
    return "<Relationship Id=\"" + id + "\" Type=\"" + type + "\" Target=\"" + target + "\"" +
           extra + "/>";
}

// A whole relationships part of these elements.
inline std::string RelationshipsXml(const std::string& relationships) {
    return "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/"
           "package/2006/relationships\">" +
           relationships + "</Relationships>";
}

inline void AddOverride(PackageEntries& package, const std::string& part,
                        const std::string& contentType) {
    package.replaceOnce("[Content_Types].xml", "</Types>",
                        "<Override PartName=\"/" + part + "\" ContentType=\"" + contentType +
                            "\"/></Types>");
}

// Adds a workbook-level part with its relationship and content type to a package.
inline void AddWorkbookPart(PackageEntries& package, const std::string& part,
                            const std::string& kind, const std::string& contentType,
                            const std::string& xml, const std::string& id) {
    package.set(part, xml);
    package.replaceOnce("xl/_rels/workbook.xml.rels", "</Relationships>",
                        RelationshipTo(id, kind, part.substr(3)) + "</Relationships>");
    AddOverride(package, part, contentType);
}

inline PackageEntries BuildPackage(const MiniWorkbook& book) {
    const std::string& main = kMainNs;
    PackageEntries package;
    std::string types = "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/"
                        "package/2006/content-types\"><Default Extension=\"rels\" ContentType=\""
                        "application/vnd.openxmlformats-package.relationships+xml\"/><Default "
                        "Extension=\"xml\" ContentType=\"application/xml\"/></Types>";
    package.set("[Content_Types].xml", types);
    const std::string sml = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
    AddOverride(package, "xl/workbook.xml", sml + "sheet.main+xml");
    AddOverride(package, "xl/styles.xml", sml + "styles+xml");
    std::string workbook = "<?xml version=\"1.0\"?><workbook xmlns=\"" + main + "\" xmlns:r=\"" +
                           kRelNs + "\"><workbookPr" + (book.date1904 ? " date1904=\"1\"" : "") +
                           "/><bookViews><workbookView activeTab=\"" +
                           std::to_string(book.activeTab) + "\"/></bookViews><sheets>";
    std::string workbookRels;
    for (std::size_t i = 0; i < book.sheets.size(); ++i) {
        const MiniSheet& sheet = book.sheets[i];
        const std::string n = std::to_string(i + 1);
        const bool chart = sheet.kind == "chartsheet";
        const bool macro = sheet.kind == "macrosheet";
        const std::string folder = chart ? "chartsheets" : macro ? "macrosheets" : "worksheets";
        const std::string part = "xl/" + folder + "/sheet" + n + ".xml";
        AddOverride(package, part,
                    macro ? "application/vnd.ms-excel.macrosheet+xml" : sml + sheet.kind + "+xml");
        workbook += "<sheet name=\"" + sheet.name + "\" sheetId=\"" + std::to_string(10 + i) +
                    "\"" + (sheet.state.empty() ? "" : " state=\"" + sheet.state + "\"") +
                    " r:id=\"rId" + n + "\"/>";
        workbookRels += RelationshipTo(
            "rId" + n,
            macro ? "http://schemas.microsoft.com/office/2006/relationships/xlMacrosheet"
                  : sheet.kind,
            folder + "/sheet" + n + ".xml");
        const std::string root = chart ? "chartsheet" : macro ? "xm:macrosheet" : "worksheet";
        package.set(part, "<?xml version=\"1.0\"?><" + root + " xmlns=\"" + main + "\" xmlns:r=\"" +
                              kRelNs +
                              "\" xmlns:xm=\"http://schemas.microsoft.com/office/excel/2006/main\">"
                              "<sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>" +
                              (chart ? std::string() : sheet.body) + "</" + root + ">");
        if (!sheet.rels.empty()) {
            package.set("xl/" + folder + "/_rels/sheet" + n + ".xml.rels",
                        RelationshipsXml(sheet.rels));
        }
        for (const auto& extra : sheet.parts) {
            package.set(extra.name, extra.bytes);
        }
    }
    workbook += "</sheets>";
    if (!book.definedNames.empty()) {
        workbook += "<definedNames>" + book.definedNames + "</definedNames>";
    }
    const std::size_t n = book.sheets.size();
    workbookRels += RelationshipTo("rId" + std::to_string(n + 1), "styles", "styles.xml");
    if (!book.sharedStrings.empty()) {
        workbookRels +=
            RelationshipTo("rId" + std::to_string(n + 2), "sharedStrings", "sharedStrings.xml");
        AddOverride(package, "xl/sharedStrings.xml", sml + "sharedStrings+xml");
        std::string sst = "<?xml version=\"1.0\"?><sst xmlns=\"" + main + "\">";
        for (const auto& item : book.sharedStrings) {
            sst += "<si>" + item + "</si>";
        }
        package.set("xl/sharedStrings.xml", sst + "</sst>");
    }
    package.set("_rels/.rels",
                RelationshipsXml(RelationshipTo("rId1", "officeDocument", "xl/workbook.xml")));
    package.set("xl/workbook.xml", workbook + "</workbook>");
    package.set("xl/_rels/workbook.xml.rels", RelationshipsXml(workbookRels));
    // Two cell formats: 0 plain, 1 bold with a percentage format; one differential format.
    package.set("xl/styles.xml",
                "<?xml version=\"1.0\"?><styleSheet xmlns=\"" + main +
                    "\"><numFmts count=\"1\"><numFmt numFmtId=\"170\" formatCode=\"0.0%\"/>"
                    "</numFmts><fonts count=\"2\"><font><sz val=\"11\"/><name val=\"Calibri\"/>"
                    "</font><font><b/><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
                    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill>"
                    "<patternFill patternType=\"gray125\"/></fill></fills><borders count=\"1\">"
                    "<border><left/><right/><top/><bottom/><diagonal/></border></borders>"
                    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
                    "borderId=\"0\"/></cellStyleXfs><cellXfs count=\"3\"><xf numFmtId=\"0\" "
                    "fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/><xf numFmtId=\"170\" "
                    "fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyFont=\"1\" "
                    "applyNumberFormat=\"1\"/><xf numFmtId=\"14\" fontId=\"0\" fillId=\"0\" "
                    "borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/></cellXfs><cellStyles "
                    "count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
                    "</cellStyles><dxfs count=\"1\"><dxf><font><b/></font></dxf></dxfs>"
                    "</styleSheet>");
    return package;
}

} // namespace quillory::testing

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
    std::vector<std::string> sharedStrings; // inner XML of each <si>
    std::string definedNames;               // <definedName> elements
    bool date1904 = false;
    int activeTab = 0;
};

inline PackageEntries BuildPackage(const MiniWorkbook& book) {
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    PackageEntries package;
    std::string types = "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/"
                        "package/2006/content-types\"><Default Extension=\"rels\" ContentType=\""
                        "application/vnd.openxmlformats-package.relationships+xml\"/><Default "
                        "Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\""
                        "/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-"
                        "officedocument.spreadsheetml.sheet.main+xml\"/><Override PartName=\"/xl/"
                        "styles.xml\" ContentType=\"application/vnd.openxmlformats-officedocument."
                        "spreadsheetml.styles+xml\"/>";
    std::string workbook = "<?xml version=\"1.0\"?><workbook xmlns=\"" + main + "\" xmlns:r=\"" +
                           rel + "\"><workbookPr" + (book.date1904 ? " date1904=\"1\"" : "") +
                           "/><bookViews><workbookView activeTab=\"" +
                           std::to_string(book.activeTab) + "\"/></bookViews><sheets>";
    std::string workbookRels = "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas."
                               "openxmlformats.org/package/2006/relationships\">";
    for (std::size_t i = 0; i < book.sheets.size(); ++i) {
        const MiniSheet& sheet = book.sheets[i];
        const std::string n = std::to_string(i + 1);
        const bool chart = sheet.kind == "chartsheet";
        const bool macro = sheet.kind == "macrosheet";
        const std::string folder = chart ? "chartsheets" : macro ? "macrosheets" : "worksheets";
        const std::string part = "xl/" + folder + "/sheet" + n + ".xml";
        const std::string type =
            chart   ? "application/vnd.openxmlformats-officedocument.spreadsheetml.chartsheet+xml"
            : macro ? "application/vnd.ms-excel.macrosheet+xml"
                    : "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
        const std::string relType =
            macro ? "http://schemas.microsoft.com/office/2006/relationships/xlMacrosheet"
                  : rel + "/" + sheet.kind;
        types += "<Override PartName=\"/" + part + "\" ContentType=\"" + type + "\"/>";
        workbook += "<sheet name=\"" + sheet.name + "\" sheetId=\"" + std::to_string(10 + i) +
                    "\"" + (sheet.state.empty() ? "" : " state=\"" + sheet.state + "\"") +
                    " r:id=\"rId" + n + "\"/>";
        workbookRels += "<Relationship Id=\"rId" + n + "\" Type=\"" + relType + "\" Target=\"" +
                        folder + "/sheet" + n + ".xml\"/>";
        const std::string root = chart ? "chartsheet" : macro ? "xm:macrosheet" : "worksheet";
        package.set(part, "<?xml version=\"1.0\"?><" + root + " xmlns=\"" + main + "\" xmlns:r=\"" +
                              rel +
                              "\" xmlns:xm=\"http://schemas.microsoft.com/office/excel/2006/main\">"
                              "<sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>" +
                              (chart ? std::string() : sheet.body) + "</" + root + ">");
        if (!sheet.rels.empty()) {
            package.set("xl/" + folder + "/_rels/sheet" + n + ".xml.rels",
                        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas."
                        "openxmlformats.org/package/2006/relationships\">" +
                            sheet.rels + "</Relationships>");
        }
        for (const auto& extra : sheet.parts) {
            package.set(extra.name, extra.bytes);
        }
    }
    workbook += "</sheets>";
    if (!book.definedNames.empty()) {
        workbook += "<definedNames>" + book.definedNames + "</definedNames>";
    }
    workbook += "</workbook>";
    const std::size_t n = book.sheets.size();
    workbookRels += "<Relationship Id=\"rId" + std::to_string(n + 1) + "\" Type=\"" + rel +
                    "/styles\" Target=\"styles.xml\"/>";
    if (!book.sharedStrings.empty()) {
        workbookRels += "<Relationship Id=\"rId" + std::to_string(n + 2) + "\" Type=\"" + rel +
                        "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
        types += "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"application/vnd."
                 "openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
        std::string sst = "<?xml version=\"1.0\"?><sst xmlns=\"" + main + "\">";
        for (const auto& item : book.sharedStrings) {
            sst += "<si>" + item + "</si>";
        }
        package.set("xl/sharedStrings.xml", sst + "</sst>");
    }
    workbookRels += "</Relationships>";
    types += "</Types>";
    package.set("[Content_Types].xml", types);
    package.set("_rels/.rels",
                "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/"
                "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" +
                    rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
    package.set("xl/workbook.xml", workbook);
    package.set("xl/_rels/workbook.xml.rels", workbookRels);
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

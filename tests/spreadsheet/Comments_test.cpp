// Notes, their VML drawings, threaded comments and people, form controls and OLE objects.

#include "EngineTestSupport.h"
#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/objects/Comments.h"
#include "spreadsheet/ooxml/objects/ShapeIds.h"
#include "spreadsheet/ooxml/objects/ThreadedComments.h"
#include "spreadsheet/ooxml/objects/Vml.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "support/Fixtures.h"

#include <regex>
#include <set>

namespace quillory::testing {
namespace {

using namespace spreadsheet::ooxml;

// VML as spreadsheet programs write it: single-quoted styles, an unclosed <br>, a bare
// attribute, a named button with its number in o:spid, and a macro link.
const std::string kLooseVml =
    "<xml xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:o=\"urn:schemas-microsoft-com:office:"
    "office\" xmlns:x=\"urn:schemas-microsoft-com:office:excel\">\n"
    " <o:shapelayout v:ext=\"edit\">\n  <o:idmap v:ext=\"edit\" data=\"1\"/>\n"
    " </o:shapelayout><v:shapetype id=\"_x0000_t202\" coordsize=\"21600,21600\" o:spt=\"202\"/>\n"
    " <v:shape id=\"_x0000_s1025\" type=\"#_x0000_t202\" style='position:absolute;"
    "visibility:hidden' filled>\n"
    "  <v:textbox><div>first line<br>second line</div></v:textbox>\n"
    "  <x:ClientData ObjectType=\"Note\"><x:MoveWithCells/><x:Row>2</x:Row>"
    "<x:Column>1</x:Column></x:ClientData>\n </v:shape>\n"
    " <v:shape id=\"Button_x0020_1\" o:spid=\"_x0000_s1026\" type=\"#_x0000_t201\">\n"
    "  <x:ClientData ObjectType=\"Button\"><x:FmlaMacro>[0]!Run_Report</x:FmlaMacro>"
    "<x:FmlaLink>Data!$B$2</x:FmlaLink></x:ClientData>\n </v:shape>\n"
    " <v:shape id=\"_x0000_s2049\" type=\"#_x0000_t201\">\n"
    "  <x:ClientData ObjectType=\"Checkbox\"><x:FmlaLink>Gone!$A$1</x:FmlaLink>"
    "<x:Visible/></x:ClientData>\n </v:shape></xml>";

// Data is copied as "Data (2)", Sheet keeps its name, any other sheet stays behind.
FormulaContext RenamingContext() {
    FormulaContext context;
    context.currentSheet = "Sheet";
    context.sheet = [](std::string_view name) -> std::optional<std::string> {
        if (name == "Data") {
            return "Data (2)";
        }
        return name == "Sheet" ? std::optional<std::string>("Sheet") : std::nullopt;
    };
    return context;
}

std::vector<std::string> Matches(const std::string& text, const std::string& pattern) {
    std::vector<std::string> found;
    const std::regex expression(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), expression);
         it != std::sregex_iterator(); ++it) {
        found.push_back((*it)[1].str());
    }
    return found;
}

TEST(ShapeIds, DrawingsOfTheSameBlocksGetDistinctOnesAndUnnumberedShapesFreeIds) {
    ShapeIdAllocator allocator;
    ShapeIdMap first = allocator.allocate({{1}, {1025, 1026}, 0});
    ShapeIdMap second = allocator.allocate({{1}, {1025}, 0});
    ShapeIdMap wide = allocator.allocate({{1, 2}, {1025, 2049, 2050}, 0});
    EXPECT_EQ(first.map(1025), 1025);
    EXPECT_EQ(second.map(1025), 2049);
    EXPECT_EQ(wide.idMapData(), "3,4");
    EXPECT_EQ(wide.map(2050), 4 * kShapeIdsPerBlock + 2);
    EXPECT_EQ(wide.mapShapeId("_x0000_s1025"), "_x0000_s3073");
    EXPECT_EQ(second.map(5000), std::nullopt); // a block the drawing never had
    EXPECT_EQ(second.mapNumber("7"), "7");

    ShapeIdAllocator fresh;
    ShapeIdMap fits = fresh.allocate({{1}, {1030}, 2});
    EXPECT_EQ(fits.takeFreshId(), 1031);
    EXPECT_EQ(fits.takeFreshId(), 1032);
    EXPECT_EQ(fits.takeFreshId(), std::nullopt);
    ShapeIdMap full = fresh.allocate({{5}, {5 * kShapeIdsPerBlock + 1023}, 1});
    EXPECT_EQ(full.idMapData(), "2,3");
    EXPECT_EQ(full.takeFreshId(), 3 * kShapeIdsPerBlock + 1);
    EXPECT_EQ(ParseIdMapBlocks(" 1, x,2 ,1"), (std::vector<long>{1, 2}));
    EXPECT_EQ(ParseShapeId("_x0000_s-1"), std::nullopt);
    EXPECT_EQ(ParseShapeId("_x0000_t202"), std::nullopt);
}

TEST(Vml, LooseOrTruncatedMarkupIsListedAndRewrittenAndOtherwiseKeptByteForByte) {
    const VmlShapeIdUse use = ScanVmlShapeIds(kLooseVml);
    EXPECT_EQ(use.declaredBlocks, (std::vector<long>{1}));
    EXPECT_EQ(use.usedIds, (std::vector<long>{1025, 1026, 2049}));
    ShapeIdAllocator allocator;
    allocator.allocate({{1}, {}, 0}); // another drawing already holds block 1
    ShapeIdMap ids = allocator.allocate(use);
    const FormulaContext context = RenamingContext();
    const VmlRewrite result = RewriteVml(kLooseVml, ids, &context);

    EXPECT_EQ(Matches(result.text, "data=\"([^\"]*)\""), (std::vector<std::string>{"2,3"}));
    EXPECT_EQ(Matches(result.text, "(_x0000_s[0-9]+)"),
              (std::vector<std::string>{"_x0000_s2049", "_x0000_s2050", "_x0000_s3073"}));
    EXPECT_EQ(result.macrosDropped, 1u);
    EXPECT_EQ(result.text.find("FmlaMacro"), std::string::npos);
    EXPECT_NE(result.text.find("<x:FmlaLink>'Data (2)'!$B$2</x:FmlaLink>"), std::string::npos);
    EXPECT_EQ(result.formulasDropped, 1u); // the link to a sheet not in the result
    EXPECT_EQ(result.text.find("Gone!"), std::string::npos);
    // Everything not rewritten is untouched, the broken markup included.
    EXPECT_NE(result.text.find("<div>first line<br>second line</div>"), std::string::npos);
    EXPECT_NE(result.text.find("style='position:absolute;visibility:hidden' filled>"),
              std::string::npos);
    EXPECT_NE(result.text.find("id=\"Button_x0020_1\""), std::string::npos);
    EXPECT_NE(result.text.find("<v:shapetype id=\"_x0000_t202\""), std::string::npos);

    const auto shapes = ListVmlShapes(kLooseVml);
    ASSERT_EQ(shapes.size(), 3u);
    EXPECT_EQ(shapes[0].objectType, "Note");
    EXPECT_EQ(shapes[0].row, 2);
    EXPECT_EQ(shapes[0].column, 1);
    EXPECT_FALSE(shapes[0].visible);
    EXPECT_EQ(shapes[1].objectType, "Button");
    EXPECT_TRUE(shapes[2].visible);

    // Two notes written with an id that is no number, and a drawing cut off inside a tag.
    const std::string broken = "<xml><o:idmap data=\"1\"/><v:shape id=\"_x0000_s-1\"></v:shape>"
                               "<v:shape id=\"_x0000_s-1\"><x:ClientData ObjectType=\"Note\">"
                               "<x:Row>4<v:shape id=\"_x0000_s10";
    const VmlShapeIdUse brokenUse = ScanVmlShapeIds(broken);
    EXPECT_EQ(brokenUse.unnumberedShapes, 2u);
    ShapeIdAllocator fresh;
    ShapeIdMap freshIds = fresh.allocate(brokenUse);
    const VmlRewrite rewritten = RewriteVml(broken, freshIds, nullptr);
    EXPECT_EQ(Matches(rewritten.text, "id=\"(_x0000_s[-0-9]+)\""),
              (std::vector<std::string>{"_x0000_s1025", "_x0000_s1026"}));
    EXPECT_TRUE(rewritten.text.ends_with("<v:shape id=\"_x0000_s10"));
    EXPECT_EQ(ListVmlShapes(broken).size(), 1u);
}

TEST(ThreadedComments, EachCopyGetsNewIdsWithRepliesAndNotesFollowing) {
    const std::string threads =
        "<?xml version=\"1.0\"?><ThreadedComments xmlns=\"" +
        std::string(kThreadedCommentsNamespace) +
        "\"><threadedComment ref=\"A1\" personId=\"{P1}\" id=\"{aaaa}\"><text>Why?</text>"
        "<mentions><mention mentionpersonId=\"{P2}\" mentionId=\"{M1}\" startIndex=\"0\" "
        "length=\"3\"/></mentions></threadedComment><threadedComment ref=\"A1\" "
        "personId=\"{P2}\" id=\"{BBBB}\" parentId=\"{AAAA}\"><text>Because.</text>"
        "</threadedComment><threadedComment ref=\"B2\" personId=\"{P9}\" id=\"{CCCC}\" "
        "parentId=\"{DDDD}\"><text>Orphan</text></threadedComment></ThreadedComments>";
    const GuidMap people = {{"{P1}", "{R1}"}, {"{P2}", "{R2}"}};
    std::set<std::string> seen;
    for (int copy = 0; copy < 2; ++copy) {
        const GuidMap ids = PlanThreadIds(threads, "book.xlsx", "threads.xml");
        ASSERT_EQ(ids.size(), 3u);
        const auto result = RewriteThreadedComments(threads, ids, people, "book.xlsx", "t.xml");
        const XmlNode root = ParseXmlTree(result.xml, "result", "t.xml");
        const auto comments = root.childrenNamed("threadedComment");
        ASSERT_EQ(comments.size(), 3u);
        EXPECT_EQ(result.comments, 3u);
        EXPECT_EQ(comments[0]->attributeOr("id", ""), ids.at("{AAAA}"));
        EXPECT_EQ(comments[1]->attributeOr("parentId", ""), comments[0]->attributeOr("id", ""));
        EXPECT_EQ(comments[0]->attributeOr("personId", ""), "{R1}");
        EXPECT_EQ(FindElement(root, "mention")->attributeOr("mentionpersonId", ""), "{R2}");
        EXPECT_NE(FindElement(root, "mention")->attributeOr("mentionId", ""), "{M1}");
        EXPECT_EQ(comments[2]->attribute("parentId"), nullptr); // its parent never existed
        EXPECT_EQ(result.orphanReplies, 1u);
        EXPECT_EQ(result.unknownPeople, 1u);
        for (const auto* comment : comments) {
            EXPECT_TRUE(seen.insert(comment->attributeOr("id", "")).second)
                << "thread id repeated across copies";
        }

        const std::string notes =
            "<comments xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
            "xmlns:xr=\"http://schemas.microsoft.com/office/spreadsheetml/2014/revision\">"
            "<authors><author>tc={aaaa}</author><author>Ann</author></authors><commentList>"
            "<comment ref=\"A1\" authorId=\"0\" shapeId=\"1025\" xr:uid=\"{AAAA}\"><text><t>x</t>"
            "</text></comment><comment ref=\"C3\" authorId=\"1\" shapeId=\"0\" xr:uid=\"{EEEE}\">"
            "<text><t>y</t></text></comment></commentList></comments>";
        const ShapeIdLookup shapes = [](long id) -> std::optional<long> { return id + 1024; };
        const auto rewritten = RewriteComments(notes, ids, shapes, "book.xlsx", "c.xml");
        const XmlNode tree = ParseXmlTree(rewritten.xml, "result", "c.xml");
        EXPECT_EQ(rewritten.comments, 2u);
        EXPECT_EQ(FindElement(tree, "author")->textContent(), "tc=" + ids.at("{AAAA}"));
        const XmlNode* a1 = FindElement(tree, "comment", "ref", "A1");
        const XmlNode* c3 = FindElement(tree, "comment", "ref", "C3");
        ASSERT_TRUE(a1 != nullptr && c3 != nullptr);
        EXPECT_EQ(a1->attributeOr("xr:uid", ""), ids.at("{AAAA}"));
        EXPECT_EQ(a1->attributeOr("shapeId", ""), "2049");
        EXPECT_EQ(c3->attributeOr("shapeId", ""), "0");
        EXPECT_NE(c3->attributeOr("xr:uid", ""), "{EEEE}");
    }
    EXPECT_THROW(RewriteThreadedComments("<ThreadedComments>", {}, {}, "b.xlsx", "t.xml"),
                 spreadsheet::SpreadsheetError);
}

TEST(ThreadedComments, PeopleFromSeveralSourcesAreMergedOnce) {
    const auto list = [](const std::string& persons) {
        return "<personList xmlns=\"" + std::string(kThreadedCommentsNamespace) + "\">" + persons +
               "</personList>";
    };
    ResultPersons persons;
    const GuidMap first = persons.merge(
        list("<person displayName=\"Ann\" id=\"{A}\" userId=\"ann@x\" providerId=\"AD\"/>"
             "<person displayName=\"Bob\" id=\"{B}\" userId=\"bob\" providerId=\"None\"/>"),
        "one.xlsx", "person.xml");
    // The same Ann under another id, Bob again by id, and a new person.
    const GuidMap second = persons.merge(
        list("<person displayName=\"Ann B.\" id=\"{A2}\" userId=\"ann@x\" providerId=\"AD\"/>"
             "<person displayName=\"Bob\" id=\"{b}\" userId=\"other\" providerId=\"None\"/>"
             "<person displayName=\"Cy\" id=\"{C}\" userId=\"ann@x\" providerId=\"None\"/>"),
        "two.xlsx", "person.xml");
    EXPECT_EQ(persons.size(), 3u);
    EXPECT_EQ(first.at("{A}"), "{A}");
    EXPECT_EQ(second.at("{A2}"), "{A}");
    EXPECT_EQ(second.at("{B}"), "{B}");
    EXPECT_EQ(second.at("{C}"), "{C}");
    const XmlNode root = ParseXmlTree(persons.toXml(), "result", "person.xml");
    EXPECT_EQ(root.childrenNamed("person").size(), 3u);
    EXPECT_NE(FindElement(root, "person", "displayName", "Cy"), nullptr);
    EXPECT_NE(NewGuid(), NewGuid());
    EXPECT_TRUE(std::regex_match(NewGuid(), std::regex("\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-"
                                                       "[0-9A-F]{12}\\}")));
}

TEST(SheetObjects, FormControlsAndOleObjectsAreRenumberedActiveXAndMacrosLeftOut) {
    XmlNode node = ParseXmlTree(
        "<mc:AlternateContent xmlns:mc=\"m\" xmlns:r=\"r\"><mc:Choice Requires=\"x14\"><controls>"
        "<mc:AlternateContent><mc:Choice Requires=\"x14\"><control shapeId=\"1025\" r:id=\"rId4\" "
        "name=\"Button 1\"><controlPr macro=\"[0]!Run\" linkedCell=\"Data!A1\" "
        "listFillRange=\"Gone!A1:A3\"/></control></mc:Choice></mc:AlternateContent>"
        "<mc:AlternateContent><mc:Choice Requires=\"x14\"><control shapeId=\"1026\" r:id=\"rId9\" "
        "name=\"CommandButton1\"/></mc:Choice><mc:Fallback><control shapeId=\"1026\" "
        "r:id=\"rId9\" name=\"CommandButton1\"/></mc:Fallback></mc:AlternateContent>"
        "</controls></mc:Choice></mc:AlternateContent>",
        "book.xlsx", "sheet1.xml");
    const FormulaContext formulas = RenamingContext();
    SheetObjectsContext context;
    context.carried = [](std::string_view id) { return id == "rId4" || id == "rId7"; };
    context.shapeIds = [](long id) -> std::optional<long> { return id + 3072; };
    context.formulas = &formulas;
    std::set<std::string> notCarried;
    ASSERT_TRUE(CarrySheetObjects(node, context, notCarried));
    ASSERT_EQ(CountElements(node, "control"), 1);
    const XmlNode* control = FindElement(node, "control");
    EXPECT_EQ(control->attributeOr("shapeId", ""), "4097");
    const XmlNode* properties = FindElement(node, "controlPr");
    EXPECT_EQ(properties->attribute("macro"), nullptr);
    EXPECT_EQ(properties->attributeOr("linkedCell", ""), "'Data (2)'!A1");
    EXPECT_EQ(properties->attribute("listFillRange"), nullptr);
    EXPECT_EQ(notCarried.size(), 3u); // ActiveX, macros, a cell link

    XmlNode objects = ParseXmlTree(
        "<oleObjects xmlns:r=\"r\"><oleObject progId=\"Word.Document.8\" shapeId=\"1033\" "
        "r:id=\"rId7\"><objectPr r:id=\"rId8\"/></oleObject><oleObject progId=\"Package\" "
        "shapeId=\"1034\" r:id=\"rId5\"/></oleObjects>",
        "book.xlsx", "sheet1.xml");
    notCarried.clear();
    ASSERT_TRUE(CarrySheetObjects(objects, context, notCarried));
    ASSERT_EQ(CountElements(objects, "oleObject"), 1);
    EXPECT_EQ(FindElement(objects, "oleObject")->attributeOr("shapeId", ""), "4105");
    EXPECT_EQ(FindElement(objects, "objectPr")->attribute("r:id"), nullptr); // preview missing
    EXPECT_EQ(notCarried.size(), 1u);

    XmlNode onlyActiveX = ParseXmlTree("<controls xmlns:r=\"r\"><control shapeId=\"1\" "
                                       "r:id=\"rId9\"/></controls>",
                                       "book.xlsx", "sheet1.xml");
    EXPECT_FALSE(CarrySheetObjects(onlyActiveX, context, notCarried));

    // A control's own properties part: its cell link follows the copy, a range left behind goes.
    const auto result = RewriteControlProperties(
        "<formControlPr xmlns=\"http://schemas.microsoft.com/office/spreadsheetml/2009/9/main\" "
        "objectType=\"CheckBox\" fmlaLink=\"Data!$C$1\" fmlaRange=\"Gone!$A$1:$A$4\"/>",
        &formulas, "book.xlsx", "ctrlProp1.xml");
    const XmlNode root = ParseXmlTree(result.xml, "result", "ctrlProp1.xml");
    EXPECT_EQ(root.attributeOr("fmlaLink", ""), "'Data (2)'!$C$1");
    EXPECT_EQ(root.attribute("fmlaRange"), nullptr);
    EXPECT_EQ(result.linksDropped, 1u);
    EXPECT_EQ(root.attributeOr("objectType", ""), "CheckBox");
}

TEST(NoteColors, ThemeColoursOfANoteFromAnotherThemeBecomeTheColoursTheyShowed) {
    const Theme result = Theme::builtinDefault();
    std::string xml = result.xml();
    const auto at = xml.find("srgbClr val=\"") + std::string_view("srgbClr val=\"").size();
    xml.replace(at, 6, "123456"); // dark 2 of the source differs
    const Theme source = Theme::parse(xml);
    const std::string notes = "<comments><commentList><comment ref=\"A1\"><text><r><rPr>"
                              "<color theme=\"3\"/><rFont val=\"Tahoma\"/><scheme "
                              "val=\"minor\"/></rPr><t>x</t></r></text></comment></commentList>"
                              "</comments>";
    const std::string fixed = FixNoteColors(notes, &source, &result);
    EXPECT_NE(fixed.find("rgb=\"FF123456\""), std::string::npos) << fixed;
    EXPECT_EQ(fixed.find("theme="), std::string::npos);
    EXPECT_EQ(fixed.find("<scheme"), std::string::npos);
    EXPECT_EQ(FixNoteColors(notes, &result, &result), notes);
    EXPECT_EQ(FixNoteColors(notes, nullptr, &result), notes);
}

#if QUILLORY_HAVE_XLSXWRITER

// The part a sheet's relationship of this kind points at, or "" when it has none.
std::string TargetOf(const PackageEntries& package, const std::string& part,
                     std::string_view kind) {
    const std::string* rels = package.find(RelationshipsPartFor(part));
    if (rels == nullptr) {
        return {};
    }
    const Relationships parsed = Relationships::Parse(*rels, part, "result");
    const Relationship* rel = parsed.firstOfKind(kind);
    return rel == nullptr ? std::string() : rel->partName;
}

TEST(CommentsMerge, NotesButtonsControlsAndHeaderPicturesTravelWithEveryCopy) {
    TempDir dir;
    PackageEntries package = PackageEntries::read(writeFixture("notes.xlsx", dir.path()));
    // The notes' VML with an unclosed <br> and a bare attribute, as older writers leave it: not
    // well-formed, and still carried.
    const std::string looseVml = TargetOf(package, "xl/worksheets/sheet1.xml", "vmlDrawing");
    package.replaceOnce(looseVml, "<v:textbox", "<v:textbox filled");
    package.replaceOnce(looseVml, "</div>", "<br></div>");
    EXPECT_THROW(ParseXmlTree(*package.find(looseVml), "loose.xlsx", looseVml),
                 spreadsheet::SpreadsheetError);
    // An ActiveX command button on Buttons as the spreadsheet program writes one: the sheet's
    // control names its properties part, which names the control's binary state.
    const std::string buttons = "xl/worksheets/sheet2.xml";
    const std::string shape =
        Matches(*package.find(TargetOf(package, buttons, "vmlDrawing")), "_x0000_s([0-9]+)").at(0);
    package.replaceOnce(buttons, "</worksheet>",
                        "<controls><control shapeId=\"" + shape +
                            "\" r:id=\"rIdAx\" name=\"CommandButton1\"/></controls></worksheet>");
    package.replaceOnce(RelationshipsPartFor(buttons), "</Relationships>",
                        RelationshipTo("rIdAx", "control", "../activeX/activeX1.xml") +
                            "</Relationships>");
    const std::string control =
        "<?xml version=\"1.0\"?><ax:ocx xmlns:ax=\"http://schemas.microsoft.com/office/2006/"
        "activeX\" xmlns:r=\"" +
        kRelNs +
        "\" ax:classid=\"{D7053240-CE69-11CD-A777-00DD01143C57}\" "
        "ax:persistence=\"persistStorage\" r:id=\"rId1\"/>";
    const std::string state = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1state", 12);
    package.set("xl/activeX/activeX1.xml", control);
    package.set("xl/activeX/_rels/activeX1.xml.rels",
                RelationshipsXml(RelationshipTo("rId1",
                                                "http://schemas.microsoft.com/office/2006/"
                                                "relationships/activeXControlBinary",
                                                "activeX1.bin")));
    package.set("xl/activeX/activeX1.bin", state);
    package.replaceOnce("[Content_Types].xml", "</Types>",
                        "<Default Extension=\"bin\" ContentType=\"application/vnd.ms-office."
                        "activeX\"/></Types>");
    AddOverride(package, "xl/activeX/activeX1.xml", "application/vnd.ms-office.activeX+xml");
    const auto book = dir / "notes.xlsx";
    package.write(book);
    const auto [merged, report] = MergeAndRead(
        dir,
        {{book, "Notes"}, {book, "Buttons"}, {book, "Header"}, {book, "Notes"}, {book, "Buttons"}});

    // Both copies of Notes keep the loose markup; the notes themselves are compared with their
    // source's by the fidelity test, which merges this workbook too.
    for (const int sheet : {1, 4}) {
        const std::string* vml = merged.find(
            TargetOf(merged, "xl/worksheets/sheet" + std::to_string(sheet) + ".xml", "vmlDrawing"));
        ASSERT_NE(vml, nullptr);
        EXPECT_NE(vml->find("<v:textbox filled"), std::string::npos);
        EXPECT_EQ(ListVmlShapes(*vml).size(), 3u);
    }
    // Buttons: two buttons and a note, the macro link gone, the ActiveX control with its parts.
    std::set<std::string> controlParts;
    for (const int sheet : {2, 5}) {
        const std::string part = "xl/worksheets/sheet" + std::to_string(sheet) + ".xml";
        const std::string& vml = *merged.find(TargetOf(merged, part, "vmlDrawing"));
        EXPECT_EQ(ListVmlShapes(vml).size(), 3u);
        EXPECT_EQ(vml.find("FmlaMacro"), std::string::npos);
        const XmlNode root = PartTree(merged, part);
        const XmlNode* copied = FindElement(root, "control");
        ASSERT_NE(copied, nullptr) << part;
        const std::string resultShape = copied->attributeOr("shapeId", "");
        EXPECT_NE(vml.find("_x0000_s" + resultShape + "\""), std::string::npos)
            << "shape " << resultShape << " not in the copy's VML";
        const std::string properties = TargetOf(merged, part, "control");
        controlParts.insert(properties);
        const auto bytes = [&](const std::string& name) {
            return merged.find(name) != nullptr ? *merged.find(name) : "missing " + name;
        };
        EXPECT_EQ(bytes(properties), control) << part;
        EXPECT_EQ(bytes(TargetOf(merged, properties, "activeXControlBinary")), state) << part;
    }
    EXPECT_EQ(controlParts.size(), 2u);
    EXPECT_TRUE(ReportHas(report, spreadsheet::ReportKind::PartNotCarried, "macros"));
    EXPECT_FALSE(ReportHas(report, spreadsheet::ReportKind::PartNotCarried, "ActiveX"));

    // The header picture: the sheet points at its VML, which points at the picture.
    const XmlNode header = PartTree(merged, "xl/worksheets/sheet3.xml");
    ASSERT_NE(FindElement(header, "legacyDrawingHF"), nullptr);
    const std::string headerVml = TargetOf(merged, "xl/worksheets/sheet3.xml", "vmlDrawing");
    const std::string* picture = merged.find(TargetOf(merged, headerVml, "image"));
    ASSERT_NE(picture, nullptr);
    EXPECT_TRUE(picture->starts_with("\x89PNG"));

    // Every shape id and id block of every VML part of the result, each once.
    std::set<std::string> blocks;
    std::set<std::string> ids;
    for (const auto& entry : merged.entries()) {
        if (!entry.name.ends_with(".vml")) {
            continue;
        }
        for (const auto& block : Matches(entry.bytes, "idmap[^>]*data=\"([^\"]*)\"")) {
            for (const long number : ParseIdMapBlocks(block)) {
                EXPECT_TRUE(blocks.insert(std::to_string(number)).second)
                    << "block " << number << " repeated in " << entry.name;
            }
        }
        for (const auto& id : Matches(entry.bytes, "(?:id|spid)=\"(_x0000_s[^\"]*)\"")) {
            EXPECT_TRUE(ParseShapeId(id).has_value()) << id << " in " << entry.name;
            EXPECT_TRUE(ids.insert(id).second) << id << " repeated in " << entry.name;
        }
    }
    EXPECT_FALSE(blocks.empty());
}

#endif // QUILLORY_HAVE_XLSXWRITER

} // namespace
} // namespace quillory::testing

"""Pivot tables after a merge, judged by LibreOffice over UNO: fixtures are data pilot tables that
LibreOffice itself writes; after merging (with and without the data sheet, and with a sheet-name
clash that renames the data sheet) LibreOffice must see every copied pivot table as a data pilot,
over the intended sheet, and its refreshed output must equal the source's, cell for cell. The
result's caches have distinct cacheIds and the structural checker accepts it. Damaged pivot
tables stay as the cells they showed, are reported, and leave a sound package. Slicers and
timelines, added to the fixtures as a spreadsheet program writes them, come along with the pivot
tables and tables they filter, every link of their graph holding in the result, or are left out
and reported one by one."""

import collections
import os
import re
import sys
import unittest
import warnings
import zipfile

import openpyxl

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tools"))

import compare_sheets as cs  # noqa: E402
import libreoffice_uno as lo  # noqa: E402
import quillory_testing as qt  # noqa: E402

STATE = {}
# Day holds the serial numbers of 2024-01-01 to 2024-01-05, for timelines.
DATA = [["Region", "Product", "Amount", "Day"], ["North", "Apples", 10.0, 45292.0],
        ["South", "Pears", 7.0, 45293.0], ["North", "Pears", 3.5, 45294.0],
        ["East", "Apples", 12.0, 45295.0], ["South", "Apples", 1.0, 45296.0]]
DATA_SHEET = "Sales Data"
KEPT_AS_VALUES = "is kept as what it showed"
OFFICE_RELS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
SPREADSHEETML = "application/vnd.openxmlformats-officedocument.spreadsheetml."


def write_fixtures(office, folder):
    """pivots.xlsx: a pivot beside its data, two on another sheet sharing its cache, one over a
    smaller range (a second cache); clash.xlsx: a plain sheet named like the data sheet."""
    doc = office.open()
    doc.Sheets.getByIndex(0).setName(DATA_SHEET)
    doc.Sheets.insertNewByName("Report", 1)
    data, report = doc.Sheets.getByIndex(0), doc.Sheets.getByName("Report")
    lo.fill(data, DATA)
    whole = (0, 0, 3, len(DATA) - 1)
    lo.add_pivot(data, "Local", 0, whole, (5, 1), ["Region"], "Amount")
    lo.add_pivot(report, "ByRegion", 0, whole, (0, 0), ["Region"], "Amount")
    lo.add_pivot(report, "ByProduct", 0, whole, (4, 0), ["Product"], "Amount", columns=["Region"])
    lo.add_pivot(report, "FirstRows", 0, (0, 0, 2, 3), (0, 12), ["Product"], "Amount")
    report.getPivotCharts().addNewByName("RegionChart", lo.Rectangle(1000, 9000, 8000, 5000),
                                         "ByRegion")
    pivots = os.path.join(folder, "pivots.xlsx")
    office.save_xlsx(doc, pivots)
    doc = office.open()
    doc.Sheets.getByIndex(0).setName(DATA_SHEET)
    lo.fill(doc.Sheets.getByIndex(0), [["unrelated"], [1.0]])
    clash = os.path.join(folder, "clash.xlsx")
    office.save_xlsx(doc, clash)
    return pivots, clash


def read_pivots(path):
    doc = STATE["office"].open(path)
    try:
        found, stray = lo.pivots(doc)
    finally:
        doc.close(True)
    return {(sheet, name): (source, cells) for sheet, name, source, cells in found}, stray


def package_facts(path):
    """cacheIds of the workbook, pivotTable relationships, and each cache's worksheetSource
    attributes with the targets of its external relationships."""
    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        workbook = z.read("xl/workbook.xml").decode()
        ids = re.findall(r'<pivotCache cacheId="(\d+)"', workbook)
        pivot_rels = sum(z.read(n).decode().count("/relationships/pivotTable\"")
                         for n in names if n.startswith("xl/worksheets/_rels/"))
        sources = []
        for n in sorted(names):
            if re.fullmatch(r"xl/pivotCache/pivotCacheDefinition\d+\.xml", n):
                source = dict(re.findall(r'(\S+?)="([^"]*)"',
                                         re.search(r"<worksheetSource([^>]*)/>",
                                                   z.read(n).decode()).group(1)))
                rels = z.read(n.replace("pivotCache/", "pivotCache/_rels/") + ".rels").decode()
                source["external"] = re.findall(r'Target="([^"]+)" TargetMode="External"', rels)
                sources.append(source)
    return ids, pivot_rels, sources


def merge(name, paths=(), entries=None):
    """Merges into <name>.xlsx, which must be a sound package whose caches have distinct ids."""
    output = os.path.join(STATE["folder"], name + ".xlsx")
    messages = [item["message"] for item in qt.merge(output, paths, entries)]
    with zipfile.ZipFile(output) as z:
        ids = re.findall(r'<pivotCache cacheId="(\d+)"', z.read("xl/workbook.xml").decode())
    problems = qt.check_package(output) + ["cacheIds repeat: %s" % ids] * (len(set(ids)) < len(ids))
    if problems:
        raise AssertionError("%s: %s" % (output, problems))
    return output, messages


def setUpModule():
    qt.require_tools("merge", "check")
    if not lo.AVAILABLE:
        raise unittest.SkipTest("LibreOffice with python3-uno is not installed")
    STATE["folder"] = qt.temp_dir("pivots")
    STATE["office"] = lo.Office()
    STATE["pivots"], STATE["clash"] = write_fixtures(STATE["office"], STATE["folder"])
    STATE["source"], stray = read_pivots(STATE["pivots"])
    assert len(STATE["source"]) == 4 and not stray, STATE["source"]


def tearDownModule():
    if "office" in STATE:
        STATE["office"].close()


class PivotTablesStayAlive(unittest.TestCase):
    def check_result(self, output, sheets, stray_allowed=False):
        """sheets: {result sheet: (source sheet, the result sheet its pivots must read or None)}.
        LibreOffice renames pivot tables whose names repeat in a workbook, so pivots are matched
        by their refreshed cells."""
        ids, pivot_rels, sources = package_facts(output)
        self.assertEqual(len(ids), len(sources))
        result, stray = read_pivots(output)
        if not stray_allowed:
            self.assertEqual(stray, [])
        expected_count = 0
        for sheet, (source_sheet, data_sheet) in sheets.items():
            want = sorted(repr(cells) for (s, _), (_, cells) in STATE["source"].items()
                          if s == source_sheet)
            got = sorted(repr(cells) for (s, _), (_, cells) in result.items() if s == sheet)
            self.assertEqual(got, want, sheet)
            expected_count += len(want)
            if data_sheet is not None:
                self.assertEqual({src for (s, _), (src, _) in result.items() if s == sheet},
                                 {data_sheet}, sheet)
        self.assertEqual(len(result), expected_count)
        self.assertEqual(pivot_rels, expected_count)
        return sources

    def test_pivots_read_their_data_sheet_or_the_source_file(self):
        def by_name(n, t):
            if n == "xl/workbook.xml":
                return t.replace("</sheets>", "</sheets><definedNames><definedName name=\"Sales"
                                 "Range\">'Sales Data'!$A$1:$D$6</definedName></definedNames>")
            if n == "xl/pivotCache/pivotCacheDefinition1.xml":
                return t.replace('ref="A1:D6" sheet="Sales Data"', 'name="SalesRange"')
            return t
        pivots, clash, renamed = STATE["pivots"], STATE["clash"], DATA_SHEET + " (2)"
        file = ("file://" + os.path.realpath(pivots),)
        # (case, paths, entries, {result sheet: (source sheet, the sheet its pivots read)},
        #  (each cache's source sheet or name, its external targets), notes of pivots kept)
        cases = [
            ("whole", [pivots], None, {"Report": ("Report", DATA_SHEET),
                                       DATA_SHEET: (DATA_SHEET, DATA_SHEET)},
             [(DATA_SHEET, ())] * 2, 0),  # three pivot tables shared one cache and still do
            ("renamed", [clash, pivots], None, {"Report": ("Report", renamed),
                                                renamed: (DATA_SHEET, renamed)},
             [(renamed, ())] * 2, 0),
            # As formulas do, a copy reads its own sheet, else the first copy of the data sheet:
            # "Report (2)" shares the caches of "Report".
            ("twice", [pivots, pivots], None, {
                "Report": ("Report", DATA_SHEET), DATA_SHEET: (DATA_SHEET, DATA_SHEET),
                "Report (2)": ("Report", DATA_SHEET), renamed: (DATA_SHEET, renamed)},
             [(DATA_SHEET, ())] * 2 + [(renamed, ())], 0),
            ("named-range", [clash, damaged("named-range", by_name)], None,
             {"Report": ("Report", renamed), renamed: (DATA_SHEET, renamed)},
             [("SalesRange", ()), (renamed, ())], 0),
            # LibreOffice does not follow links to other files: it renders from the records.
            ("report-only", [], [(pivots, "Report")], {"Report": ("Report", None)},
             [(DATA_SHEET, file)] * 2, 3),
        ]
        for name, paths, entries, sheets, caches, in_the_file in cases:
            with self.subTest(name):
                output, messages = merge(name, paths, entries)
                sources = self.check_result(output, sheets, stray_allowed=in_the_file > 0)
                self.assertEqual(sorted((s.get("sheet", s.get("name")), tuple(s["external"]))
                                        for s in sources), sorted(caches))
                self.assertTrue(all("r:id" in s for s in sources if s["external"]))
                said = [m for m in messages if "in the file" in m]
                self.assertEqual(len(said), in_the_file, messages)
                if name == "whole":  # nothing renamed: LibreOffice reads the same pivot names
                    self.assertEqual(sorted(STATE["source"]), sorted(read_pivots(output)[0]))


class CorpusPivotTables(unittest.TestCase):
    FILES = ["lo-tf__calc--xlsx-import--perf--pivot-table-with-large-unique-entries.xlsx",
             "poi__test-data--spreadsheet--DataTableCities.xlsx"]

    def test_corpus_pivots_refresh_as_in_their_source(self):
        for name in self.FILES:
            path = os.path.join(qt.SHARED_DIR, "corpus", name)
            if not os.path.exists(path):
                self.skipTest("corpus workbook not found: " + path)
            with self.subTest(name):
                output, _ = merge("corpus-" + name[:20], [path])
                pivot_rels = package_facts(output)[1]
                source, _ = read_pivots(path)
                result, stray = read_pivots(output)
                self.assertEqual(stray, [])
                self.assertTrue(source)
                self.assertEqual(result, source)
                self.assertEqual(pivot_rels, len(source))


def damaged(name, edit, added=None):
    """A copy of pivots.xlsx with its parts passed through edit(part name, text) -> text or None
    (None leaves the part out), plus the parts `added` (name -> text)."""
    path = os.path.join(STATE["folder"], "source-" + name + ".xlsx")
    with zipfile.ZipFile(STATE["pivots"]) as src, zipfile.ZipFile(path, "w") as out:
        for info in src.infolist():
            data = src.read(info.filename)
            edited = info.filename.endswith((".xml", ".rels"))
            text = edit(info.filename, data.decode()) if edited else data
            if text is not None:
                out.writestr(info, text)
        for part, text in (added or {}).items():
            out.writestr(part, text)
    return path


def pivot_chart_names(path):
    with zipfile.ZipFile(path) as z:
        return sorted(m for n in z.namelist() if n.startswith("xl/charts/chart")
                      for m in re.findall(r"<c:pivotSource><c:name>([^<]*)</c:name>",
                                          z.read(n).decode()))


class PivotCharts(unittest.TestCase):
    """LibreOffice writes its pivot charts as plain charts: the link an .xlsx pivot chart has
    to its pivot table is added to its chart here."""

    @staticmethod
    def with_pivot_chart(name, extra=lambda n, t: t):
        link = ("<c:pivotSource><c:name>[pivots.xlsx]Report!ByRegion</c:name>"
                "<c:fmtId val=\"0\"/></c:pivotSource><c:chart>")
        return damaged(name, lambda n, t: extra(n, t.replace("<c:chart>", link, 1)
                                                if n.startswith("xl/charts/chart") else t))

    def test_pivot_chart_follows_its_pivot_table_or_becomes_plain(self):
        path = self.with_pivot_chart("pivot-chart")
        self.assertEqual(pivot_chart_names(path), ["[pivots.xlsx]Report!ByRegion"])
        output, _ = merge("pivot-chart-twice", [path, path])
        self.assertEqual(pivot_chart_names(output), ["[pivots.xlsx]Report (2)!ByRegion",
                                                     "[pivots.xlsx]Report!ByRegion"])
        # Its pivot table kept as values: an ordinary chart, reported.
        flat = self.with_pivot_chart("pivot-chart-flat", lambda n, t: None
                                     if "pivotCacheRecords" in n else t)
        output, messages = merge("pivot-chart-flat", [flat])
        self.assertEqual(pivot_chart_names(output), [])
        self.assertTrue(any("was a pivot chart" in m for m in messages), messages)


X14 = "http://schemas.microsoft.com/office/spreadsheetml/2009/9/main"
X15 = "http://schemas.microsoft.com/office/spreadsheetml/2010/11/main"
BOTH = '<pivotTable tabId="2" name="ByRegion"/><pivotTable tabId="2" name="ByProduct"/>'
BY_REGION = '<pivotTable tabId="2" name="ByRegion"/>'
# Per kind of view, as a spreadsheet program registers it: the workbook's extension listing the
# caches, the sheet's extension listing the views, each with its list and entry elements; the
# relationship kinds (also the content type names) and part names of view and cache; the view
# part's root, the cache part's; and the drawing frame (graphic uri, prefix, element, Requires).
# Writers differ in the letter case of the ids: the pivot slicers' list is written in capitals.
Kind = collections.namedtuple("Kind", "book_ext book_list book_entry sheet_ext sheet_list "
                              "sheet_entry year view_rel cache_rel view_part cache_part view_root "
                              "cache_root frame")
SLICER_FRAME = ("http://schemas.microsoft.com/office/drawing/2010/slicer", "sle", "slicer")
KINDS = {
    "slicer": Kind("{BBE1A952-AA13-448e-AADC-164F8A28A991}", "x14:slicerCaches",
                   "x14:slicerCache", "{A8765BA9-456A-4DAB-B4F3-ACF838C121DE}", "x14:slicerList",
                   "x14:slicer", "2007", "slicer", "slicerCache", "slicers/slicer",
                   "slicerCaches/slicerCache", "slicers", "slicerCacheDefinition",
                   SLICER_FRAME + ("a14", "http://schemas.microsoft.com/office/drawing/2010/main")),
    "table": Kind("{46BE6895-7355-4a93-B00E-2C351335B9C9}", "x15:slicerCaches", "x14:slicerCache",
                  "{3A4CF648-6AED-40f4-86FF-DC5316D8AED3}", "x14:slicerList", "x14:slicer",
                  "2007", "slicer", "slicerCache", "slicers/slicer", "slicerCaches/slicerCache",
                  "slicers", "slicerCacheDefinition",
                  SLICER_FRAME + ("sle15", "http://schemas.microsoft.com/office/drawing/2012/"
                                           "slicer")),
    "timeline": Kind("{D0CA8CA8-9F24-4464-BF8E-62219DCF47F9}", "x15:timelineCacheRefs",
                     "x15:timelineCacheRef", "{7E03D99C-DC04-49d9-9315-930204A7B6E9}",
                     "x15:timelineRefs", "x15:timelineRef", "2011", "timeline", "timelineCache",
                     "timelines/timeline", "timelineCaches/timelineCache", "timelines",
                     "timelineCacheDefinition",
                     ("http://schemas.microsoft.com/office/drawing/2012/timeslicer", "tsle",
                      "timeslicer", "a15",
                      "http://schemas.microsoft.com/office/drawing/2012/main")),
}


def view(kind, name, field, body, attrs=""):
    """A slicer or timeline (view and cache) on the Report sheet."""
    cache = ("NativeTimeline_" if kind == "timeline" else "Slicer_") + name
    root, ns = KINDS[kind].cache_root, X15 if kind == "timeline" else X14
    element, size = (("timeline", ' level="2" selectionLevel="2"') if kind == "timeline"
                     else ("slicer", ' rowHeight="241300"'))
    return (kind, name, cache,
            '<%s xmlns="%s" xmlns:x15="%s" name="%s" sourceName="%s">%s</%s>'
            % (root, ns, X15, cache, field, body, root),
            '<%s name="%s" cache="%s" caption="%s"%s%s/>' % (element, name, cache, field, size,
                                                             attrs))


def pivot_slicer(name, pivots=BOTH, attrs=""):
    return view("slicer", name, "Region", '<pivotTables>%s</pivotTables><data><tabular pivotCache'
                'Id="101"><items count="3"><i x="0" s="1"/><i x="1" s="1"/><i x="2"/></items>'
                "</tabular></data>" % pivots, attrs)


def table_slicer(name, column=2):
    return view("table", name, "Product", '<extLst><ext uri="{2F2917AC-EB37-4324-AD4E-5DD8C200BD13}'
                '"><x15:tableSlicerCache tableId="7" column="%d"/></ext></extLst>' % column)


def timeline(name, pivots=BY_REGION, filtered=(2, "ByRegion"), attrs=""):
    return view("timeline", name, "Day", '<pivotTables>%s</pivotTables><state minimalRefreshVersion'
                '="6" lastRefreshVersion="6" pivotCacheId="101" filterType="dateBetween" filterId='
                '"1" filterTabId="%d" filterPivotName="%s"><selection startDate="2024-01-02T00:00:'
                '00" endDate="2024-01-03T00:00:00"/><bounds startDate="2024-01-01T00:00:00" endDate'
                '="2024-01-06T00:00:00"/></state>' % ((pivots,) + filtered), attrs)


VIEWS = [pivot_slicer("Region"), pivot_slicer("Local", '<pivotTable tabId="1" name="Local"/>'),
         table_slicer("Product"), timeline("Day")]
TABLE = ('<table xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" id="7" '
         'name="SalesTable" displayName="SalesTable" ref="A1:D6"><autoFilter ref="A1:D6"/>'
         '<tableColumns count="4"><tableColumn id="1" name="Region"/><tableColumn id="2" '
         'name="Product"/><tableColumn id="3" name="Amount"/><tableColumn id="4" name="Day"/>'
         '</tableColumns><tableStyleInfo name="TableStyleMedium2" showRowStripes="1"/></table>')


def with_filters(name, views=VIEWS, edit=lambda n, t: t):
    """pivots.xlsx with a table over the data and the slicers and timelines `views` on the Report
    sheet, wired as a spreadsheet program writes them (LibreOffice cannot): caches in the
    workbook's extension lists under defined names, views in the sheet's lists, frames in its
    drawing (pivot slicers around the anchor, the others inside it), the pivot cache's slicer id
    (101) in its extension list."""
    ext = '<ext uri="%s" xmlns:x14="' + X14 + '" xmlns:x15="' + X15 + '">%s</ext>'

    def lists(book):
        def one(kind, uri, element, entry):
            return ext % (uri, "<%s>%s</%s>" % (element, "".join(
                '<%s r:id="rId%s%d"/>' % (entry, "C" if book else "V", i)
                for i, v in enumerate(views) if v[0] == kind), element))
        return "".join(one(k, *(kind[:3] if book else kind[3:6])) for k, kind in KINDS.items()
                       if any(v[0] == k for v in views))

    def anchor(i, content):
        return ('<xdr:twoCellAnchor><xdr:from><xdr:col>%d</xdr:col><xdr:colOff>0</xdr:colOff>'
                "<xdr:row>1</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>%d"
                "</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>9</xdr:row><xdr:rowOff>0</xdr:rowOff>"
                "</xdr:to>%s<xdr:clientData/></xdr:twoCellAnchor>"
                % (9 + 3 * i, 12 + 3 * i, content))

    def frame(i, v):
        uri, prefix, element, requires, requires_ns = KINDS[v[0]].frame
        graphic = ('<xdr:graphicFrame macro=""><xdr:nvGraphicFramePr><xdr:cNvPr id="%d" '
                   'name="%s"/><xdr:cNvGraphicFramePr/></xdr:nvGraphicFramePr><xdr:xfrm><a:off '
                   'x="0" y="0"/><a:ext cx="0" cy="0"/></xdr:xfrm><a:graphic><a:graphicData '
                   'uri="%s"><%s:%s xmlns:%s="%s" name="%s"/></a:graphicData></a:graphic>'
                   "</xdr:graphicFrame>"
                   % (90 + i, v[1], uri, prefix, element, prefix, uri, v[1]))
        box = ('<xdr:sp macro="" textlink=""><xdr:nvSpPr><xdr:cNvPr id="%d" name="%s box"/>'
               "<xdr:cNvSpPr/></xdr:nvSpPr><xdr:spPr/></xdr:sp>" % (80 + i, v[1]))
        alternate = ('<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-'
                     'compatibility/2006"><mc:Choice xmlns:%s="%s" Requires="%s">%%s</mc:Choice>'
                     "<mc:Fallback>%%s</mc:Fallback></mc:AlternateContent>"
                     % (requires, requires_ns, requires))
        if v[0] == "slicer":
            return alternate % (anchor(i, graphic), anchor(i, box))
        return anchor(i, alternate % (graphic, box))

    def wire(n, t):
        if n == "xl/workbook.xml":
            t = t.replace("<calcPr", "<definedNames>%s</definedNames><calcPr" % "".join(
                '<definedName name="%s">#N/A</definedName>' % v[2] for v in views)).replace(
                "<extLst>", "<extLst>" + lists(True))
        elif n == "xl/pivotCache/pivotCacheDefinition1.xml":
            t = t.replace("</pivotCacheDefinition>", "<extLst>" + ext % (
                "{725AE2AE-9491-48be-B2B4-4EB974FC3084}",
                '<x14:pivotCacheDefinition pivotCacheId="101"/>') +
                "</extLst></pivotCacheDefinition>")
        elif n == "xl/worksheets/sheet1.xml":
            t = t.replace("</worksheet>", '<tableParts count="1"><tablePart r:id="rIdTable"/>'
                          "</tableParts></worksheet>")
        elif n == "xl/worksheets/sheet2.xml":
            t = t.replace("</worksheet>", "<extLst>%s</extLst></worksheet>" % lists(False))
        elif n == "xl/worksheets/_rels/sheet1.xml.rels":
            t = with_relationship(t, "rIdTable", OFFICE_RELS + "table", "../tables/table1.xml")
        elif n in ("xl/_rels/workbook.xml.rels", "xl/worksheets/_rels/sheet2.xml.rels"):
            book = "workbook" in n
            for i, v in enumerate(views):
                kind = KINDS[v[0]]
                t = with_relationship(
                    t, "rId%s%d" % ("C" if book else "V", i),
                    "http://schemas.microsoft.com/office/%s/relationships/%s" % (
                        kind.year, kind.cache_rel if book else kind.view_rel),
                    "%s%d.xml" % (kind.cache_part if book else "../" + kind.view_part, i))
        elif n == "xl/drawings/drawing1.xml":
            t = t.replace("</xdr:wsDr>", "".join(frame(i, v) for i, v in enumerate(views)) +
                          "</xdr:wsDr>")
        elif n == "[Content_Types].xml":
            t = with_override(t, "xl/tables/table1.xml", SPREADSHEETML + "table+xml")
            for i, v in enumerate(views):
                kind = KINDS[v[0]]
                for part, rel in ((kind.view_part, kind.view_rel),
                                  (kind.cache_part, kind.cache_rel)):
                    t = with_override(t, "xl/%s%d.xml" % (part, i),
                                      "application/vnd.ms-excel.%s+xml" % rel)
        return edit(n, t)
    added = {"xl/tables/table1.xml": TABLE}
    for i, v in enumerate(views):
        kind = KINDS[v[0]]
        added["xl/%s%d.xml" % (kind.cache_part, i)] = v[3]
        added["xl/%s%d.xml" % (kind.view_part, i)] = ('<%s xmlns="%s">%s</%s>' % (
            kind.view_root, X15 if v[0] == "timeline" else X14, v[4], kind.view_root))
    return damaged(name, wire, added)


def attributes(text, element):
    return [dict(re.findall(r'(\S+?)="([^"]*)"', a))
            for a in re.findall(r"<(?:\w+:)?%s\b([^>]*)>" % element, text)]


def filter_graph(path):
    """Follows the slicers and timelines of a result as a spreadsheet program does, asserting that
    every link holds, and gives {(sheet, view): (cache, what it filters)}: the sheets of the
    pivot tables a cache lists, or the name of its table."""
    with warnings.catch_warnings():  # openpyxl drops the extensions it does not know, and says so
        warnings.simplefilter("ignore")
        openpyxl.load_workbook(path)

    def rels(z, part):
        return {rel: target for rel, (_, target) in cs.relationships(z, part).items()}

    def extension(text, uri):
        found = re.search(r'<ext uri="%s"[^>]*>(.*?)</ext>' % re.escape(uri), text, re.I)
        return found.group(1) if found else ""

    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        workbook = z.read("xl/workbook.xml").decode()
        wb_rels = rels(z, "xl/workbook.xml")
        sheets = {s["sheetId"]: (s["name"], wb_rels[s["r:id"]])
                  for s in attributes(workbook, "sheet")}
        defined = dict(re.findall(r'<definedName name="([^"]+)">([^<]*)<', workbook))
        pivot_caches = {c["cacheId"]: wb_rels[c["r:id"]]
                        for c in attributes(workbook, "pivotCache")}
        tables = {}
        for n in names:
            if n.startswith("xl/tables/"):
                text = z.read(n).decode()
                tables[attributes(text, "table")[0]["id"]] = (attributes(text, "table")[0]["name"],
                                                             len(attributes(text, "tableColumn")))

        def pivot_key(tab, pivot):
            for target in rels(z, sheets[tab][1]).values():
                table = z.read(target).decode() if "pivotTables/" in target else ""
                if 'name="%s"' % pivot in table:
                    cache = z.read(pivot_caches[attributes(table, "pivotTableDefinition")[0]
                                                ["cacheId"]]).decode()
                    return attributes(cache, "pivotCacheDefinition")[-1].get("pivotCacheId")
            raise AssertionError("no pivot table %s on sheet %s" % (pivot, sheets[tab][0]))

        caches, seen_parts, fields = {}, set(), set()
        for kind, parts in KINDS.items():
            for entry in attributes(extension(workbook, parts.book_ext), parts.book_entry[4:]):
                part = wb_rels[entry["r:id"]]
                seen_parts.add(part)
                text = z.read(part).decode()
                name = attributes(text, parts.cache_root)[0]["name"]
                assert defined.get(name) == "#N/A", (name, defined)
                if kind == "table":
                    table = attributes(text, "tableSlicerCache")[0]
                    assert int(table["column"]) <= tables[table["tableId"]][1]
                    what = tables[table["tableId"]][0]
                else:
                    key = attributes(text, "state" if kind == "timeline" else "tabular")[0]
                    listed = attributes(text, "pivotTable")
                    assert listed and all(pivot_key(p["tabId"], p["name"]) == key["pivotCacheId"]
                                          for p in listed), (name, listed)
                    if "filterPivotName" in key:
                        pivot_key(key["filterTabId"], key["filterPivotName"])
                    # A field of a pivot cache has at most one timeline cache.
                    field = (kind, key["pivotCacheId"],
                             attributes(text, parts.cache_root)[0]["sourceName"])
                    assert kind != "timeline" or field not in fields, field
                    fields.add(field)
                    what = [sheets[p["tabId"]][0] for p in listed]
                caches[name] = (kind, what)
        found, view_names = {}, []
        for sheet, part in sheets.values():
            text, sheet_rels = z.read(part).decode(), rels(z, part)
            shown = []
            for kind, parts in KINDS.items():
                for entry in attributes(extension(text, parts.sheet_ext), parts.sheet_entry[4:]):
                    seen_parts.add(sheet_rels[entry["r:id"]])
                    for v in attributes(z.read(sheet_rels[entry["r:id"]]).decode(),
                                        parts.view_rel):
                        assert caches[v["cache"]][0] in ((kind,) if kind == "timeline" else
                                                         ("slicer", "table")), v
                        found[(sheet, v["name"])] = (v["cache"], caches[v["cache"]][1])
                        shown.append(v["name"])
            frames = [f["name"] for target in sheet_rels.values() if "drawings/" in target
                      for k in ("slicer", "timeslicer")
                      for f in attributes(z.read(target).decode(), k)]
            assert sorted(frames) == sorted(shown), (sheet, frames, shown)
            view_names += shown
        assert len({v.lower() for v in view_names}) == len(view_names), view_names
        assert seen_parts == {n for n in names if re.match(r"xl/(slicer|timeline)", n)}, seen_parts
    return found


def with_styles(name, colour):
    """with_filters with its Region slicer and Day timeline in the custom styles Mine and MyTime,
    whose selected items are in this colour (written as a spreadsheet program writes them: a
    table style each, extended in the styles' extension list, with its own differential
    formats); its Local slicer names no style and shows the workbook's default, Mine."""
    def style(n, t):
        if n != "xl/styles.xml":
            return t
        table = ('<tableStyle name="%s" pivot="0" table="0" count="1"><tableStyleElement '
                 'type="wholeTable" dxfId="0"/></tableStyle>')
        special = ('<x1{0}:{1}Style name="{2}"><x1{0}:{1}StyleElements><x1{0}:{1}StyleElement '
                   'type="selected{3}" dxfId="{4}"/></x1{0}:{1}StyleElements></x1{0}:{1}Style>')
        ext = '<ext uri="%s" xmlns:x14="' + X14 + '" xmlns:x15="' + X15 + '">%s</ext>'
        styles = ('</cellStyles><dxfs count="1"><dxf><fill><patternFill><bgColor rgb="FFEEEEEE"/>'
                  '</patternFill></fill></dxf></dxfs><tableStyles count="2">%s%s</tableStyles>'
                  % (table % "Mine", table % "MyTime"))
        return t.replace("</cellStyles>", styles).replace(
            "</styleSheet>", "<extLst>%s%s%s</extLst></styleSheet>" % (
                ext % ("{46F421CA-312F-682f-3DD2-61675219B42D}", '<x14:dxfs count="2">%s%s'
                       "</x14:dxfs>" % tuple('<dxf><font><b/><color rgb="FF%s"/></font></dxf>'
                                             % c for c in ("000000", colour))),
                ext % ("{EB79DEF2-80B8-43e5-95BD-54CBDDF9020C}", '<x14:slicerStyles defaultSlicer'
                       'Style="Mine">%s'
                       "</x14:slicerStyles>" % special.format(4, "slicer", "Mine",
                                                             "ItemWithData", 1)),
                ext % ("{9260A510-F301-46a8-8635-F512D64BE5F5}", "<x15:timelineStyles>%s"
                       "</x15:timelineStyles>" % special.format(5, "timeline", "MyTime",
                                                               "TimeBlock", 1))))
    return with_filters(name, [pivot_slicer("Region", attrs=' style="Mine"'),
                               pivot_slicer("Local", '<pivotTable tabId="1" name="Local"/>'),
                               timeline("Day", attrs=' style="MyTime"')], style)


def filter_styles(path):
    """{view: (its style, the colour of that style's selected items)} of a result."""
    with zipfile.ZipFile(path) as z:
        styles = z.read("xl/styles.xml").decode()
        dxfs = re.search(r"<x14:dxfs\b.*?</x14:dxfs>", styles).group(0)
        colours = re.findall(r'<dxf>.*?rgb="FF(\w+)".*?</dxf>', dxfs)
        tables = {t["name"] for t in attributes(styles, "tableStyle")}
        special = {}
        for kind in ("slicer", "timeline"):
            for start, body in re.findall(r"<x1\d:%sStyle\b([^>]*)>(.*?)</x1\d:%sStyle>"
                                          % (kind, kind), styles):
                name = re.search(r'name="([^"]+)"', start).group(1)
                assert name in tables, "no table style " + name
                special[name] = colours[int(attributes(body, kind + "StyleElement")[0]["dxfId"])]
        return {v["name"]: (v["style"], special[v["style"]]) for n in z.namelist()
                if re.match(r"xl/(slicers|timelines)/", n)
                for v in attributes(z.read(n).decode(), "(?:slicer|timeline)") if "style" in v}


WHOLE = {("Report", "Region"): ("Slicer_Region", ["Report", "Report"]),
         ("Report", "Local"): ("Slicer_Local", [DATA_SHEET]),
         ("Report", "Product"): ("Slicer_Product", "SalesTable"),
         ("Report", "Day"): ("NativeTimeline_Day", ["Report"])}


class SlicersAndTimelines(unittest.TestCase):
    def test_views_come_along_with_what_they_filter_or_are_reported(self):
        full = with_filters("filters")
        flat = with_filters("filters-flat", edit=lambda n, t: None
                            if "pivotCacheRecords1" in n else t)
        elsewhere = with_filters("filters-elsewhere", [timeline("Day", filtered=(1, "Local"))])
        stateless = timeline("Day")
        damaged_views = with_filters("filters-damaged", [
            stateless[:3] + (re.sub(r"<state.*</state>", "", stateless[3]),) + stateless[4:],
            pivot_slicer("Ghost")[:4] + ('<slicer name="Ghost" cache="Slicer_Nowhere" '
                                         'rowHeight="241300"/>',)])
        unknown = with_filters("filters-unknown-style",
                               [pivot_slicer("Region", attrs=' style="Mine"')])
        renamed = DATA_SHEET + " (2)"
        cases = [
            ("whole", [full], None, WHOLE, []),
            # The second copy's views read the first copy of the data sheet, as its formulas do,
            # and share the caches that filter the same things; its pivot tables share the
            # first copy's pivot cache, whose Day field has one timeline cache.
            ("twice", [full, full], None, {**WHOLE, **{
                ("Report (2)", "Region 1"): ("Slicer_Region1", ["Report (2)", "Report (2)"]),
                ("Report (2)", "Local 1"): ("Slicer_Local", [DATA_SHEET]),
                ("Report (2)", "Product 1"): ("Slicer_Product", "SalesTable"),
                ("Report", "Day"): ("NativeTimeline_Day", ["Report", "Report (2)"]),
                ("Report (2)", "Day 1"): ("NativeTimeline_Day", ["Report", "Report (2)"])}}, []),
            ("renamed", [STATE["clash"], full], None,
             {**WHOLE, ("Report", "Local"): ("Slicer_Local", [renamed])}, []),
            ("report-only", [], [(full, "Report")], {
                k: v for k, v in WHOLE.items() if k[1] in ("Region", "Day")},
             ["Slicer 'Local'", "Slicer 'Product'"]),
            ("pivots-as-values", [flat], None,
             {("Report", "Product"): WHOLE[("Report", "Product")]},
             ["Slicer 'Local'", "Slicer 'Region'", "Timeline 'Day'"]),
            ("filter-elsewhere", [], [(elsewhere, "Report")], {}, ["Timeline 'Day'"]),
            ("style-unknown", [unknown], None, {}, ["Slicer 'Region'"]),
            ("damaged", [damaged_views], None, {}, ["Slicer 'Ghost'", "Timeline 'Day'"]),
        ]
        for name, paths, entries, carried, left_out in cases:
            with self.subTest(name):
                output, messages = merge("filters-" + name, paths, entries)
                self.assertEqual(filter_graph(output), carried)
                # LibreOffice, which ignores slicers, still opens every pivot table.
                self.assertEqual(len(read_pivots(output)[0]), package_facts(output)[1])
                said = sorted(m.split(" was not copied")[0] for m in messages
                              if re.match(r"(Slicer|Timeline) '", m))
                self.assertEqual(said, left_out, messages)
                self.assertFalse([m for m in messages if "slicer(s)" in m], messages)

    def test_custom_styles_come_along_renamed_where_another_source_defines_them_otherwise(self):
        red, blue = with_styles("styles-red", "FF0000"), with_styles("styles-blue", "0000FF")
        output, _ = merge("filters-styles", [red, blue, red])
        graph = filter_graph(output)
        self.assertEqual(len(graph), 9)
        # The two red copies filter one pivot cache; the blue workbook's timeline is renamed.
        self.assertEqual(sorted({c for c, _ in graph.values() if c.startswith("Native")}),
                         ["NativeTimeline_Day", "NativeTimeline_Day1"])
        self.assertEqual(filter_styles(output), {
            "Region": ("Mine", "FF0000"), "Local": ("Mine", "FF0000"), "Day": ("MyTime", "FF0000"),
            "Region 1": ("Mine 2", "0000FF"), "Local 1": ("Mine 2", "0000FF"),
            "Day 1": ("MyTime 2", "0000FF"), "Region 2": ("Mine", "FF0000"),
            "Local 2": ("Mine", "FF0000"), "Day 2": ("MyTime", "FF0000")})


class DamagedPivotTablesStayValues(unittest.TestCase):
    CASES = [
        ("records-missing", lambda n, t: None if "pivotCacheRecords" in n else t),
        ("definition-missing", lambda n, t: None if "pivotCacheDefinition" in n else t),
        ("cache-id-unknown", lambda n, t: t.replace('cacheId="1"', 'cacheId="7"')
         if n.startswith("xl/pivotTables/") else t),
        ("record-too-wide", lambda n, t: t.replace("</r>", '<n v="1"/></r>', 1)
         if "pivotCacheRecords" in n else t),
        ("location-outside", lambda n, t: re.sub(r'<location ref="[^"]*"',
                                                 '<location ref="A1:XFE3"', t)
         if n.startswith("xl/pivotTables/") else t),
    ]

    def test_each_damage_keeps_the_cells_and_reports(self):
        for name, edit in self.CASES:
            with self.subTest(name):
                path = damaged(name, edit)
                output, messages = merge("damaged-" + name, [path])
                ids, pivot_rels, sources = package_facts(output)
                self.assertEqual(len(ids), len(sources))
                self.assertLess(pivot_rels, 4)
                self.assertTrue(any(KEPT_AS_VALUES in m for m in messages), messages)
                self.assertEqual(len(read_pivots(output)[0]), pivot_rels)


CONNECTION = ('<connections xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
              '<connection id="3" name="Sales" type="{type}" refreshedVersion="6" saveData="1">'
              '<dbPr connection="DSN=Sales;" command="SELECT * FROM sales"/>{extra}</connection>'
              '</connections>')


def with_relationship(t, id_, kind, target):
    return t.replace("</Relationships>", '<Relationship Id="%s" Type="%s" Target="%s"/>'
                     "</Relationships>" % (id_, kind, target))


def with_override(t, part, content_type):
    return t.replace("</Types>", '<Override PartName="/%s" ContentType="%s"/></Types>'
                     % (part, content_type))


def over_connection(name, type_="1", extra=""):
    """pivots.xlsx with every cache fed by data connection 3 instead of its range."""
    def edit(n, t):
        if re.fullmatch(r"xl/pivotCache/pivotCacheDefinition\d+\.xml", n):
            return re.sub(r"<cacheSource .*?</cacheSource>",
                          '<cacheSource type="external" connectionId="3"/>', t, flags=re.S)
        if n == "xl/_rels/workbook.xml.rels":
            return with_relationship(t, "rIdC", OFFICE_RELS + "connections", "connections.xml")
        if n == "[Content_Types].xml":
            return with_override(t, "xl/connections.xml", SPREADSHEETML + "connections+xml")
        return t
    return damaged(name, edit, {"xl/connections.xml": CONNECTION.format(type=type_, extra=extra)})


class PivotCachesOverConnections(unittest.TestCase):
    def test_plain_connection_comes_along_and_cubes_stay_values(self):
        for name, type_, extra, carried in [("odbc", "1", "", True),
                                            ("cube", "5", "<olapPr/>", False)]:
            with self.subTest(name):
                output, messages = merge("connection-" + name, [over_connection(name, type_,
                                                                                extra)])
                openpyxl.load_workbook(output)
                with zipfile.ZipFile(output) as z:
                    names = z.namelist()
                    caches = [z.read(n).decode() for n in names
                              if re.fullmatch(r"xl/pivotCache/pivotCacheDefinition\d+\.xml", n)]
                    connections = (z.read("xl/connections.xml").decode()
                                   if "xl/connections.xml" in names else "")
                kept = [m for m in messages if KEPT_AS_VALUES in m]
                if carried:
                    self.assertEqual(kept, [])
                    self.assertEqual(len(caches), 2)
                    self.assertEqual(re.findall(r'<connection id="(\d+)" name="([^"]*)"',
                                                connections), [("1", "Sales")])
                    for cache in caches:
                        self.assertIn('<cacheSource type="external" connectionId="1"/>', cache)
                else:
                    self.assertEqual((caches, connections), ([], ""))
                    self.assertEqual(len(kept), 4, messages)
                    self.assertTrue(all("cube" in m for m in kept), kept)


if __name__ == "__main__":
    qt.main()

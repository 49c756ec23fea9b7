"""Pivot tables after a merge, judged by LibreOffice over UNO: fixtures are data pilot tables that
LibreOffice itself writes; after merging (with and without the data sheet, and with a sheet-name
clash that renames the data sheet) LibreOffice must see every copied pivot table as a data pilot,
over the intended sheet, and its refreshed output must equal the source's, cell for cell. The
result's caches have distinct cacheIds and the structural checker accepts it. Damaged pivot
tables stay as the cells they showed, are reported, and leave a sound package."""

import os
import re
import sys
import unittest
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tools"))

import libreoffice_uno as lo  # noqa: E402
import quillory_testing as qt  # noqa: E402

STATE = {}
DATA = [["Region", "Product", "Amount"], ["North", "Apples", 10.0], ["South", "Pears", 7.0],
        ["North", "Pears", 3.5], ["East", "Apples", 12.0], ["South", "Apples", 1.0]]
DATA_SHEET = "Sales Data"
KEPT_AS_VALUES = "is kept as what it showed"


def write_fixtures(office, folder):
    """pivots.xlsx: a pivot beside its data, two on another sheet sharing its cache, one over a
    smaller range (a second cache); clash.xlsx: a plain sheet named like the data sheet."""
    doc = office.new_document()
    doc.Sheets.getByIndex(0).setName(DATA_SHEET)
    doc.Sheets.insertNewByName("Report", 1)
    data, report = doc.Sheets.getByIndex(0), doc.Sheets.getByName("Report")
    lo.fill(data, DATA)
    whole = (0, 0, 2, len(DATA) - 1)
    lo.add_pivot(data, "Local", 0, whole, (5, 1), ["Region"], "Amount")
    lo.add_pivot(report, "ByRegion", 0, whole, (0, 0), ["Region"], "Amount")
    lo.add_pivot(report, "ByProduct", 0, whole, (4, 0), ["Product"], "Amount", columns=["Region"])
    lo.add_pivot(report, "FirstRows", 0, (0, 0, 2, 3), (0, 12), ["Product"], "Amount")
    report.getPivotCharts().addNewByName("RegionChart", lo.Rectangle(1000, 9000, 8000, 5000),
                                         "ByRegion")
    pivots = os.path.join(folder, "pivots.xlsx")
    office.save_xlsx(doc, pivots)
    doc = office.new_document()
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
    output = os.path.join(STATE["folder"], name + ".xlsx")
    return output, [item["message"] for item in qt.merge(output, paths, entries)]


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
        self.assertEqual(qt.check_package(output), [])
        ids, pivot_rels, sources = package_facts(output)
        self.assertEqual(len(ids), len(set(ids)), "two caches share a cacheId: %s" % ids)
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

    def test_whole_workbook_keeps_its_pivots_over_its_data_sheet(self):
        output, _ = merge("whole", [STATE["pivots"]])
        sources = self.check_result(output, {"Report": ("Report", DATA_SHEET),
                                             DATA_SHEET: (DATA_SHEET, DATA_SHEET)})
        self.assertEqual(sorted(STATE["source"]), sorted(read_pivots(output)[0]))
        # Three pivot tables shared one cache in the source and still do.
        self.assertEqual(len(sources), 2)
        self.assertTrue(all(s["sheet"] == DATA_SHEET and not s["external"] for s in sources))

    def test_renamed_data_sheet_is_followed(self):
        output, _ = merge("renamed", [STATE["clash"], STATE["pivots"]])
        renamed = DATA_SHEET + " (2)"
        sources = self.check_result(output, {"Report": ("Report", renamed),
                                             renamed: (DATA_SHEET, renamed)})
        self.assertEqual({s["sheet"] for s in sources}, {renamed})

    def test_workbook_twice_shares_caches_only_where_the_data_is_the_same(self):
        output, _ = merge("twice", [STATE["pivots"], STATE["pivots"]])
        # As formulas do, a copy reads its own sheet, else the first copy of the data sheet:
        # "Report (2)" shares the caches of "Report".
        second = DATA_SHEET + " (2)"
        sources = self.check_result(output, {"Report": ("Report", DATA_SHEET),
                                             DATA_SHEET: (DATA_SHEET, DATA_SHEET),
                                             "Report (2)": ("Report", DATA_SHEET),
                                             second: (DATA_SHEET, second)})
        self.assertEqual(sorted(s["sheet"] for s in sources), [DATA_SHEET, DATA_SHEET, second])

    def test_named_range_source_follows_its_name(self):
        def by_name(n, t):
            if n == "xl/workbook.xml":
                return t.replace("</sheets>", "</sheets><definedNames><definedName name=\"Sales"
                                 "Range\">'Sales Data'!$A$1:$C$6</definedName></definedNames>")
            if n == "xl/pivotCache/pivotCacheDefinition1.xml":
                return t.replace('ref="A1:C6" sheet="Sales Data"', 'name="SalesRange"')
            return t
        named = damaged("named-range", by_name)
        output, _ = merge("named-range", [STATE["clash"], named])
        renamed = DATA_SHEET + " (2)"
        sources = self.check_result(output, {"Report": ("Report", renamed),
                                             renamed: (DATA_SHEET, renamed)})
        self.assertIn({"name": "SalesRange", "external": []}, sources)

    def test_pivots_without_their_data_sheet_read_the_source_file(self):
        output, messages = merge("report-only", entries=[(STATE["pivots"], "Report")])
        # LibreOffice does not follow links to other files: it renders from the records.
        sources = self.check_result(output, {"Report": ("Report", None)}, stray_allowed=True)
        target = "file://" + os.path.realpath(STATE["pivots"])
        for source in sources:
            self.assertEqual(source["sheet"], DATA_SHEET)
            self.assertEqual(source["external"], [target])
            self.assertIn("r:id", source)
        said = [m for m in messages if "in the file" in m]
        self.assertEqual(len(said), 3, messages)


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
                self.assertEqual(qt.check_package(output), [])
                ids, pivot_rels, _ = package_facts(output)
                self.assertEqual(len(ids), len(set(ids)))
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
        self.assertEqual(qt.check_package(output), [])
        self.assertEqual(pivot_chart_names(output), ["[pivots.xlsx]Report (2)!ByRegion",
                                                     "[pivots.xlsx]Report!ByRegion"])
        # Its pivot table kept as values: an ordinary chart, reported.
        flat = self.with_pivot_chart("pivot-chart-flat", lambda n, t: None
                                     if "pivotCacheRecords" in n else t)
        output, messages = merge("pivot-chart-flat", [flat])
        self.assertEqual(qt.check_package(output), [])
        self.assertEqual(pivot_chart_names(output), [])
        self.assertTrue(any("was a pivot chart" in m for m in messages), messages)


X14 = "http://schemas.microsoft.com/office/spreadsheetml/2009/9/main"
SLICER_REL = "http://schemas.microsoft.com/office/2007/relationships/"


def with_slicer(name, tabs='<pivotTable tabId="2" name="ByRegion"/><pivotTable tabId="2" '
                'name="ByProduct"/>', edit=lambda n, t: t, view=""):
    """pivots.xlsx with a Region slicer on the Report sheet over the pivot tables `tabs`, wired
    as a spreadsheet program writes one (LibreOffice cannot): its cache registered in the
    workbook's extension list under a defined name, the view in the sheet's slicer list, its
    frame in the drawing, and the pivot cache's slicer id (101) in its extension list."""
    def wire(n, t):
        ext = '<ext uri="%s" xmlns:x14="' + X14 + '">%s</ext>'
        if n == "xl/workbook.xml":
            t = t.replace("<calcPr", '<definedNames><definedName name="Slicer_Region">#N/A'
                          "</definedName></definedNames><calcPr").replace(
                "<extLst>", "<extLst>" + ext % ("{BBE1A952-AA13-448e-AADC-164F8A28A991}",
                                                '<x14:slicerCaches><x14:slicerCache r:id="rIdSC"/>'
                                                "</x14:slicerCaches>"))
        elif n == "xl/pivotCache/pivotCacheDefinition1.xml":
            t = t.replace("</pivotCacheDefinition>", "<extLst>" + ext % (
                "{725AE2AE-9491-48be-B2B4-4EB974FC3084}",
                '<x14:pivotCacheDefinition pivotCacheId="101"/>') +
                "</extLst></pivotCacheDefinition>")
        elif n == "xl/worksheets/sheet2.xml":
            t = t.replace("</worksheet>", "<extLst>" + ext % (
                "{A8765BA9-456A-4dab-B4F3-ACF838C121DE}",
                '<x14:slicerList><x14:slicer r:id="rIdSL"/></x14:slicerList>') +
                "</extLst></worksheet>")
        elif n in ("xl/_rels/workbook.xml.rels", "xl/worksheets/_rels/sheet2.xml.rels"):
            kind, target = (("slicerCache", "slicerCaches/slicerCache1.xml") if "workbook" in n
                            else ("slicer", "../slicers/slicer1.xml"))
            t = t.replace("</Relationships>", '<Relationship Id="rIdS%s" Type="%s%s" Target="%s"/>'
                          "</Relationships>" % ("C" if "workbook" in n else "L", SLICER_REL, kind,
                                                target))
        elif n == "xl/drawings/drawing1.xml":
            anchor = ('<xdr:twoCellAnchor><xdr:from><xdr:col>9</xdr:col><xdr:colOff>0</xdr:colOff>'
                      "<xdr:row>1</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>"
                      "12</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>9</xdr:row><xdr:rowOff>0"
                      "</xdr:rowOff></xdr:to>%s<xdr:clientData/></xdr:twoCellAnchor>")
            sle = "http://schemas.microsoft.com/office/drawing/2010/slicer"
            frame = ('<xdr:graphicFrame macro=""><xdr:nvGraphicFramePr><xdr:cNvPr id="90" '
                     'name="Region"/><xdr:cNvGraphicFramePr/></xdr:nvGraphicFramePr><xdr:xfrm>'
                     '<a:off x="0" y="0"/><a:ext cx="0" cy="0"/></xdr:xfrm><a:graphic>'
                     '<a:graphicData uri="%s"><sle:slicer xmlns:sle="%s" name="Region"/>'
                     "</a:graphicData></a:graphic></xdr:graphicFrame>" % (sle, sle))
            box = ('<xdr:sp macro="" textlink=""><xdr:nvSpPr><xdr:cNvPr id="91" name="Region box"/>'
                   "<xdr:cNvSpPr/></xdr:nvSpPr><xdr:spPr/></xdr:sp>")
            t = t.replace("</xdr:wsDr>", '<mc:AlternateContent xmlns:mc="http://schemas.'
                          'openxmlformats.org/markup-compatibility/2006"><mc:Choice xmlns:a14="'
                          'http://schemas.microsoft.com/office/drawing/2010/main" Requires="a14">'
                          + anchor % frame + "</mc:Choice><mc:Fallback>" + anchor % box +
                          "</mc:Fallback></mc:AlternateContent></xdr:wsDr>")
        elif n == "[Content_Types].xml":
            t = t.replace("</Types>", "".join(
                '<Override PartName="/xl/%s" ContentType="application/vnd.ms-excel.%s+xml"/>' % p
                for p in (("slicers/slicer1.xml", "slicer"),
                          ("slicerCaches/slicerCache1.xml", "slicerCache"))) + "</Types>")
        return edit(n, t)
    return damaged(name, wire, {
        "xl/slicers/slicer1.xml":
            '<slicers xmlns="%s"><slicer name="Region" cache="Slicer_Region" caption="Region" '
            'rowHeight="241300"%s/></slicers>' % (X14, view),
        "xl/slicerCaches/slicerCache1.xml":
            '<slicerCacheDefinition xmlns="%s" name="Slicer_Region" sourceName="Region">'
            '<pivotTables>%s</pivotTables><data><tabular pivotCacheId="101"><items count="3">'
            '<i x="0" s="1"/><i x="1" s="1"/><i x="2"/></items></tabular></data>'
            "</slicerCacheDefinition>"
            % (X14, tabs)})


def slicer_facts(path):
    """Per slicer cache of the workbook: its name, whether a defined name holds it, the result
    sheet of each pivot table it lists (by tabId) with that pivot table's cache slicer id, and
    its own pivotCacheId; the slicer views of the sheets (name, cache) and the slicer frames of
    the drawings."""
    def attrs(text, element):
        return [dict(re.findall(r'(\S+?)="([^"]*)"', a))
                for a in re.findall(r"<(?:\w+:)?%s\b([^>]*)>" % element, text)]

    def rels(z, part):
        folder = part.rsplit("/", 1)[0]
        text = z.read(folder + "/_rels/" + part.rsplit("/", 1)[1] + ".rels").decode()
        return {r["Id"]: os.path.normpath(os.path.join(folder, r["Target"]))
                for r in attrs(text, "Relationship")}

    with zipfile.ZipFile(path) as z:
        workbook = z.read("xl/workbook.xml").decode()
        wb_rels = rels(z, "xl/workbook.xml")
        sheets = {s["sheetId"]: (s["name"], wb_rels[s["r:id"]]) for s in attrs(workbook, "sheet")}
        names = {d["name"] for d in attrs(workbook, "definedName")}
        caches = {c["cacheId"]: wb_rels[c["r:id"]] for c in attrs(workbook, "pivotCache")}

        def pivot_slicer_id(sheet_part, pivot_name):
            for target in rels(z, sheet_part).values():
                table = z.read(target).decode() if "pivotTables/" in target else ""
                if 'name="%s"' % pivot_name in table:
                    cache_id = re.search(r'cacheId="(\d+)"', table).group(1)
                    return attrs(z.read(caches[cache_id]).decode(),
                                 "pivotCacheDefinition")[-1].get("pivotCacheId")
            return None
        found = []
        for target in [wb_rels[r["r:id"]] for r in attrs(workbook, "slicerCache")]:
            text = z.read(target).decode()
            name = attrs(text, "slicerCacheDefinition")[0]["name"]
            listed = [(sheets[p["tabId"]][0], pivot_slicer_id(sheets[p["tabId"]][1], p["name"]))
                      for p in attrs(text, "pivotTable")]
            found.append((name, name in names, listed, attrs(text, "tabular")[0]["pivotCacheId"]))
        views = sorted((v["name"], v["cache"]) for n in z.namelist() if n.startswith("xl/slicers/")
                       for v in attrs(z.read(n).decode(), "slicer"))
        frames = sorted(f["name"] for n in z.namelist() if n.startswith("xl/drawings/drawing")
                        for f in attrs(z.read(n).decode(), "sle:slicer"))
    return sorted(found), views, frames


class Slicers(unittest.TestCase):
    def test_slicer_comes_along_with_its_pivot_tables(self):
        output, messages = merge("slicer-twice", [with_slicer("slicer")] * 2)
        self.assertEqual(qt.check_package(output), [])
        caches, views, frames = slicer_facts(output)
        self.assertEqual([(name, defined, [sheet for sheet, _ in listed])
                          for name, defined, listed, _ in caches],
                         [("Slicer_Region", True, ["Report", "Report"]),
                          ("Slicer_Region1", True, ["Report (2)", "Report (2)"])])
        for _, _, listed, pivot_cache in caches:
            self.assertEqual({key for _, key in listed}, {pivot_cache})
        self.assertEqual(len({key for *_, key in caches}), 1, "both copies read one data sheet")
        self.assertEqual(views, [("Region", "Slicer_Region"), ("Region 1", "Slicer_Region1")])
        self.assertEqual(frames, ["Region", "Region 1"])
        self.assertFalse([m for m in messages if "licer" in m], messages)
        self.assertEqual(len(read_pivots(output)[0]), 8)

    def test_slicer_whose_pivot_tables_or_style_stay_behind_is_left_out(self):
        local = '<pivotTable tabId="1" name="Local"/>'
        cases = [("other-sheet", with_slicer("slicer-local", local)),
                 ("as-values", with_slicer("slicer-flat", edit=lambda n, t: None
                                           if "pivotCacheRecords1" in n else t)),
                 ("custom-style", with_slicer("slicer-styled", view=' style="Mine"'))]
        for name, path in cases:
            with self.subTest(name):
                output, messages = merge("slicer-" + name, [path])
                self.assertEqual(qt.check_package(output), [])
                self.assertEqual(slicer_facts(output), ([], [], []))
                with zipfile.ZipFile(output) as z:
                    self.assertFalse([n for n in z.namelist() if "slicer" in n.lower()])
                    self.assertNotIn("slicerList", z.read("xl/worksheets/sheet2.xml").decode())
                self.assertTrue(any("Slicers" in m for m in messages), messages)


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
                self.assertEqual(qt.check_package(output), [])
                ids, pivot_rels, sources = package_facts(output)
                with zipfile.ZipFile(output) as z:
                    overrides = z.read("[Content_Types].xml").decode()
                    for part in re.findall(r'PartName="/([^"]+)"', overrides):
                        self.assertIn(part, z.namelist())
                self.assertEqual(len(ids), len(sources))
                self.assertLess(pivot_rels, 4)
                self.assertTrue(any(KEPT_AS_VALUES in m for m in messages), messages)
                result, _ = read_pivots(output)
                self.assertEqual(len(result), pivot_rels)


if __name__ == "__main__":
    qt.main()

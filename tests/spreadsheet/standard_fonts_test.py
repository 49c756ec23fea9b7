"""Four workbooks by independent writers, each with another standard font (libxlsxwriter's
Calibri 11, openpyxl's Calibri 12 and 游ゴシック 11, LibreOffice's Arial 10), merged into one:
every column and row of every copy keeps the size it had in its source, in pixels by the
ECMA-376 width arithmetic, and LibreOffice shows each copy as it shows the source."""

import json
import math
import os
import sys
import unittest
import xml.etree.ElementTree as ET
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tools"))

import openpyxl  # noqa: E402
from openpyxl.styles import Alignment, Font  # noqa: E402
from openpyxl.utils.indexed_list import IndexedList  # noqa: E402

import compare_sheets as cs  # noqa: E402
import libreoffice_uno as lo  # noqa: E402
import quillory_testing as qt  # noqa: E402

# Widest digit in pixels at 96 dpi of each standard font used here.
DIGIT_PX = {("Calibri", 11.0): 7, ("Calibri", 12.0): 8, ("Arial", 10.0): 7, ("游ゴシック", 11.0): 8}
# LibreOffice scales stored widths by the font's fractional digit width, the arithmetic above by
# whole pixels: a copy may look this much wider or narrower there than its source.
LIBREOFFICE_TOLERANCE = 0.05
# Fonts LibreOffice draws here with the font itself or a metric-compatible one; it shows a sheet
# in any other font (游ゴシック) with a stand-in of other widths, so its source view is no measure.
MEASURABLE_HERE = {("Calibri", 11.0), ("Calibri", 12.0), ("Arial", 10.0)}
MAIN = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
R_ID = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}id"
# Row 6 of the sheets written here holds wrapped text; LibreOffice stored the height it grew to
# in its own (openpyxl stores none, and LibreOffice does not refit rows when it opens a file).
GROWN_ROW_SHEETS = {"Arial 10"}
STATE = {}


def width_px(width, mdw):
    return int(((256 * width + int(128 / mdw)) / 256) * mdw)


class Layout:
    """A sheet's stated sizes, read from its part: standard font, sheetFormatPr, cols, rows."""

    def __init__(self, path, sheet_name):
        with zipfile.ZipFile(path) as package:
            rels = cs.relationships(package, "xl/workbook.xml")
            workbook = ET.fromstring(package.read("xl/workbook.xml"))
            sheet = next(s for s in workbook.iter(MAIN + "sheet") if s.get("name") == sheet_name)
            root = ET.fromstring(package.read(rels[sheet.get(R_ID)][1]))
            styles = ET.fromstring(package.read(next(
                p for t, p in rels.values() if t.endswith("/styles"))))
        style = next(s for s in styles.iter(MAIN + "cellStyle") if s.get("builtinId") == "0")
        xf = styles.find(MAIN + "cellStyleXfs").findall(MAIN + "xf")[int(style.get("xfId"))]
        font = styles.find(MAIN + "fonts").findall(MAIN + "font")[int(xf.get("fontId"))]
        self.font = (font.find(MAIN + "name").get("val"), float(font.find(MAIN + "sz").get("val")))
        self.format = (root.find(MAIN + "sheetFormatPr").attrib
                       if root.find(MAIN + "sheetFormatPr") is not None else {})
        self.widths = {}
        for col in root.iter(MAIN + "col"):
            for c in range(int(col.get("min")), min(int(col.get("max")), 64) + 1):
                self.widths[c] = float(col.get("width")) if col.get("width") else None
        self.heights = {int(r.get("r")): float(r.get("ht")) for r in root.iter(MAIN + "row")
                        if r.get("ht") is not None}
        self.custom_rows = {int(r.get("r")) for r in root.iter(MAIN + "row")
                            if r.get("customHeight") in ("1", "true")}

    def column_px(self, c):
        mdw = DIGIT_PX[self.font]
        if self.widths.get(c) is not None:
            return width_px(self.widths[c], mdw)
        if "defaultColWidth" in self.format:
            return width_px(float(self.format["defaultColWidth"]), mdw)
        base = int(self.format.get("baseColWidth", 8))
        return int(math.ceil((base * mdw + 5) / 8.0) * 8)

    def row_pt(self, r):
        return self.heights.get(r, float(self.format.get("defaultRowHeight", 15)))


def openpyxl_book(path, font_name, size):
    """A workbook whose Normal style's font is the given one, with stated and default widths,
    stated and default heights, and a row that grows for wrapped text."""
    book = openpyxl.Workbook()
    font = Font(name=font_name, sz=size, family=2)
    book._fonts = IndexedList([font])
    book._named_styles["Normal"].font = font
    sheet = book.active
    sheet.title = "%s %g" % (font_name, size)
    for row in range(1, 12):
        sheet.cell(row, 1, row * 1234.5)
    sheet.column_dimensions["B"].width = 20
    sheet.column_dimensions["D"].width = 3.5
    sheet.row_dimensions[3].height = 30
    sheet["C6"] = "text long enough to wrap onto several lines in a narrow column"
    sheet["C6"].alignment = Alignment(wrap_text=True)
    book.save(path)


def write_arial_book(office, path):
    """LibreOffice's own workbook: its Default cell style in Arial 10."""
    doc = office.new_document()
    default = doc.StyleFamilies.getByName("CellStyles").getByName("Default")
    default.CharFontName, default.CharHeight = "Arial", 10
    sheet = doc.Sheets.getByIndex(0)
    sheet.Name = "Arial 10"
    for row in range(11):
        sheet.getCellByPosition(0, row).Value = row * 1234.5
    sheet.Columns.getByIndex(1).Width = 4500  # 1/100 mm
    sheet.Rows.getByIndex(2).Height = 1000
    cell = sheet.getCellByPosition(2, 5)
    cell.String = "text long enough to wrap onto several lines in a narrow column"
    cell.IsTextWrapped = True
    office.save_xlsx(doc, path, "Calc MS Excel 2007 XML")


def shown_sizes(path, sheet_name, columns, rows):
    """Column widths and row heights (1/100 mm) as LibreOffice shows them."""
    doc = STATE["office"].open(path)
    sheet = doc.Sheets.getByName(sheet_name)
    found = ([sheet.Columns.getByIndex(c - 1).Width for c in columns],
             [sheet.Rows.getByIndex(r - 1).Height for r in rows])
    doc.close(True)
    return found


def setUpModule():
    qt.require_tools("merge", "fixtures")
    if not lo.AVAILABLE:
        raise unittest.SkipTest("LibreOffice with python3-uno is not installed")
    folder = qt.temp_dir("fonts")
    fixtures = qt.write_fixtures(os.path.join(folder, "fixtures"))
    layout = next(p for p in fixtures if os.path.basename(p) == "layout.xlsx")
    office = STATE["office"] = lo.Office()
    books = [os.path.join(folder, name) for name in ("calibri12.xlsx", "yugothic11.xlsx", "arial10.xlsx")]
    openpyxl_book(books[0], "Calibri", 12)
    openpyxl_book(books[1], "游ゴシック", 11)
    write_arial_book(office, books[2])
    # The result takes Calibri 12 from the first workbook; the others are converted into it.
    sources = [books[0], layout, books[2], books[1]]
    entries = [(path, name) for path in sources for name in openpyxl.load_workbook(path).sheetnames]
    output = os.path.join(folder, "merged.xlsx")
    STATE["report"] = qt.merge(output, entries=entries)
    STATE.update(entries=entries, output=output,
                 result_names=openpyxl.load_workbook(output).sheetnames)


def tearDownModule():
    if "office" in STATE:
        STATE["office"].close()


class StandardFontsTest(unittest.TestCase):
    def copies(self):
        for (path, name), result_name in zip(STATE["entries"], STATE["result_names"]):
            yield path, name, Layout(path, name), Layout(STATE["output"], result_name), result_name

    def test_sources_have_the_four_standard_fonts(self):
        fonts = {Layout(path, name).font for path, name in STATE["entries"]}
        self.assertEqual(fonts, set(DIGIT_PX))

    def test_every_column_and_row_keeps_its_pixels(self):
        for path, name, source, copy, _ in self.copies():
            self.assertEqual(copy.font, ("Calibri", 12.0))
            last_col = max(list(source.widths) + [12]) + 2
            for c in range(1, last_col + 1):
                self.assertEqual(copy.column_px(c), source.column_px(c),
                                 "%s!%s column %d" % (os.path.basename(path), name, c))
            for r in range(1, max(list(source.heights) + [30]) + 3):
                self.assertEqual(copy.row_pt(r), source.row_pt(r),
                                 "%s!%s row %d" % (os.path.basename(path), name, r))
            self.assertEqual(copy.custom_rows, source.custom_rows,
                             "rows that fit their text must stay free to grow")
            if source.font != copy.font:
                self.assertIn(copy.format.get("customHeight"), ("1", "true"),
                              "%s!%s: default rows must not follow the result's font" % (path, name))

    def test_one_note_per_workbook_whose_font_differs(self):
        notes = [item for item in STATE["report"] if "differs from the result's" in item["message"]]
        self.assertEqual(sorted(item["sourceFile"] for item in notes),
                         sorted(["layout.xlsx", "arial10.xlsx", "yugothic11.xlsx"]))
        for item in notes:
            self.assertIn("converted to keep their size", item["message"])

    def test_libreoffice_shows_each_copy_as_its_source(self):
        worst = {}
        for path, name, source, _, result_name in self.copies():
            columns = list(range(1, max(list(source.widths) + [12]) + 1))
            rows = list(range(1, max(list(source.heights) + [30]) + 1))
            expected = shown_sizes(path, name, columns, rows)
            shown = shown_sizes(STATE["output"], result_name, columns, rows)
            if name in GROWN_ROW_SHEETS:  # row 6 holds wrapped text, row 7 nothing
                self.assertGreater(shown[1][5], shown[1][6], "%s: row 6 must grow" % name)
            for kind, want, got in zip(("column", "row"), expected, shown):
                for index, (a, b) in enumerate(zip(want, got)):
                    difference = abs(a - b) / max(a, b, 1)
                    key = (source.font, kind)
                    if difference > worst.get(key, (0,))[0]:
                        worst[key] = (difference, "%s %d: %d != %d" % (name, index + 1, a, b))
        print(json.dumps({"%s %g %s" % (k[0][0], k[0][1], k[1]): "%.1f%% %s" % (v[0] * 100, v[1])
                          for k, v in worst.items()}, ensure_ascii=False, indent=1), file=sys.stderr)
        for (font, kind), (difference, example) in worst.items():
            if font in MEASURABLE_HERE:
                self.assertLessEqual(difference, LIBREOFFICE_TOLERANCE, example)

if __name__ == "__main__":
    qt.main()

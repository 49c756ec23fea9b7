"""Four workbooks by independent writers, each with another standard font (libxlsxwriter's
Calibri 11, openpyxl's Calibri 12 and 游ゴシック 11, LibreOffice's Arial 10), merged into one:
LibreOffice shows every column and row of every copy at the size it shows in the source, and the
report has one note per workbook whose font differs. (The width arithmetic itself is the engine
tests' concern.)"""

import json
import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tools"))

import openpyxl  # noqa: E402
from openpyxl.styles import Alignment, Font  # noqa: E402
from openpyxl.utils.indexed_list import IndexedList  # noqa: E402

import libreoffice_uno as lo  # noqa: E402
import quillory_testing as qt  # noqa: E402

# LibreOffice scales stored widths by the font's fractional digit width, the engine by whole
# pixels: a copy may look this much wider or narrower there than its source.
LIBREOFFICE_TOLERANCE = 0.05
# Fonts LibreOffice draws here with the font itself or a metric-compatible one; it shows a sheet
# in any other font (游ゴシック) with a stand-in of other widths, so its source view is no measure.
MEASURABLE_HERE = {("Calibri", 11.0), ("Calibri", 12.0), ("Arial", 10.0)}
STANDARD_FONTS = MEASURABLE_HERE | {("游ゴシック", 11.0)}
# Row 6 of the sheets written here holds wrapped text; LibreOffice stored the height it grew to
# in its own (openpyxl stores none, and LibreOffice does not refit rows when it opens a file).
GROWN_ROW_SHEETS = {"Arial 10"}
STATE = {}


def normal_font(path):
    font = openpyxl.load_workbook(path)._named_styles["Normal"].font
    return font.name, float(font.sz)


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
    doc = office.open()
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


def stated_extent(path, sheet_name):
    """How many columns and rows to look at: those the sheet states sizes for, and a few beyond."""
    ws = openpyxl.load_workbook(path)[sheet_name]
    return (max([12] + [d.max or 0 for d in ws.column_dimensions.values()]),
            max([30] + [r for r, d in ws.row_dimensions.items() if d.ht]))


def shown_sizes(path, sheet_name, columns, rows):
    """Column widths and row heights (1/100 mm) as LibreOffice shows them."""
    doc = STATE["office"].open(path)
    sheet = doc.Sheets.getByName(sheet_name)
    found = ([sheet.Columns.getByIndex(c).Width for c in range(columns)],
             [sheet.Rows.getByIndex(r).Height for r in range(rows)])
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
    books = [os.path.join(folder, name) for name in ("calibri12.xlsx", "yugothic11.xlsx",
                                                     "arial10.xlsx")]
    openpyxl_book(books[0], "Calibri", 12)
    openpyxl_book(books[1], "游ゴシック", 11)
    write_arial_book(office, books[2])
    # The result takes Calibri 12 from the first workbook; the others are converted into it.
    sources = [books[0], layout, books[2], books[1]]
    entries = [(path, name) for path in sources
               for name in openpyxl.load_workbook(path).sheetnames]
    output = os.path.join(folder, "merged.xlsx")
    STATE["report"] = qt.merge(output, entries=entries)
    STATE.update(entries=entries, output=output,
                 result_names=openpyxl.load_workbook(output).sheetnames)


def tearDownModule():
    if "office" in STATE:
        STATE["office"].close()


class StandardFontsTest(unittest.TestCase):
    def test_one_note_per_workbook_whose_font_differs(self):
        self.assertEqual({normal_font(path) for path, _ in STATE["entries"]}, STANDARD_FONTS)
        self.assertEqual(normal_font(STATE["output"]), ("Calibri", 12.0))
        notes = [item for item in STATE["report"] if "differs from the result's" in item["message"]]
        self.assertEqual(sorted(item["sourceFile"] for item in notes),
                         sorted(["layout.xlsx", "arial10.xlsx", "yugothic11.xlsx"]))
        for item in notes:
            self.assertIn("converted to keep their size", item["message"])

    def test_libreoffice_shows_each_copy_as_its_source(self):
        worst = {}
        for (path, name), result_name in zip(STATE["entries"], STATE["result_names"]):
            extent = stated_extent(path, name)
            expected = shown_sizes(path, name, *extent)
            shown = shown_sizes(STATE["output"], result_name, *extent)
            if name in GROWN_ROW_SHEETS:  # row 6 holds wrapped text, row 7 nothing
                self.assertGreater(shown[1][5], shown[1][6], "%s: row 6 must grow" % name)
            key = normal_font(path)
            for kind, want, got in zip(("column", "row"), expected, shown):
                for index, (a, b) in enumerate(zip(want, got)):
                    difference = abs(a - b) / max(a, b, 1)
                    if difference > worst.get((key, kind), (0,))[0]:
                        worst[(key, kind)] = (difference, "%s %s %d: %d != %d" % (
                            name, kind, index + 1, a, b))
        print(json.dumps({"%s %g %s" % (k[0][0], k[0][1], k[1]): "%.1f%% %s" % (v[0] * 100, v[1])
                          for k, v in worst.items()}, ensure_ascii=False, indent=1),
              file=sys.stderr)
        for (font, kind), (difference, example) in worst.items():
            if font in MEASURABLE_HERE:
                self.assertLessEqual(difference, LIBREOFFICE_TOLERANCE, example)


if __name__ == "__main__":
    qt.main()

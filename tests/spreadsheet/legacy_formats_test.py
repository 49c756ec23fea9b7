"""Legacy sources, listed natively and merged through LibreOffice's conversion, against
independent readers. Workbooks written by openpyxl (styled, awkward sheet names, Western names,
large, East Asian fonts, defined names) are saved as .xls by LibreOffice and by Gnumeric (BIFF8 and
BIFF5) and as .ods; with the .xls files of the shared corpus, every one is listed by quillory-merge
--list, which must name the worksheets xlrd reads in order, and every worksheet of every one is
merged in one run: one converter run for all (two sources of one file name included), each
converted source reported, nothing left behind, the sources byte for byte as before. openpyxl
compares each copy with LibreOffice's own .xlsx of its source and, where that reading loses what
the .xls holds, with xlrd's reading of the .xls. The result is read by openpyxl directly:
LibreOffice re-reading an .xlsx it wrote drops the formats of some empty styled cells."""

import datetime
import json
import os
import re
import shutil
import subprocess
import sys
import types
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tools"))

import openpyxl  # noqa: E402
import xlrd  # noqa: E402
from openpyxl.chart import BarChart, Reference  # noqa: E402
from openpyxl.workbook.defined_name import DefinedName  # noqa: E402
from openpyxl.utils import get_column_letter  # noqa: E402
from openpyxl.styles import Alignment, Border, Font, PatternFill, Side  # noqa: E402

import compare_sheets as cs  # noqa: E402
import quillory_testing as qt  # noqa: E402

CORPUS = os.path.join(qt.SHARED_DIR, "corpus")
SSCONVERT = shutil.which("ssconvert")

DATE_SYSTEM_DAYS = 1462
NAMES = ["Données", "O'Brien & <Co>", "Chart Sheet", "Ελληνικά", "Hidden",
         "abcdefghijklmnopqrstuvwxyz01234", "日本語", "Smile 😀"]
LATIN_NAMES = ["Données", "Café €", "Straße", "Ärger"]


def normal_font(side):
    return cs.font_of(types.SimpleNamespace(font=side.wb._fonts[0]), side)


def compare_fonts(src, out, src_ws, out_ws, _map):
    """Fonts; a cell in its workbook's Normal font may show the result's Normal font: the result
    keeps the first source's Normal style, as a spreadsheet program does when it copies a sheet
    into another workbook."""
    normal_src, normal_out = normal_font(src), normal_font(out)
    diffs = []
    for coord in sorted(set(cs._cells(src_ws)) | set(cs._cells(out_ws))):
        a = cs.font_of(src_ws.cell(*coord), src)
        b = cs.font_of(out_ws.cell(*coord), out)
        follows_normal = cs.same_description(a, normal_src) and cs.same_description(b, normal_out)
        if not (cs.same_description(a, b) or follows_normal):
            diffs.append("%s: font %s became %s" % (src_ws.cell(*coord).coordinate, a, b))
    return cs._limit(diffs)


def compare_values(src, out, src_ws, out_ws, sheet_map):
    """Values and formulas; the cached date of a live formula from a workbook with the other date
    system is the source's serial until the formula computes again (reported by the merge)."""
    diffs = []
    for diff in cs.compare_values_and_formulas(src, out, src_ws, out_ws, sheet_map):
        ref = diff.split(":")[0]
        if ": cached value " in diff and src.wb.epoch != out.wb.epoch:
            a = src.values[src_ws.title][ref].value
            b = out.values[out_ws.title][ref].value
            if isinstance(a, datetime.datetime) and isinstance(b, datetime.datetime) and \
                    abs((a - b).days) == DATE_SYSTEM_DAYS:
                continue
        diffs.append(diff)
    return diffs


def compare_hidden(_src, _out, src_ws, out_ws, _map):
    hidden = (src_ws.sheet_state != "visible", out_ws.sheet_state != "visible")
    return [] if hidden[0] == hidden[1] else ["hidden %s became %s" % hidden]


COMPARISONS = [
    ("values", compare_values), ("number formats", cs.compare_number_formats),
    ("fonts", compare_fonts), ("fills", cs.compare_fills), ("borders", cs.compare_borders),
    ("alignment", cs.compare_alignment), ("cell protection", cs.compare_cell_protection),
    ("merged cells", cs.compare_merged_cells), ("hidden", compare_hidden),
]

# What LibreOffice's reading of a .xls loses itself; the copy is held to xlrd's reading instead:
# wholly, or in the cells whose format (the workbook's own number format, a fill in the system
# background) LibreOffice re-spells.
JUDGED_BY_XLRD = ("alignment", "merged cells")
JUDGED_BY_XLRD_IN_CELLS = {  # where in xlrd_layout's tuple, what LibreOffice's reading says
    "number formats": (3, lambda cell, _side: {"format": cell.number_format}),
    "fills": (4, cs.fill_of)}

NUMBER_FORMATS = ["0.00%", "#,##0.00", "yyyy-mm-dd", "0.000E+00", "#,##0.00 [$EUR]", "@",
                  "0.0;[Red]-0.0"]
FILLS = ["FFFF00", "C0C0C0", "99CCFF", "FF8080"]


def write_styled_workbook(path):
    """Every cell of 'Styled' differs from its neighbours in one format the comparison reads."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Styled"
    ws["A1"] = "Heading"
    ws["A1"].font = Font(bold=True, size=14, color="FF0000FF")
    for row, code in enumerate(NUMBER_FORMATS, start=2):
        cell = ws.cell(row=row, column=1, value=row * 1234.5678 if code != "@" else "text")
        cell.number_format = code
        if code == "yyyy-mm-dd":
            cell.value = datetime.datetime(2024, 3, row)
    for row, colour in enumerate(FILLS, start=2):
        cell = ws.cell(row=row, column=2, value="fill %s" % colour)
        cell.fill = PatternFill("solid", fgColor="FF" + colour)
        cell.font = Font(italic=row % 2 == 0, bold=row % 2 == 1, color="FF800000")
    thin = Side(style="thin", color="FF000000")
    ws["C2"] = "boxed"
    ws["C2"].border = Border(left=thin, right=thin, top=thin, bottom=Side(style="double"))
    ws["C3"] = "wrapped and centred"
    ws["C3"].alignment = Alignment(horizontal="center", vertical="top", wrap_text=True)
    ws["C4"] = "underlined"
    ws["C4"].font = Font(underline="single", strike=True)
    ws["D2"] = "merged"
    ws.merge_cells("D2:E3")
    plain = wb.create_sheet("Plain")
    for row in range(1, 30):
        plain.cell(row=row, column=1, value=row)
        plain.cell(row=row, column=2, value="row %d" % row)
    wb.save(path)


def write_named_workbook(path, names, rows=3, columns=1):
    """Sheets of the given names (a chart sheet for "Chart Sheet", "Hidden" hidden)."""
    wb = openpyxl.Workbook()
    wb.remove(wb.active)
    for name in names:
        if name == "Chart Sheet":
            chart = BarChart()
            chart.add_data(Reference(wb.worksheets[0], min_col=1, min_row=1, max_row=3))
            wb.create_chartsheet(name).add_chart(chart)
            continue
        ws = wb.create_sheet(name)
        ws.sheet_state = "hidden" if name == "Hidden" else "visible"
        for row in range(1, rows + 1):
            for column in range(1, columns + 1):
                ws.cell(row, column, row * column if column % 2 else "%s %d" % (name, row))
    wb.save(path)


# Names of the workbook and of each sheet (one name twice, in two scopes), used by formulas on both
# sheets, with the cells holding those formulas.
NAMES_DEFINED = [("Rate", "Data!$B$1", None), ("Tax", "0.2", None),
                 ("Amounts", "Data!$A$1:$A$3", 0), ("Amounts", "Data!$A$1:$A$2", 1),
                 ("Dyn", "OFFSET(Data!$A$1,0,0,COUNT(Data!$A:$A),1)", None),
                 ("Twice", "Data!$B$1*2", None), ("Chain", "Rate+Tax", None)]
NAMED_FORMULAS = {("Data", "C1"): "=SUM(Amounts)*Rate", ("Calc", "A1"): "=SUM(Amounts)",
                  ("Calc", "A2"): "=SUM(Data!Amounts)+Tax", ("Calc", "A3"): "=Rate*Tax",
                  ("Calc", "A4"): "=SUM(Dyn)", ("Calc", "A5"): "=Twice+Chain"}


def write_names_workbook(path):
    wb = openpyxl.Workbook()
    data = wb.active
    data.title = "Data"
    for row, value in enumerate([10, 20, 30], start=1):
        data.cell(row, 1, value)
    data["B1"] = 0.5
    wb.create_sheet("Calc")
    for name, refers_to, sheet in NAMES_DEFINED:
        wb.defined_names.append(DefinedName(name, attr_text=refers_to, localSheetId=sheet))
    for (sheet, ref), formula in NAMED_FORMULAS.items():
        wb[sheet][ref] = formula
    wb.save(path)


def with_standard_width(path, out, sheets, width=3510):
    """A copy of the workbook whose sheets' DEFCOLWIDTH records are rewritten in place as
    STANDARDWIDTH records (the same length): the default width in 1/256 of a character, as Excel
    writes it and neither LibreOffice nor Gnumeric does."""
    with open(path, "rb") as fh:
        data = fh.read()
    data, found = re.subn(rb"\x55\x00\x02\x00..", b"\x99\x00\x02\x00" + width.to_bytes(2, "little"),
                          data, flags=re.S)
    assert found == sheets, "%d DEFCOLWIDTH records in %s" % (found, path)
    with open(out, "wb") as fh:
        fh.write(data)
    return out


# Widest digit in pixels of standard fonts (published figures), by name and size in twips.
DIGIT_WIDTHS = {("Arial", 200): 7, ("Calibri", 220): 7, ("Calibri", 240): 8}


def xlrd_default_width(book, sheet):
    """(default width in characters or None, base width or None): STANDARDWIDTH where the sheet
    has it; else DEFCOLWIDTH digits, 5 pixels of padding and gridline, rounded up to blocks of
    8 pixels, for a standard font of known digit width."""
    if sheet.standardwidth is not None:
        return sheet.standardwidth / 256.0, None
    font = book.font_list[0]
    digit = DIGIT_WIDTHS.get((font.name, font.height))
    if digit is None:
        return None, sheet.defcolwidth
    pixels = -(-(sheet.defcolwidth * digit + 5) // 8) * 8
    return (pixels * 256 // digit) / 256.0, sheet.defcolwidth


XLRD_HORIZONTAL = {0: "general", 1: "left", 2: "center", 3: "right", 4: "fill", 5: "justify",
                   6: "centerContinuous", 7: "distributed"}
# Number formats from 50 on are the workbook's own (the lower ones read differently per writer);
# colour 65 is the system's window background.
FIRST_NON_BUILTIN_FORMAT = 50
SYSTEM_BACKGROUND = 65
XLRD_UNDERLINES = {0: None, 1: "single", 2: "double", 0x21: "singleAccounting",
                   0x22: "doubleAccounting"}


def write_legacy_fonts_workbook(path):
    """East Asian fonts, accounting underlines and hand-set row heights: what a conversion of the
    .xls loses when the converting machine lacks the font or the underline kind."""
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Fonts"
    cells = [("標楷體 heading", Font(name="標楷體", size=12)),
             (1234.5, Font(underline="singleAccounting")),
             (-99, Font(name="新細明體", underline="doubleAccounting")),
             ("double", Font(underline="double")), ("plain", Font())]
    for row, (value, font) in enumerate(cells, start=1):
        ws.cell(row=row, column=1, value=value).font = font
        ws.cell(row=row, column=2, value="beside")
    for row, height in ((2, 30), (3, 14.1), (5, 9.75)):
        ws.row_dimensions[row].height = height
    for column, width in (("B", 3.5), ("C", 20.7), ("E", 9.14), ("F", 30)):
        ws.column_dimensions[column].width = width
    ws.column_dimensions["F"].hidden = True
    ws.column_dimensions["E"].outlineLevel = 1
    ws["C1"] = "across"
    ws["C1"].alignment = Alignment(horizontal="centerContinuous")
    wb.save(path)


def xlrd_layout(path, sheet_name, blanks=False):
    """{(row, column): (font name, underline, horizontal alignment, the workbook's own number
    format, solid fill in the system background)}, {row: height or None},
    the default height, the merged ranges and {column: (width, hidden, outline level)} of the
    columns COLINFO states and, as column 0, STANDARDWIDTH: the sheet as xlrd reads the .xls
    itself."""
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_name(sheet_name)
    fonts = {}
    for row in range(sheet.nrows):
        for column in range(sheet.ncols):
            cell = sheet.cell(row, column)
            if cell.ctype == xlrd.XL_CELL_EMPTY or (cell.ctype == xlrd.XL_CELL_BLANK and
                                                    not blanks):
                continue  # a conversion keeps only some formatted blank cells
            xf = book.xf_list[cell.xf_index]
            font = book.font_list[xf.font_index]
            code = book.format_map[xf.format_key].format_str if xf.format_key >= \
                FIRST_NON_BUILTIN_FORMAT and xf.format_key in book.format_map else None
            background = xf.background.fill_pattern == 1 and \
                xf.background.pattern_colour_index == SYSTEM_BACKGROUND
            fonts[(row + 1, column + 1)] = (font.name, XLRD_UNDERLINES[font.underline_type],
                                            XLRD_HORIZONTAL[xf.alignment.hor_align], code,
                                            background)
    heights = {r + 1: None if info.has_default_height else info.height / 20.0
               for r, info in sheet.rowinfo_map.items()}
    merged = {"%s%d:%s%d" % (get_column_letter(c0 + 1), r0 + 1, get_column_letter(c1), r1)
              for r0, r1, c0, c1 in sheet.merged_cells}
    columns = {c + 1: (info.width / 256.0, bool(info.hidden), info.outline_level)
               for c, info in sheet.colinfo_map.items()}
    if sheet.standardwidth is not None:  # the default width, as column 0 (none has that number)
        columns[0] = (sheet.standardwidth / 256.0, False, 0)
    return fonts, heights, sheet.default_row_height / 20.0, merged, columns


def setUpModule():
    qt.require_tools("merge")
    if not qt.SOFFICE:
        raise unittest.SkipTest("LibreOffice (soffice) is not installed")


class LegacyFormatsTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.work = qt.temp_dir("legacy-formats")
        made = os.path.join(cls.work, "made")
        os.makedirs(made)
        books = {n: os.path.join(made, n + ".xlsx")
                 for n in ("styled", "names", "latin", "large", "fonts", "formulas")}
        write_styled_workbook(books["styled"])
        write_named_workbook(books["names"], NAMES)
        write_named_workbook(books["latin"], LATIN_NAMES)
        write_named_workbook(books["large"], ["Sheet no. %d" % i for i in range(1, 61)], 120, 2)
        write_legacy_fonts_workbook(books["fonts"])
        write_names_workbook(books["formulas"])
        saved = qt.libreoffice_convert(list(books.values()), "xls:MS Excel 97", cls.work)
        cls.named = [saved[books["formulas"]]]
        legacy = [saved[books[n]] for n in ("styled", "names", "latin", "large")]
        cls.names_books = [saved[books["names"]]]
        # Judged against xlrd's reading of the file, not LibreOffice's (which loses the fonts
        # and underlines in question); LibreOffice writes them lossily itself, Gnumeric keeps them.
        cls.judged_by_xlrd = [saved[books["fonts"]]]
        if SSCONVERT:  # Gnumeric's .xls (BIFF8 and BIFF5) and .ods of the same workbooks
            for book, kind in [("styled", "8"), ("styled", "ods"), ("names", "8"), ("names", "ods"),
                               ("latin", "5"), ("fonts", "8"), ("fonts", "5"), ("formulas", "8"),
                               ("formulas", "5")]:
                out = os.path.join(made, book + (".ods" if kind == "ods" else
                                                 "-gnumeric%s.xls" % kind))
                export = [] if kind == "ods" else [
                    "--export-type=Gnumeric_Excel:excel_biff" + ("8" if kind == "8" else "7")]
                subprocess.run([SSCONVERT] + export + [books[book], out], capture_output=True,
                               timeout=120, check=True)
                (cls.named if book == "formulas" else legacy).append(out)
            cls.names_books += [os.path.join(made, n) for n in ("names-gnumeric8.xls", "names.ods")]
            cls.judged_by_xlrd += [os.path.join(made, n)
                                   for n in ("fonts-gnumeric8.xls", "fonts-gnumeric5.xls")]
        legacy.append(cls.judged_by_xlrd[0])
        # Two sources of the same file name, from different folders, in the same conversion.
        for folder, copied in (("a", legacy[2]), ("b", legacy[1])):
            os.makedirs(os.path.join(cls.work, folder))
            legacy.append(shutil.copy(copied, os.path.join(cls.work, folder, "Book.xls")))
        cls.written = list(legacy)
        if os.path.isdir(CORPUS):
            legacy += [os.path.join(CORPUS, n) for n in sorted(os.listdir(CORPUS))
                       if n.lower().endswith(".xls")]
        else:
            print("[ NOTE ] %s is absent: the corpus files are left out" % CORPUS)

        # Every worksheet of every source in one merge (the sources convert in one run);
        # files refused at listing (broken on purpose) are left out here.
        cls.entries, cls.refused, cls.listed = [], {}, {}
        for source in legacy:
            listed = qt.run_list(source)
            if listed.returncode != 0:
                cls.refused[source] = listed.stderr
                continue
            cls.listed[source] = listed.stdout.splitlines()
            cls.entries += [(source, name) for name in cls.listed[source]]
        cls.result = os.path.join(cls.work, "result.xlsx")
        cls.report = os.path.join(cls.work, "report.json")
        cls.temporary = os.path.join(cls.work, "tmp")
        os.makedirs(cls.temporary)
        cls.before = qt.snapshot(legacy)
        runs = os.path.join(cls.work, "converter-runs")
        stand_in = os.path.join(cls.work, "bin", "soffice")  # counts the converter's runs
        os.makedirs(os.path.dirname(stand_in))
        with open(stand_in, "w") as fh:
            fh.write("#!/bin/sh\necho run >> '%s'\nexec '%s' \"$@\"\n" % (runs, qt.SOFFICE))
        os.chmod(stand_in, 0o755)
        cls.merged = qt.run_merge(cls.result, entries=cls.entries, report=cls.report, env=dict(
            os.environ, TMPDIR=cls.temporary,
            PATH=os.path.dirname(stand_in) + os.pathsep + os.environ["PATH"]))
        with open(runs) as fh:
            cls.converter_runs = len(fh.read().splitlines())
        cls.after = qt.snapshot(legacy)
        # The sources as LibreOffice reads them, written as .xlsx in one run.
        cls.as_read = qt.libreoffice_convert(sorted({s for s, _ in cls.entries}),
                                             "xlsx:Calc MS Excel 2007 XML", cls.work)

    def test_written_legacy_files_are_listed_and_hold_the_formats(self):
        for source in self.written:
            self.assertNotIn(source, self.refused)
        # The comparison below is only worth something when LibreOffice read formats at all.
        ws = cs.load(self.as_read[self.written[0]]).wb["Styled"]
        formats = {ws.cell(row=r, column=1).number_format for r in range(2, 2 + len(NUMBER_FORMATS))}
        self.assertGreaterEqual(len(formats), 5, formats)
        self.assertTrue(ws["A1"].font.b)
        self.assertEqual(ws["B2"].fill.patternType, "solid")

    def test_listing_names_the_worksheets_xlrd_reads(self):
        for path in self.names_books:  # both writers keep the chart sheet as a worksheet
            self.assertEqual(self.listed[path], NAMES, path)
        xls = [p for p in self.listed if p.lower().endswith(".xls")]
        self.assertTrue(any(p.endswith("latin-gnumeric5.xls") for p in xls) or not SSCONVERT)
        for path in xls:
            self.assertEqual(self.listed[path],
                             xlrd.open_workbook(path, on_demand=True).sheet_names(), path)

    def test_sources_convert_in_one_run_are_reported_and_leave_nothing_behind(self):
        self.assertEqual(self.merged.returncode, 0, self.merged.stderr)
        self.assertEqual(self.converter_runs, 1)
        with open(self.report, encoding="utf-8") as fh:
            converted = {i["sourceFile"] for i in json.load(fh)["items"] if i["kind"] == "converted"}
        self.assertEqual(converted, {os.path.basename(s) for s, _ in self.entries})
        self.assertEqual(os.listdir(self.temporary), [])
        self.assertEqual(self.after, self.before)
        for folder in {os.path.dirname(s) for s in self.written}:
            self.assertFalse([n for n in os.listdir(folder) if n.startswith(".~lock")], folder)

    def test_every_copied_sheet_matches_its_source_as_libreoffice_reads_it(self):
        self.assertEqual(self.merged.returncode, 0, self.merged.stderr)
        out = cs.load(self.result)
        self.assertEqual(len(out.wb.sheetnames), len(self.entries), out.wb.sheetnames)
        faults = []
        sources = {}
        examples, cs.MAX_EXAMPLES = cs.MAX_EXAMPLES, 10 ** 9  # every difference, then filtered
        self.addCleanup(setattr, cs, "MAX_EXAMPLES", examples)
        for (source, name), copy in zip(self.entries, out.wb.sheetnames):
            if source in self.judged_by_xlrd:
                continue
            if source not in sources:
                sources[source] = cs.load(self.as_read[source])
            src = sources[source]
            sheet_map = {n.casefold(): c for (s, n), c in zip(self.entries, out.wb.sheetnames)
                         if s == source}
            legacy = source.lower().endswith(".xls")
            by_xlrd = xlrd_layout(source, name, blanks=True)[0] if legacy else {}
            # Formatted blank cells LibreOffice's reading leaves out (57231_MixedGasReport.xls
            # past row 1095), which the copy keeps with their formats.
            held = src.wb[name]._cells
            dropped = {"%s%d" % (get_column_letter(c), r) for r, c in by_xlrd if (r, c) not in held}
            for what, compare in COMPARISONS:
                if legacy and what in JUDGED_BY_XLRD:
                    continue
                if legacy and what in JUDGED_BY_XLRD_IN_CELLS:
                    at, describe = JUDGED_BY_XLRD_IN_CELLS[what]
                    judged = {rc for rc, found in by_xlrd.items() if found[at]}
                    compare = cs._styles(lambda cell, side, judged=judged, describe=describe:
                                         {} if (cell.row, cell.column) in judged
                                         else describe(cell, side), what)
                diffs = compare(src, out, src.wb[name], out.wb[copy], sheet_map)
                if dropped:  # the copy keeps these cells: no difference of the copy's
                    diffs = [d for d in diffs if d.split(":")[0] not in dropped]
                for diff in diffs[:examples]:
                    faults.append("%s!%s %s: %s" % (os.path.basename(source), name, what, diff))
        self.assertEqual(faults, [], "\n".join(faults))

    def test_names_formulas_and_default_widths_of_workbooks_merged_alone(self):
        """Each workbook merged alone, so that its names and sheets keep their own names, and its
        standard font is the result's: names and the formulas using them, and the sheets'
        default column widths (STANDARDWIDTH, or DEFCOLWIDTH alone) as xlrd reads them."""
        faults = []
        standard = with_standard_width(self.named[0], os.path.join(self.work, "standard.xls"), 2)
        sources = self.named + [standard]
        if os.path.isdir(CORPUS):  # DEFCOLWIDTH alone and no COLINFO: the default is every width
            sources.append(os.path.join(CORPUS, "sheetjs-tf__1904--1904.xls"))
        judged = set()
        for source in sources:
            result = os.path.join(self.work, os.path.basename(source) + ".xlsx")
            merged = qt.run_merge(result, paths=[source])
            self.assertEqual(merged.returncode, 0, merged.stderr)
            book = xlrd.open_workbook(source, formatting_info=True)
            formulas, values = openpyxl.load_workbook(result), openpyxl.load_workbook(
                result, data_only=True)
            where = os.path.basename(source)
            for sheet in book.sheets():
                expected = xlrd_default_width(book, sheet)
                got = formulas[sheet.name].sheet_format
                got = (got.defaultColWidth if expected[0] is not None else None,
                       got.baseColWidth if expected[1] is not None else None)
                judged.add(expected[0] is not None and expected[1] is None)
                if got != expected:
                    faults.append("%s!%s: default width %s became %s" % (
                        where, sheet.name, expected, got))
            if source not in self.named and source != standard:
                continue
            for (sheet, ref), formula in NAMED_FORMULAS.items():
                got = formulas[sheet][ref].value
                row, column = openpyxl.utils.cell.coordinate_to_tuple(ref)
                expected = book.sheet_by_name(sheet).cell_value(row - 1, column - 1)
                cached = values[sheet][ref].value
                if got != formula or \
                        not isinstance(cached, (int, float)) or abs(cached - expected) > 1e-9:
                    faults.append("%s!%s %s: %r (%r) became %r (%r)" % (
                        where, sheet, ref, formula, expected, got, cached))
            defined = {(n.name, n.localSheetId): n.attr_text for n in formulas.defined_names.definedName}
            for name in book.name_obj_list:
                if name.builtin:
                    continue
                scope = None if name.scope < 0 else name.scope
                expected = re.sub(r"(\d)\.0\b", r"\1", name.result.text) if name.result else ""
                got = defined.get((name.name, scope))
                if got is None or ("(" not in expected and got != expected):
                    faults.append("%s: name %s in %s refers to %r, became %r" % (
                        where, name.name, scope, expected, got))
        self.assertEqual(len(self.named), 3 if SSCONVERT else 1)
        self.assertEqual(judged, {True, False})  # both kinds of default width were judged
        self.assertEqual(faults, [], "\n".join(faults))

    def test_formats_merges_row_heights_and_widths_match_xlrds_reading_of_the_xls(self):
        self.assertEqual(self.merged.returncode, 0, self.merged.stderr)
        out = cs.load(self.result).wb
        faults, read, widths_judged = [], set(), set()
        with open(self.report, encoding="utf-8") as fh:  # widths the merge scaled to its font
            scaled = {(i["sourceFile"], i["sourceSheet"]) for i in json.load(fh)["items"]
                      if "converted to keep their size" in i["message"]}
        for (source, name), copy in zip(self.entries, out.sheetnames):
            if not source.lower().endswith(".xls"):
                continue
            where, ws = "%s!%s" % (os.path.basename(source), name), out[copy]
            fonts, heights, default_height, merged, columns = xlrd_layout(source, name)
            if source in self.judged_by_xlrd:
                read |= set(fonts.values())
            for (row, column), expected in sorted(fonts.items()):
                cell = ws.cell(row=row, column=column)
                colour = cell.fill.fgColor
                got = (cell.font.name, None if cell.font.u in (None, "none") else cell.font.u,
                       cell.alignment.horizontal or "general",
                       cell.number_format if expected[3] is not None else None,
                       cell.fill.patternType == "solid" and colour.type == "indexed" and
                       colour.indexed == SYSTEM_BACKGROUND)
                if got != expected:
                    faults.append("%s %s: %s became %s" % (where, cell.coordinate, expected, got))
            for row in sorted(set(heights) | set(ws.row_dimensions)):
                expected = heights.get(row) or default_height
                got = ws.row_dimensions[row].height or ws.sheet_format.defaultRowHeight
                if abs(expected - got) > 0.01:
                    faults.append("%s row %d: %s pt became %s" % (where, row, expected, got))
            got_columns = {c: (d.width, bool(d.hidden), d.outlineLevel)
                           for d in ws.column_dimensions.values() for c in range(d.min, d.max + 1)}
            if (os.path.basename(source), name) in scaled:
                columns = {}
            elif columns:
                widths_judged.add(source)
            for column, expected in sorted(columns.items()):
                got = got_columns.get(column, (ws.sheet_format.defaultColWidth or 0, False, 0))
                if abs(expected[0] - got[0]) > 1e-6 or expected[1:] != got[1:]:
                    faults.append("%s column %d: %s became %s" % (where, column, expected, got))
            if merged != {str(r) for r in ws.merged_cells.ranges}:
                faults.append("%s merged %s became %s" % (where, merged, ws.merged_cells.ranges))
        if SSCONVERT:  # Gnumeric writes what LibreOffice's own .xls leaves out
            self.assertLessEqual({("標楷體", None, "general"), ("Calibri", None, "centerContinuous"),
                                  ("新細明體", "doubleAccounting", "general")},
                                 {found[:3] for found in read})
        self.assertLessEqual(set(self.judged_by_xlrd), widths_judged)
        self.assertEqual(faults, [], "\n".join(faults))


if __name__ == "__main__":
    qt.main()

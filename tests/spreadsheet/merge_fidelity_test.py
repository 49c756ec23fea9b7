"""Whole merges of fixture workbooks written by libxlsxwriter: the merge tool copies every sheet,
then independent readers compare each copy with its source, feature by feature. openpyxl reads
values, formulas, styles and notes; the structural checker judges the package; LibreOffice
renders every sheet to CSV and must show what it shows for the source, and reads every file as
OpenDocument, where each copy must hold the source's array formulas and notes. Workbooks of charts,
pictures and text boxes, merged whole, must print as their source does: LibreOffice exports both
to PDF, poppler rasterises every page, and the pages are compared pixel by pixel with a small
tolerance (anti-aliasing, font hinting)."""

import functools
import os
import shutil
import subprocess
import sys
import types
import unittest
import xml.etree.ElementTree as ET
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tools"))

import openpyxl  # noqa: E402

try:
    import numpy
    from PIL import Image
except ImportError:  # the print check skips
    numpy = None

import compare_sheets as cs  # noqa: E402
import quillory_testing as qt  # noqa: E402

STATE = {}
SPILLING = "dynamic-arrays.xlsx"  # the fixture whose formulas spill
PDFTOPPM = shutil.which("pdftoppm")
PRINTED_FIXTURES = ["charts.xlsx", "pictures.xlsx"]
PRINTED_CORPUS = ["poi__test-data--spreadsheet--123233_charts.xlsx",
                  "poi__test-data--spreadsheet--WithTextBox.xlsx"]
RENDER_DPI = 60
# A pixel differs when its grey level moves by more than this (0..255); a page matches when at
# most MAX_DIFFERING_SHARE of its pixels differ.
PIXEL_TOLERANCE = 48
MAX_DIFFERING_SHARE = 0.005


ODS_TABLE = "{urn:oasis:names:tc:opendocument:xmlns:table:1.0}"
ODS_NOTE = "{urn:oasis:names:tc:opendocument:xmlns:office:1.0}annotation"
ODS_TEXT = "{urn:oasis:names:tc:opendocument:xmlns:text:1.0}p"


def libreoffice_ods(files, workdir):
    """{file: {sheet: ([(rows, columns) spanned by each formula cell], [note texts])}} in sheet
    order, from LibreOffice's own reading of each file (converted to OpenDocument in one run)."""
    found = {}
    for path, ods in qt.libreoffice_convert(files, "ods", workdir).items():
        if not os.path.exists(ods):
            continue
        with zipfile.ZipFile(ods) as package:
            root = ET.fromstring(package.read("content.xml"))
        found[path] = {table.get(ODS_TABLE + "name"): (
            [(cell.get(ODS_TABLE + "number-matrix-rows-spanned"),
              cell.get(ODS_TABLE + "number-matrix-columns-spanned"))
             for cell in table.iter(ODS_TABLE + "table-cell")
             if cell.get(ODS_TABLE + "formula") is not None],
            ["\n".join(p.text or "" for p in note.iter(ODS_TEXT))
             for note in table.iter(ODS_NOTE)]) for table in root.iter(ODS_TABLE + "table")}
    return found


def notes_of(ws):
    return [(c.coordinate, c.comment.author, c.comment.text)
            for row in ws.iter_rows() for c in row if c.comment]


def compare_notes(_src, _out, src_ws, out_ws, _map):
    return cs._changed("notes", notes_of(src_ws), notes_of(out_ws))


def worksheet_names(path):
    return [ws.title for ws in openpyxl.load_workbook(path).worksheets]


def sheet_maps(entries, result_names):
    """For entry i: casefolded source sheet name -> its name in the result (the entry's own copy
    for its own sheet, else the first copy of that sheet of the same workbook), None if absent."""
    first = {}
    for entry, result in zip(entries, result_names):
        first.setdefault(entry, result)
    return [{name.casefold(): result_names[i] if name == sheet else first.get((path, name))
             for name in worksheet_names(path)} for i, (path, sheet) in enumerate(entries)]


def pages(pdf, workdir):
    """The PDF's pages as grey-level arrays."""
    prefix = os.path.join(workdir, os.path.basename(pdf) + "-page")
    subprocess.run([PDFTOPPM, "-r", str(RENDER_DPI), "-gray", pdf, prefix], check=True,
                   capture_output=True, timeout=qt.LIBREOFFICE_TIMEOUT_SECONDS)
    names = sorted(n for n in os.listdir(workdir)
                   if n.startswith(os.path.basename(prefix)) and n.endswith(".pgm"))
    return [numpy.asarray(Image.open(os.path.join(workdir, n)), dtype=numpy.int16) for n in names]


def differing_share(a, b):
    if a.shape != b.shape:
        return 1.0
    return float(numpy.count_nonzero(numpy.abs(a - b) > PIXEL_TOLERANCE)) / a.size


def run(name, work, entries, by_paths=None):
    """One merge run: its entries, result, report, and (filled in later) each entry's source and
    copy as pairs of (entry index, source Side, source ws, result ws, sheet map)."""
    output = os.path.join(work, name + ".xlsx")
    report = os.path.join(work, name + ".report.json")
    completed = qt.run_merge(output, paths=by_paths or (), report=report,
                             entries=None if by_paths else entries)
    return types.SimpleNamespace(name=name, entries=entries, output=output, completed=completed,
                                 report=report, out_side=None, pairs=[])


def setUpModule():
    qt.require_tools("merge", "fixtures", "check")
    work = STATE["work"] = qt.temp_dir("merge-fidelity")
    sources = STATE["sources"] = qt.write_fixtures(os.path.join(work, "sources"))
    by_name = {os.path.basename(p): p for p in sources}
    STATE["before"] = qt.snapshot(sources)

    # 1: every worksheet of every fixture, given as paths (tab order, then path order).
    everything = [(p, s) for p in sources for s in worksheet_names(p)]
    # 2: an entries list: a 31-character name twice, a sheet without the sheets its formulas
    #    use, one sheet of a workbook whose names refer to another copied sheet.
    chosen = [(by_name["long-name.xlsx"], "Quarterly revenue by region 24"),
              (by_name["long-name.xlsx"], "Quarterly revenue by region 24"),
              (by_name["formulas.xlsx"], "Calc"),
              (by_name["names.xlsx"], "Report"),
              (by_name["names.xlsx"], "Data"),
              (by_name["same-names-2.xlsx"], "Summary")]
    # Notes twice: each copy needs comment parts of its own.
    chosen += [(by_name["notes.xlsx"], s) for s in worksheet_names(by_name["notes.xlsx"])] * 2
    merges = STATE["merges"] = [run("all-fixtures", work, everything, by_paths=sources),
                                run("chosen-entries", work, chosen)]
    side = functools.lru_cache(maxsize=None)(cs.load)
    for merge in merges:
        if merge.completed.returncode != 0 or not os.path.exists(merge.output):
            continue
        merge.out_side = side(merge.output)
        result_ws = merge.out_side.wb.worksheets
        result_names = [ws.title for ws in result_ws]
        if len(result_names) != len(merge.entries):
            continue
        maps = sheet_maps(merge.entries, result_names)
        for i, (path, sheet) in enumerate(merge.entries):
            src = side(path)
            merge.pairs.append((i, src, src.wb[sheet], result_ws[i], maps[i]))


class MergeFidelityTest(unittest.TestCase):

    def each_pair(self, compare):
        """Runs compare on every copied sheet of every merge; fails listing every difference."""
        failures = []
        for merge in STATE["merges"]:
            self.assertTrue(merge.pairs, "%s: no sheets to compare (merge failed: %s)" % (
                merge.name, merge.completed.stderr.strip()))
            for i, src, src_ws, out_ws, mapping in merge.pairs:
                for diff in compare(src, merge.out_side, src_ws, out_ws, mapping):
                    failures.append("%s [%d] %s:%s -> %s: %s" % (
                        merge.name, i, os.path.basename(src.path), src_ws.title, out_ws.title, diff))
        self.assertFalse(failures, "\n" + "\n".join(failures))

    def test_sources_are_byte_identical_after_merging(self):
        self.assertEqual(qt.snapshot(STATE["sources"]), STATE["before"])

    def test_structural_checker_accepts_every_result(self):
        for merge in STATE["merges"]:
            if os.path.exists(merge.output):
                self.assertEqual(qt.check_package(merge.output), [], merge.name)

    def test_one_sheet_per_entry_in_order_taken_names_numbered_within_31_characters(self):
        for merge in STATE["merges"]:
            self.assertIsNotNone(merge.out_side, merge.name + ": no result")
            names = [ws.title for ws in merge.out_side.wb.worksheets]
            self.assertEqual(len(names), len(merge.entries), merge.name)
            self.assertEqual(qt.sheet_name_problems(names), [], merge.name)
            taken = set()
            for (path, sheet), result in zip(merge.entries, names):
                # A free name is kept; a name already in the result gets the lowest free number.
                where = "%s: %s:%s became %r" % (merge.name, os.path.basename(path), sheet, result)
                if sheet.casefold() in taken:
                    self.assertNotEqual(result.casefold(), sheet.casefold(), where)
                    self.assertTrue(qt.is_renamed_copy(sheet, result), where)
                else:
                    self.assertEqual(result, sheet, where)
                taken.add(result.casefold())
        everything, chosen = ([ws.title for ws in m.out_side.wb.worksheets]
                              for m in STATE["merges"])
        self.assertEqual(chosen[0], "Quarterly revenue by region 24")
        self.assertRegex(chosen[1], r"^Quarterly revenue by regi[a-z ]* \(2\)$")
        # "Data" is in names.xlsx and same-names-1.xlsx; same-names-2.xlsx holds "DATA".
        self.assertLessEqual({"Data (2)", "DATA (3)", "Summary (2)"}, set(everything))

    def test_every_feature_of_every_copy(self):
        for what, compare in cs.COMPARISONS + [("notes", compare_notes)]:
            with self.subTest(what):
                self.each_pair(compare)

    def libreoffice_pairs(self, read):
        """(copy, source Side, LibreOffice's reading of the source sheet, of the copy) for every
        copy; read(files, folder) reads every source and result in one LibreOffice run."""
        if not qt.SOFFICE:
            self.skipTest("LibreOffice (soffice) is not installed")
        merges = [m for m in STATE["merges"] if m.pairs]
        self.assertTrue(merges, "no result to read")
        files = sorted({m.output for m in merges} | {p for m in merges for p, _ in m.entries})
        found = read(files, os.path.join(STATE["work"], read.__name__))
        for merge in merges:
            for i, src, src_ws, out_ws, _ in merge.pairs:
                yield ("%s [%d] %s -> %s" % (merge.name, i, src_ws.title, out_ws.title), src,
                       found.get(src.path, {}).get(src_ws.title),
                       found.get(merge.output, {}).get(out_ws.title))

    def test_libreoffice_reads_array_formulas_and_notes_of_each_copy_as_in_its_source(self):
        failures, spilling, noted = [], 0, 0
        for copy, src, expected, got in self.libreoffice_pairs(libreoffice_ods):
            if not expected or not got:
                failures.append(copy + ": LibreOffice read no sheet")
                continue
            # Array ranges where the source spills (elsewhere formulas may become values).
            compared = (0, 1) if os.path.basename(src.path) == SPILLING else (1,)
            spilling += len(compared) == 2
            noted += bool(expected[1])
            failures += ["%s: %s %r became %r" % (copy, ("array ranges", "notes")[k],
                                                  expected[k], got[k])
                         for k in compared if got[k] != expected[k]]
        self.assertTrue(spilling and noted, "no merged sheet had spilling formulas and notes")
        self.assertFalse(failures, "\n".join(failures))

    def test_libreoffice_shows_each_copy_as_its_source(self):
        failures = ["%s: %r became %r" % (copy, expected and expected[:4], got and got[:4])
                    for copy, _, expected, got in self.libreoffice_pairs(qt.libreoffice_csv)
                    if expected is None or got != expected]
        self.assertFalse(failures, "\n" + "\n".join(failures))

    def test_charts_pictures_and_text_boxes_print_as_in_their_source(self):
        if numpy is None or not PDFTOPPM or not qt.SOFFICE:
            self.skipTest("needs LibreOffice (soffice), pdftoppm (poppler-utils), python3-pil and "
                          "python3-numpy")
        work = os.path.join(STATE["work"], "print")
        os.makedirs(work)
        corpus = [os.path.join(qt.SHARED_DIR, "corpus", name) for name in PRINTED_CORPUS]
        chosen = [p for p in STATE["sources"] if os.path.basename(p) in PRINTED_FIXTURES] + [
            p for p in corpus if os.path.exists(p)]
        merged = {}
        for index, source in enumerate(chosen):
            merged[source] = os.path.join(work, "merged%02d.xlsx" % index)
            qt.merge(merged[source], [source])
        pdfs = qt.libreoffice_convert(list(merged) + list(merged.values()), "pdf", work)
        for source in corpus:
            if source not in merged:
                with self.subTest(os.path.basename(source)):
                    self.skipTest("corpus workbook not found under %s" % qt.SHARED_DIR)
        for source, result in merged.items():
            with self.subTest(os.path.basename(source)):
                self.assertEqual(qt.check_package(result), [], result)
                self.assertTrue(os.path.exists(pdfs[source]), "no PDF of the source")
                self.assertTrue(os.path.exists(pdfs[result]), "no PDF of the result")
                before, after = pages(pdfs[source], work), pages(pdfs[result], work)
                self.assertGreater(len(before), 0)
                self.assertEqual(len(before), len(after), "page count")
                for number, (a, b) in enumerate(zip(before, after), start=1):
                    share = differing_share(a, b)
                    self.assertLessEqual(share, MAX_DIFFERING_SHARE,
                                         "page %d differs in %.2f%% of its pixels"
                                         % (number, 100 * share))


if __name__ == "__main__":
    qt.main()

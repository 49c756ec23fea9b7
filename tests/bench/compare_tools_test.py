"""The benchmark's own tools measure what they claim to: the corpus generator writes the same
bytes every time and workbooks of the promised shape (read back with openpyxl), the zlib floor
really deflates every part of every source, the listing timer lists every workbook, and the
LibreOffice merge script puts every sheet into its result."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile
import zlib

import openpyxl

BUILD = os.environ.get("QUILLORY_BINARY_DIR", os.path.join(
    os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "build"))
SOURCE = os.environ.get("QUILLORY_SOURCE_DIR", os.path.dirname(os.path.dirname(
    os.path.dirname(os.path.abspath(__file__)))))
GENERATOR = os.path.join(BUILD, "bench", "compare_generate_corpus")
FLOOR = os.path.join(BUILD, "bench", "compare_zlib_floor")
LIST_TIME = os.path.join(BUILD, "bench", "compare_list_time")
LO_MERGE = os.path.join(SOURCE, "bench", "compare", "lo_merge.py")
EXIT_SKIP = 77

# The small corpus: 3 workbooks of 2 sheets, 150 data rows, a header and a total row.
SMALL = "callgrind"
SMALL_WORKBOOKS = 3
SMALL_SHEETS = ["Sales", "Costs"]
SMALL_ROWS = 150
OFFICE_COLUMNS = 12


def generate(folder):
    subprocess.run([GENERATOR, SMALL, folder], check=True)
    return sorted(os.path.join(folder, f) for f in os.listdir(folder))


class GeneratorTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="quillory-bench-test-")
        cls.files = generate(os.path.join(cls.work, "a"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def test_same_bytes_on_every_run(self):
        again = generate(os.path.join(self.work, "b"))
        self.assertEqual([os.path.basename(f) for f in self.files],
                         [os.path.basename(f) for f in again])
        for first, second in zip(self.files, again):
            with open(first, "rb") as a, open(second, "rb") as b:
                self.assertEqual(a.read(), b.read(), f"{first} differs between runs")

    def test_workbooks_have_the_promised_shape(self):
        self.assertEqual(len(self.files), SMALL_WORKBOOKS)
        book = openpyxl.load_workbook(self.files[0])
        self.assertEqual(book.sheetnames, SMALL_SHEETS)
        sales, costs = book["Sales"], book["Costs"]
        self.assertEqual(sales.max_row, SMALL_ROWS + 2)
        self.assertEqual(sales.max_column, OFFICE_COLUMNS)
        row = [cell for cell in sales[2]]
        self.assertIsInstance(row[0].value, int)
        self.assertIsInstance(row[1].value, str)
        self.assertEqual(row[3].number_format, "yyyy-mm-dd")
        self.assertEqual(row[7].value, "=E2*F2")
        self.assertTrue(sales["A1"].font.b)
        self.assertEqual(sales["A1"].fill.fgColor.rgb[-6:], "1F4E78")
        self.assertEqual(sales[f"H{SMALL_ROWS + 2}"].value, f"=SUM(H2:H{SMALL_ROWS + 1})")
        # Later sheets refer to the first one by name.
        self.assertEqual(costs["L2"].value, "='Sales'!H2-H2")
        fonts = {sales.cell(r, c).font.name for r in range(1, 4) for c in range(1, 13)}
        self.assertGreaterEqual(len(fonts), 3)

    def test_workbooks_differ_from_each_other(self):
        values = [openpyxl.load_workbook(f)["Sales"]["B2"].value for f in self.files]
        self.assertEqual(len(set(values)), len(values))

    def test_unknown_corpus_is_refused(self):
        result = subprocess.run([GENERATOR, "nonesuch", os.path.join(self.work, "c")],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 2)
        self.assertIn("nonesuch", result.stderr)


class FloorAndListingTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="quillory-bench-test-")
        cls.files = generate(os.path.join(cls.work, "corpus"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def floor(self, threads):
        output = os.path.join(self.work, f"floor-{threads}.bin")
        result = subprocess.run([FLOOR, "--threads", str(threads), "-o", output] + self.files,
                                capture_output=True, text=True, check=True)
        fields = result.stdout.split()
        return output, dict(zip(fields[0::2], map(int, fields[1::2])))

    def test_floor_deflates_every_part_at_level_six(self):
        output, totals = self.floor(1)
        parts = []
        for path in self.files:
            with zipfile.ZipFile(path) as package:
                parts += [package.read(info) for info in package.infolist()]
        self.assertEqual(totals["parts"], len(parts))
        self.assertEqual(totals["inflated"], sum(len(p) for p in parts))
        with open(output, "rb") as streams:
            data = streams.read()
        self.assertEqual(totals["deflated"], len(data))
        # One thread writes the raw deflate streams back to back: each inflates to one part.
        recovered = []
        while data:
            inflater = zlib.decompressobj(-15)
            recovered.append(inflater.decompress(data))
            self.assertTrue(inflater.eof)
            data = inflater.unused_data
        self.assertEqual(sorted(recovered), sorted(parts))
        level_six = sum(len(zlib.compress(p, 6)) - 6 for p in parts)  # minus zlib's header+adler
        self.assertEqual(totals["deflated"], level_six)

    def test_floor_on_two_threads_does_the_same_work(self):
        _, one = self.floor(1)
        _, two = self.floor(2)
        self.assertEqual(one, two)

    def test_floor_names_a_package_it_cannot_open(self):
        broken = os.path.join(self.work, "broken.xlsx")
        with open(broken, "wb") as file:
            file.write(b"not a zip")
        result = subprocess.run([FLOOR, "-o", os.path.join(self.work, "x.bin"), broken],
                                capture_output=True, text=True)
        self.assertEqual(result.returncode, 1)
        self.assertIn(broken, result.stderr)

    def test_listing_timer_lists_every_workbook(self):
        result = subprocess.run([LIST_TIME, "--runs", "2"] + self.files, capture_output=True,
                                text=True, check=True)
        lines = [line.split() for line in result.stdout.splitlines()]
        self.assertEqual([line[2] for line in lines], self.files)
        for milliseconds, sheets, _ in lines:
            self.assertEqual(int(sheets), len(SMALL_SHEETS))
            self.assertGreater(float(milliseconds), 0.0)


class LibreOfficeMergeTest(unittest.TestCase):
    def test_every_sheet_of_every_workbook_lands_in_the_result(self):
        with tempfile.TemporaryDirectory(prefix="quillory-bench-test-") as work:
            files = generate(os.path.join(work, "corpus"))[:2]
            output = os.path.join(work, "merged.xlsx")
            subprocess.run([sys.executable, LO_MERGE, "--profile", os.path.join(work, "profile"),
                            "-o", output] + files, check=True, timeout=600)
            merged = openpyxl.load_workbook(output)
            self.assertEqual(len(merged.sheetnames), 2 * len(SMALL_SHEETS))
            self.assertEqual(merged.sheetnames[:2], SMALL_SHEETS)
            source = openpyxl.load_workbook(files[1])["Sales"]
            copy = merged.worksheets[2]
            self.assertEqual([c.value for c in copy[2]][:7], [c.value for c in source[2]][:7])


def main():
    for program in (GENERATOR, FLOOR, LIST_TIME):
        if not os.path.exists(program):
            print(f"SKIPPED: {program} is not built (the generator needs libxlsxwriter-dev)")
            return EXIT_SKIP
    if shutil.which("soffice") is None:
        del globals()["LibreOfficeMergeTest"]
    else:
        try:
            subprocess.run([sys.executable, "-c", "import uno"], check=True,
                           capture_output=True)
        except subprocess.CalledProcessError:
            del globals()["LibreOfficeMergeTest"]
            print("LibreOffice's Python bridge (python3-uno) is missing: its merge is not tested")
    program = unittest.main(exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())

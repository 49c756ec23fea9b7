"""The benchmark's own tools measure what they claim to: the corpus generator writes the same
bytes every time and workbooks of the promised shape, the zlib floor deflates every part of every
source at level 6 (on any number of threads), the listing timer lists every workbook, and the
LibreOffice merge script puts every sheet into its result."""

import os
import subprocess
import sys
import unittest
import zipfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tools"))

import openpyxl  # noqa: E402

import libreoffice_uno as lo  # noqa: E402
import quillory_testing as qt  # noqa: E402

GENERATOR = qt.tool("bench/compare_generate_corpus")
FLOOR = qt.tool("bench/compare_zlib_floor")
LIST_TIME = qt.tool("bench/compare_list_time")
LO_MERGE = os.path.join(qt.SOURCE_DIR, "bench", "compare", "lo_merge.py")
# The small corpus: 3 workbooks of 2 sheets, 150 data rows, a header and a total row.
SMALL_SHEETS = ["Sales", "Costs"]
SMALL_ROWS = 150


def generate(folder):
    subprocess.run([GENERATOR, "callgrind", folder], check=True)
    return sorted(os.path.join(folder, f) for f in os.listdir(folder))


def setUpModule():
    if not (GENERATOR and FLOOR and LIST_TIME):
        raise unittest.SkipTest("bench/compare_* not built (the generator needs libxlsxwriter-dev)")
    global WORK, FILES
    WORK = qt.temp_dir("bench-tools")
    FILES = generate(os.path.join(WORK, "a"))


class CompareToolsTest(unittest.TestCase):
    def test_generator_writes_the_same_workbooks_of_the_promised_shape(self):
        again = generate(os.path.join(WORK, "b"))
        self.assertEqual([(os.path.basename(f), qt.sha256(f)) for f in FILES],
                         [(os.path.basename(f), qt.sha256(f)) for f in again])
        self.assertEqual(len(FILES), 3)
        book = openpyxl.load_workbook(FILES[0])
        self.assertEqual(book.sheetnames, SMALL_SHEETS)
        sales = book["Sales"]
        self.assertEqual((sales.max_row, sales.max_column), (SMALL_ROWS + 2, 12))
        self.assertEqual(sales["H2"].value, "=E2*F2")
        self.assertEqual(sales["D2"].number_format, "yyyy-mm-dd")
        self.assertEqual(sales["H%d" % (SMALL_ROWS + 2)].value, "=SUM(H2:H%d)" % (SMALL_ROWS + 1))
        self.assertEqual(book["Costs"]["L2"].value, "='Sales'!H2-H2")
        self.assertGreaterEqual(len({sales.cell(r, c).font.name for r in range(1, 4)
                                     for c in range(1, 13)}), 3)
        values = [openpyxl.load_workbook(f)["Sales"]["B2"].value for f in FILES]
        self.assertEqual(len(set(values)), len(values), "the workbooks must differ")

    def test_floor_deflates_every_part_at_level_six_on_any_thread_count(self):
        totals = {}
        for threads in (1, 2):
            output = os.path.join(WORK, "floor-%d.bin" % threads)
            fields = subprocess.run([FLOOR, "--threads", str(threads), "-o", output] + FILES,
                                    capture_output=True, text=True, check=True).stdout.split()
            totals[threads] = dict(zip(fields[0::2], map(int, fields[1::2])))
        self.assertEqual(totals[1], totals[2])
        parts = []
        for path in FILES:
            with zipfile.ZipFile(path) as package:
                parts += [package.read(info) for info in package.infolist()]
        # One thread writes the raw deflate streams back to back: each inflates to one part.
        with open(os.path.join(WORK, "floor-1.bin"), "rb") as streams:
            data = streams.read()
        level_six = sum(len(zlib.compress(p, 6)) - 6 for p in parts)  # minus zlib's header+adler
        self.assertEqual(totals[1], {"parts": len(parts), "inflated": sum(len(p) for p in parts),
                                     "deflated": len(data)})
        self.assertEqual(len(data), level_six)
        recovered = []
        while data:
            inflater = zlib.decompressobj(-15)
            recovered.append(inflater.decompress(data))
            self.assertTrue(inflater.eof)
            data = inflater.unused_data
        self.assertEqual(sorted(recovered), sorted(parts))
        broken = os.path.join(WORK, "broken.xlsx")
        with open(broken, "wb") as file:
            file.write(b"not a zip")
        result = subprocess.run([FLOOR, "-o", os.path.join(WORK, "x.bin"), broken],
                                capture_output=True, text=True)
        self.assertEqual((result.returncode, broken in result.stderr), (1, True), result.stderr)

    def test_listing_timer_lists_every_workbook(self):
        result = subprocess.run([LIST_TIME, "--runs", "2"] + FILES, capture_output=True,
                                text=True, check=True)
        lines = [line.split() for line in result.stdout.splitlines()]
        self.assertEqual([line[2] for line in lines], FILES)
        for milliseconds, sheets, _ in lines:
            self.assertEqual(int(sheets), len(SMALL_SHEETS))
            self.assertGreater(float(milliseconds), 0.0)

    @unittest.skipUnless(lo.AVAILABLE, "LibreOffice with python3-uno is not installed")
    def test_libreoffice_merge_puts_every_sheet_of_every_workbook_in_the_result(self):
        output = os.path.join(WORK, "merged.xlsx")
        subprocess.run([sys.executable, LO_MERGE, "--profile", os.path.join(WORK, "profile"),
                        "-o", output] + FILES[:2], check=True, timeout=600)
        merged = openpyxl.load_workbook(output)
        self.assertEqual(merged.sheetnames[:2], SMALL_SHEETS)
        self.assertEqual(len(merged.sheetnames), 2 * len(SMALL_SHEETS))
        source = openpyxl.load_workbook(FILES[1])["Sales"]
        self.assertEqual([c.value for c in merged.worksheets[2][2]][:7],
                         [c.value for c in source[2]][:7])


if __name__ == "__main__":
    qt.main()

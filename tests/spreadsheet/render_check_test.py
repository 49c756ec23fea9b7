"""Render check of charts and pictures: a workbook merged whole (every sheet, in tab order) must
print as its source does. LibreOffice exports both to PDF, poppler rasterises every page, and the
pages are compared pixel by pixel with a small tolerance (anti-aliasing, font hinting). A chart
that lost its data, a picture that went missing or a shape that moved shows up as a page that
differs. Skips (77) when LibreOffice, pdftoppm or PIL/numpy are missing."""

import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tools"))

import quillory_testing as qt  # noqa: E402

try:
    import numpy
    from PIL import Image
except ImportError:  # reported as a skip below
    numpy = None

PDFTOPPM = shutil.which("pdftoppm")
RENDER_DPI = 60
# A pixel differs when its grey level moves by more than this (0..255).
PIXEL_TOLERANCE = 48
# A page matches when at most this share of its pixels differ.
MAX_DIFFERING_SHARE = 0.005
FIXTURES = ["charts.xlsx", "pictures.xlsx"]
CORPUS_FILES = ["poi__test-data--spreadsheet--123233_charts.xlsx",
                "poi__test-data--spreadsheet--WithTextBox.xlsx"]

STATE = {}


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


def setUpModule():
    if numpy is None or not PDFTOPPM or not qt.SOFFICE:
        raise unittest.SkipTest("needs LibreOffice (soffice), pdftoppm (poppler-utils), "
                                "python3-pil and python3-numpy")
    qt.require_tools("merge", "fixtures", "check")
    work = qt.temp_dir("render-check")
    sources = qt.write_fixtures(os.path.join(work, "sources"))
    corpus = [os.path.join(qt.SHARED_DIR, "corpus", name) for name in CORPUS_FILES]
    chosen = [p for p in sources if os.path.basename(p) in FIXTURES] + [
        p for p in corpus if os.path.exists(p)]
    merged = {}
    for index, source in enumerate(chosen):
        merged[source] = os.path.join(work, "merged%02d.xlsx" % index)
        qt.merge(merged[source], [source])
    pdfs = qt.libreoffice_convert(list(merged) + list(merged.values()), "pdf", work)
    STATE.update(work=work, merged=merged, pdfs=pdfs)


class RenderCheck(unittest.TestCase):
    def test_charts_pictures_and_text_boxes_render_as_in_their_source(self):
        by_name = {os.path.basename(p): p for p in STATE["merged"]}
        for name in FIXTURES + CORPUS_FILES:
            with self.subTest(name):
                if name not in by_name:
                    self.skipTest("corpus workbook not found under %s" % qt.SHARED_DIR)
                self.compare(by_name[name])

    def compare(self, source):
        merged = STATE["merged"][source]
        self.assertEqual(qt.check_package(merged), [], merged)
        source_pdf, merged_pdf = STATE["pdfs"][source], STATE["pdfs"][merged]
        self.assertTrue(os.path.exists(source_pdf), "LibreOffice exported no PDF of the source")
        self.assertTrue(os.path.exists(merged_pdf), "LibreOffice exported no PDF of the result")
        before = pages(source_pdf, STATE["work"])
        after = pages(merged_pdf, STATE["work"])
        self.assertGreater(len(before), 0)
        self.assertEqual(len(before), len(after), "page count")
        for number, (a, b) in enumerate(zip(before, after), start=1):
            share = differing_share(a, b)
            self.assertLessEqual(share, MAX_DIFFERING_SHARE,
                                 "page %d of %s differs in %.2f%% of its pixels"
                                 % (number, os.path.basename(source), 100 * share))


if __name__ == "__main__":
    qt.main()

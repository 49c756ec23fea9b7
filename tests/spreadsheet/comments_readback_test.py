"""Notes after a merge, read back by independent readers: openpyxl must find every note of every
copy (cell, author, text) as in the source, and LibreOffice must open the result and keep them
when it saves the workbook again."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tools"))

import openpyxl  # noqa: E402

import quillory_testing as qt  # noqa: E402

STATE = {}
THREADED_SOURCE = "poi__test-data--spreadsheet--right-to-left.xlsx"


def setUpModule():
    qt.require_tools("merge", "fixtures", "check")
    folder = qt.temp_dir("comments")
    files = qt.write_fixtures(os.path.join(folder, "fixtures"))
    notes = next(f for f in files if os.path.basename(f) == "notes.xlsx")
    STATE.update(folder=folder, notes=notes)


def notes_of(path):
    """{sheet title: [(cell, author, text)]} as openpyxl reads them."""
    book = openpyxl.load_workbook(path)
    return {ws.title: [(c.coordinate, c.comment.author, c.comment.text)
                       for row in ws.iter_rows() for c in row if c.comment]
            for ws in book.worksheets}


def merge(name, paths):
    output = os.path.join(STATE["folder"], name)
    run = qt.run_merge(output, paths)
    if run.returncode != 0:
        raise AssertionError("merge failed: " + run.stderr)
    return output


class NotesReadBack(unittest.TestCase):
    def test_every_note_of_every_copy_reads_back_as_in_its_source(self):
        source = notes_of(STATE["notes"])
        self.assertEqual(sum(len(n) for n in source.values()), 4)
        output = merge("twice.xlsx", [STATE["notes"], STATE["notes"]])
        self.assertEqual(qt.check_package(output), [])
        result = notes_of(output)
        self.assertEqual(len(result), 2 * len(source))
        for title, notes in source.items():
            self.assertEqual(result[title], notes, title)
            self.assertEqual(result[title + " (2)"], notes, title + " (2)")

    def test_threaded_comments_keep_their_notes_for_older_readers(self):
        path = os.path.join(qt.SHARED_DIR, "corpus", THREADED_SOURCE)
        if not os.path.exists(path):
            self.skipTest("corpus workbook not found: " + path)
        output = merge("threads.xlsx", [path, path])
        self.assertEqual(qt.check_package(output), [])
        source = notes_of(path)
        result = notes_of(output)
        for title, notes in source.items():
            for copy in (title, title + " (2)"):
                # The text is kept; the author names the copy's own new thread id.
                self.assertEqual([(c, t) for c, _, t in result[copy]],
                                 [(c, t) for c, _, t in notes], copy)
                self.assertTrue(all(a.startswith("tc={") for _, a, _ in result[copy]))
        authors = [a for notes in result.values() for _, a, _ in notes]
        self.assertEqual(len(authors), len(set(authors)), "thread ids repeated across copies")


@unittest.skipUnless(qt.SOFFICE, "LibreOffice (soffice) is not installed")
class LibreOfficeOpensResult(unittest.TestCase):
    def test_libreoffice_keeps_every_note_when_it_saves_the_result(self):
        output = merge("for-lo.xlsx", [STATE["notes"], STATE["notes"]])
        saved = qt.libreoffice_convert([output], "xlsx", os.path.join(STATE["folder"], "lo"))[output]
        self.assertTrue(os.path.exists(saved), "LibreOffice did not open and save the result")
        expected = {t: [(c, text) for c, _, text in n] for t, n in notes_of(output).items()}
        resaved = {t: [(c, text) for c, _, text in n] for t, n in notes_of(saved).items()}
        self.assertEqual(resaved, expected)


if __name__ == "__main__":
    qt.main()

"""Bad input gets its own clear description naming the file, exit status 1, no crash and no
output file left behind. Fixtures: tests/fixtures/ (hand-written by make_hostile_fixtures.py);
the zip bomb is written at test time."""

import os
import re
import shutil
import stat
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tools"))

import quillory_testing as qt  # noqa: E402

FIXTURES = os.path.join(os.path.dirname(HERE), "fixtures")
STATE = {}

# What each description must speak of (the words a user needs), per fault.
EXPECTED = {
    "not-a-zip.xlsx": r"not a (zip|workbook|valid)|zip|format",
    "truncated-central-directory.xlsx": r"truncat|damaged|corrupt|incomplete|cut off",
    "zip-without-workbook.xlsx": r"(not|no) .*workbook|workbook.*(missing|not found)",
    "password-protected-cfb.xlsx": r"password|encrypt",
    "legacy-biff-renamed.xlsx": r"\.xls\b|legacy|97|BIFF|older|binary",
    "doctype-entity-expansion.xlsx": r"DTD|DOCTYPE|entit|declaration",
    "missing-worksheet-part.xlsx": r"missing|not found|does not contain|lacks|absent",
    "style-index-out-of-range.xlsx": r"style|format",
    "shared-string-index-out-of-range.xlsx": r"shared string|string",
    "zip-bomb-ratio.xlsx": r"too large|limit|ratio|size|expand|bomb",
}


def setUpModule():
    qt.require_tools("merge")
    work = qt.temp_dir("hostile")
    STATE["work"] = work
    generated = os.path.join(work, "generated")
    subprocess.run([sys.executable, os.path.join(FIXTURES, "make_hostile_fixtures.py"), generated,
                    "--with-bomb"], check=True, timeout=300)
    STATE["files"] = {name: os.path.join(FIXTURES, name) for name in EXPECTED
                      if os.path.exists(os.path.join(FIXTURES, name))}
    STATE["files"]["zip-bomb-ratio.xlsx"] = os.path.join(generated, "zip-bomb-ratio.xlsx")
    STATE["damaged_xlsb"] = os.path.join(FIXTURES, "damaged-binary-workbook.xlsb")
    STATE["before"] = qt.snapshot(list(STATE["files"].values()) +
                                  [os.path.join(FIXTURES, "damaged-binary-workbook.xlsb")])


def fresh_output(name):
    folder = os.path.join(STATE["work"], "out-" + re.sub(r"\W", "_", name))
    os.makedirs(folder, exist_ok=True)
    return folder, os.path.join(folder, "result.xlsx")


class HostileInputTest(unittest.TestCase):

    def assertCleanFailure(self, completed, folder, names, pattern=None):
        self.assertEqual(completed.returncode, 1,
                         "exit %d (a negative status is a crash); stderr: %s" % (
                             completed.returncode, completed.stderr))
        message = completed.stderr.strip()
        self.assertTrue(message, "no description on stderr")
        for name in names:
            self.assertIn(name, message, "the description does not name %s" % name)
        if pattern:
            self.assertRegex(message, re.compile(pattern, re.I))
        self.assertEqual(os.listdir(folder), [], "the failed merge left files behind")
        return message

    def test_each_bad_workbook_gets_its_own_description(self):
        descriptions = {}
        self.assertEqual(set(STATE["files"]), set(EXPECTED), "fixtures missing from tests/fixtures")
        for name, path in sorted(STATE["files"].items()):
            with self.subTest(fixture=name):
                folder, output = fresh_output(name)
                completed = qt.run_merge(output, paths=[path])
                descriptions[name] = self.assertCleanFailure(completed, folder, [name], EXPECTED[name])
        # One description per fault: the file name aside, no two faults read the same.
        texts = {}
        for name, text in descriptions.items():
            texts.setdefault(text.replace(name, "<file>"), []).append(name)
        self.assertEqual([n for n in texts.values() if len(n) > 1], [])

    def test_bad_sources_among_merges_fail_cleanly_naming_them(self):
        good = os.path.join(FIXTURES, "minimal-valid.xlsx")
        locked = os.path.join(STATE["work"], "locked.xlsx")
        shutil.copyfile(good, locked)
        os.chmod(locked, 0)
        # (case, paths, names the description must hold, its words)
        cases = [
            # LibreOffice would turn this one (a 3-byte workbook part) into an empty "Sheet1":
            # the source is looked into before it is converted.
            ("damaged-xlsb", [STATE["damaged_xlsb"]], ["damaged-binary-workbook.xlsb"],
             r"xlsb|binary|damaged|convert"),
            ("mixed", [good, STATE["files"]["truncated-central-directory.xlsx"]],
             ["truncated-central-directory.xlsx"], None),
        ]
        if os.geteuid() != 0:  # file permissions do not stop root reading
            cases.append(("unreadable", [locked], ["locked.xlsx"], None))
        try:
            for name, paths, names, pattern in cases:
                with self.subTest(name):
                    folder, output = fresh_output(name)
                    completed = qt.run_merge(output, paths=paths)
                    self.assertCleanFailure(completed, folder, names, pattern)
        finally:
            os.chmod(locked, stat.S_IRUSR | stat.S_IWUSR)

    def test_an_output_folder_that_cannot_be_written(self):
        blocker = os.path.join(STATE["work"], "a-file-not-a-folder")
        with open(blocker, "w") as fh:
            fh.write("x")
        output = os.path.join(blocker, "result.xlsx")
        completed = qt.run_merge(output, paths=[os.path.join(FIXTURES, "minimal-valid.xlsx")])
        self.assertEqual(completed.returncode, 1, completed.stderr)
        self.assertIn("result.xlsx", completed.stderr)
        self.assertTrue(os.path.isfile(blocker))

    def test_sources_are_byte_identical_after_failing(self):
        self.assertEqual(qt.snapshot(list(STATE["files"].values()) + [STATE["damaged_xlsb"]]),
                         STATE["before"])


if __name__ == "__main__":
    qt.main()

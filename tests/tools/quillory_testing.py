"""Shared helpers for the python checks: where the tools are, running the merge tool, the
structural checker and LibreOffice, source snapshots, and a unittest runner that exits 77 when
every test was skipped (ctest's SKIP_RETURN_CODE)."""

import atexit
import csv
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

SKIPPED = 77
MERGE_TIMEOUT_SECONDS = 120
LIBREOFFICE_TIMEOUT_SECONDS = 600
MAX_SHEET_NAME = 31

BINARY_DIR = os.environ.get("QUILLORY_BINARY_DIR", "")
SOURCE_DIR = os.environ.get(
    "QUILLORY_SOURCE_DIR", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
SHARED_DIR = os.environ.get("QUILLORY_SHARED_DIR", os.path.join(SOURCE_DIR, "..", "shared"))


def tool(relative):
    path = os.path.join(BINARY_DIR, relative) if BINARY_DIR else ""
    return path if path and os.access(path, os.X_OK) else None


TOOLS = {"merge": "src/quillory-merge", "fixtures": "tests/quillory-fixtures",
         "check": "tests/quillory-check-package"}
MERGE, FIXTURES, CHECK_PACKAGE = (tool(TOOLS[name]) for name in ("merge", "fixtures", "check"))
SOFFICE = shutil.which("soffice")


def require_tools(*needed):
    """Raises SkipTest naming what is missing (the merge tool lands after the checks)."""
    missing = [TOOLS[name] for name in needed if not tool(TOOLS[name])]
    if missing:
        raise unittest.SkipTest("not built in QUILLORY_BINARY_DIR=%r: %s" % (
            BINARY_DIR, ", ".join(missing)))


def run_merge(output, paths=(), entries=None, report=None, extra=(), timeout=MERGE_TIMEOUT_SECONDS,
              env=None):
    """Runs quillory-merge (in env, default this process's environment); entries is a list of
    (path, sheet) written to an entries file."""
    args = [MERGE, "-o", str(output)]
    if entries is not None:
        entries_file = str(output) + ".entries.tsv"
        with open(entries_file, "w", encoding="utf-8", newline="") as fh:
            for path, sheet in entries:
                fh.write("%s\t%s\n" % (path, sheet))
        args += ["--entries", entries_file]
    if report:
        args += ["--report", str(report)]
    args += list(extra) + [str(p) for p in paths]
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout, env=env)


def merge(output, paths=(), entries=None):
    """Runs quillory-merge, which must succeed; gives the items of its report."""
    report = str(output) + ".report.json"
    completed = run_merge(output, paths, entries, report)
    if completed.returncode != 0:
        raise AssertionError("merge failed: " + completed.stderr)
    with open(report, encoding="utf-8") as fh:
        return json.load(fh)["items"]


def run_list(path, timeout=MERGE_TIMEOUT_SECONDS):
    return subprocess.run([MERGE, "--list", str(path)], capture_output=True, text=True,
                          timeout=timeout)


def check_package(path):
    """The structural checker's problems for one package (empty list when sound)."""
    cp = subprocess.run([CHECK_PACKAGE, str(path)], capture_output=True, text=True, timeout=300)
    if cp.returncode not in (0, 1):
        return ["checker failed: " + cp.stderr.strip()]
    prefix = str(path) + ": "
    return [line[len(prefix):] if line.startswith(prefix) else line
            for line in cp.stdout.splitlines() if line.strip()]


def write_fixtures(folder):
    cp = subprocess.run([FIXTURES, str(folder)], capture_output=True, text=True, timeout=120)
    if cp.returncode != 0:
        raise RuntimeError("quillory-fixtures failed: " + cp.stderr)
    return [os.path.join(folder, line.split("\t")[0]) for line in cp.stdout.splitlines() if line]


def sha256(path):
    with open(path, "rb") as fh:
        return hashlib.file_digest(fh, "sha256").hexdigest()


def snapshot(paths):
    return {str(p): (sha256(p), os.stat(p).st_mtime_ns) for p in paths}


# Sheet names ----------------------------------------------------------------------------------

def utf16_length(text):
    return sum(2 if ord(ch) > 0xFFFF else 1 for ch in text)


def sheet_name_problems(names):
    """Names must be valid and unique without regard to case."""
    problems = []
    seen = set()
    for name in names:
        if not 1 <= utf16_length(name) <= MAX_SHEET_NAME:
            problems.append("%r is not 1 to 31 characters" % name)
        if re.search(r"[\[\]:*?/\\]", name) or name.startswith("'") or name.endswith("'"):
            problems.append("%r holds a forbidden character" % name)
        if name.casefold() in seen:
            problems.append("%r appears twice (without regard to case)" % name)
        seen.add(name.casefold())
    return problems


def is_renamed_copy(source_name, result_name):
    """True when result_name is source_name, or a 'Name (n)' copy of it cut to 31 characters."""
    if result_name == source_name:
        return True
    match = re.fullmatch(r"(.*) \((\d+)\)", result_name)
    if not match or int(match.group(2)) < 2 or utf16_length(result_name) > MAX_SHEET_NAME:
        return False
    base = match.group(1)
    stripped = re.sub(r" \(\d+\)$", "", source_name)
    return bool(base) and (source_name.startswith(base) or stripped.startswith(base))


# LibreOffice ----------------------------------------------------------------------------------

# Token 12 = -1: every sheet into its own file "<name>-<sheet>.csv" (LibreOffice 7.2+); values
# as shown (formatted), so number formats are compared too.
CSV_FILTER = "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true,false,false,-1"


def libreoffice_convert(files, filter_name, workdir, extension=None):
    """Converts every file in ONE LibreOffice run with a private profile; returns {file: the
    path of its conversion} (absent when LibreOffice wrote nothing). Each file is copied first so
    LibreOffice never touches a source. extension: of what LibreOffice writes, when it is not
    the filter's first word."""
    extension = extension or filter_name.split(":")[0]
    tag = re.sub(r"\W", "_", extension)
    profile = os.path.join(workdir, "lo-profile")
    inputs, outputs = (os.path.join(workdir, name + "-" + tag) for name in ("lo-in", "lo-out"))
    for folder in (profile, inputs, outputs):
        os.makedirs(folder, exist_ok=True)
    copies = {}
    for index, path in enumerate(files):
        stem = "book%03d" % index
        shutil.copyfile(path, os.path.join(inputs, stem + os.path.splitext(path)[1].lower()))
        copies[path] = stem
    subprocess.run([SOFFICE, "-env:UserInstallation=file://" +
                    urllib.parse.quote(os.path.abspath(profile)), "--headless", "--norestore",
                    "--nolockcheck", "--convert-to", filter_name, "--outdir", outputs] +
                   [os.path.join(inputs, n) for n in sorted(os.listdir(inputs))],
                   capture_output=True, text=True, timeout=LIBREOFFICE_TIMEOUT_SECONDS)
    return {path: os.path.join(outputs, stem + "." + extension) for path, stem in copies.items()}


def libreoffice_csv(files, workdir):
    """{file: {sheet name: rows}} as LibreOffice shows each file, converted in one run."""
    outputs = {path: os.path.dirname(out) for path, out in
               libreoffice_convert(files, CSV_FILTER, workdir).items()}
    result = {}
    for index, path in enumerate(files):
        stem, folder = "book%03d" % index, outputs[path]
        sheets = {}
        for name in os.listdir(folder):
            if name.startswith(stem + "-") and name.endswith(".csv"):
                with open(os.path.join(folder, name), encoding="utf-8", errors="replace",
                          newline="") as fh:
                    sheets[name[len(stem) + 1:-4]] = trim_rows(list(csv.reader(fh)))
        result[path] = sheets
    return result


def trim_rows(rows):
    out = [list(r) for r in rows]
    for r in out:
        while r and r[-1] == "":
            r.pop()
    while out and not out[-1]:
        out.pop()
    return out


# Runner ---------------------------------------------------------------------------------------

def main():
    """Runs the tests of __main__; exit 0 on success, 77 when every test was skipped."""
    suite = unittest.defaultTestLoader.loadTestsFromModule(sys.modules["__main__"])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    if not result.wasSuccessful():
        sys.exit(1)
    # A skip in setUpModule skips everything without running a test; a skipped subtest leaves
    # the rest of its test running.
    whole = [test for test, _ in result.skipped if type(test).__name__ != "_SubTest"]
    if whole and len(whole) >= result.testsRun:
        sys.exit(SKIPPED)
    sys.exit(0)


def temp_dir(prefix):
    """A fresh folder, removed when the test program ends (kept with QUILLORY_KEEP_TEMP=1)."""
    folder = tempfile.mkdtemp(prefix="quillory-%s-" % prefix)
    if not os.environ.get("QUILLORY_KEEP_TEMP"):
        atexit.register(shutil.rmtree, folder, True)
    return folder

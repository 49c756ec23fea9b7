#!/usr/bin/env python3
"""Seeds one deliberate fault at a time into src/, rebuilds, runs the tests, and reports which
faults the suite caught. The source is restored after every fault, also on Ctrl-C; a copy of the
file being changed stays under the build folder until then, so the next run repairs a run that
was killed outright.

    tests/tools/seed_faults.py [--build-dir build] [--only ID ...] [--list]

Each fault runs the compiled tests of its area first (a caught fault costs little), then, when
those pass, the rest of the suite but the benchmark guard (a moved instruction count is no caught
fault), both stopping at the first failure. The normal RelWithDebInfo build is the cheapest."""

import argparse
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

# (id, file under src/, exact text (must occur once), replacement, tests of its area, what it breaks)
FAULTS = [
    # The engine.
    ("zip-raw-size", "spreadsheet/ooxml/package/ZipStream.cpp",
     "entries_.back().compressedSize += bytes.size();",
     "entries_.back().compressedSize += bytes.size() - 1;", "spreadsheet",
     "off by one in the size of an entry copied raw"),
    ("rels-target-mode", "spreadsheet/ooxml/package/Relationships.cpp",
     'node->attributeOr("TargetMode", "")', 'node->attributeOr("Mode", "")', "spreadsheet",
     "relationship target mode not read"),
    ("xml-gt-entity", "spreadsheet/ooxml/xml/XmlScanner.cpp",
     "cp = '>';", "cp = '<';", "spreadsheet", "&gt; decoded as <"),
    ("shared-string-offset", "spreadsheet/ooxml/sheetcopy/SharedStrings.cpp",
     "const std::size_t begin = index == 0 ? 0 : ends_[index - 1];",
     "const std::size_t begin = index == 0 ? 0 : ends_[index - 1] + 1;", "spreadsheet",
     "off by one in where a shared string begins"),
    ("cell-style-dropped", "spreadsheet/ooxml/sheetcopy/SheetTransplant.cpp",
     "const int resultStyle = c_.styles->cellXf(sourceStyle);",
     "const int resultStyle = c_.styles->cellXf(0);", "spreadsheet",
     "every cell gets the default format"),
    ("date-shift-sign", "spreadsheet/ooxml/sheetcopy/SheetTransplant.cpp",
     "const double shifted = serial + c_.dateShiftDays;",
     "const double shifted = serial - c_.dateShiftDays;", "spreadsheet",
     "dates shifted the wrong way between date systems"),
    ("border-id-dropped", "spreadsheet/ooxml/styles/Styles.cpp",
     'record.setAttribute("borderId",', 'record.setAttribute("borderID",', "spreadsheet",
     "cell formats written without their border"),
    ("builtin-format-kept", "spreadsheet/ooxml/styles/NumberFormats.cpp",
     "if (builtin && *builtin == code) {", "if (builtin) {", "spreadsheet",
     "a redefined built-in number format keeps the built-in code"),
    ("tint-darken", "spreadsheet/ooxml/styles/Colors.cpp",
     "hsl.luminance = hsl.luminance * (1.0 + tint);",
     "hsl.luminance = hsl.luminance * (1.0 - tint);", "spreadsheet", "negative tint lightens"),
    ("sheet-name-length", "spreadsheet/ooxml/formulas/SheetNames.cpp",
     "if (Utf16Length(name) > kMaxSheetNameLength) {",
     "if (Utf16Length(name) >= kMaxSheetNameLength) {", "spreadsheet",
     "a sheet name of the longest length refused"),
    ("copy-suffix-start", "spreadsheet/ooxml/formulas/SheetNames.cpp",
     "existingNumber > 0 ? existingNumber + 1 : 2;", "existingNumber > 0 ? existingNumber + 1 : 1;",
     "spreadsheet|merge", "the first duplicate sheet name is numbered (1)"),
    ("quote-apostrophe", "spreadsheet/ooxml/formulas/SheetNames.cpp",
     "        if (c == '\\'') {\n            quoted += '\\'';",
     "        if (c == '\"') {\n            quoted += '\\'';", "spreadsheet",
     "an apostrophe in a quoted sheet name not doubled"),
    ("formula-rename-swapped", "spreadsheet/ooxml/formulas/Formula.cpp",
     "if (first && !SheetNamesEqual(*first, qualifier.firstSheet)) {",
     "if (first && SheetNamesEqual(*first, qualifier.firstSheet)) {", "spreadsheet",
     "a reference to a renamed sheet keeps the old name"),
    ("shape-id-reused", "spreadsheet/ooxml/objects/ShapeIds.cpp",
     "result.nextFresh_ = base + highest + 1;", "result.nextFresh_ = base + highest;",
     "spreadsheet", "a new shape takes the id of an existing one"),
    ("metadata-type-index", "spreadsheet/ooxml/sheetcopy/Metadata.cpp",
     "return static_cast<int>(i) + 1;", "return static_cast<int>(i);", "spreadsheet",
     "off by one in a metadata type number"),
    ("external-target-mode", "spreadsheet/ooxml/package/Relationships.cpp",
     'attributes.emplace_back("TargetMode", "External");', "", "spreadsheet",
     "external relationships written as internal"),
    ("hidden-state-dropped", "spreadsheet/ooxml/WorkbookWriter.cpp",
     'attributes.emplace_back("state", "hidden");', "", "spreadsheet|merge",
     "a hidden sheet becomes visible"),
    ("active-tab", "spreadsheet/ooxml/WorkbookWriter.cpp",
     "active = copy.index;\n        }\n    }\n    xml += \"<bookViews>",
     "active = copy.index + 1;\n        }\n    }\n    xml += \"<bookViews>", "spreadsheet|merge",
     "the wrong sheet is the active tab"),
    ("local-name-sheet", "spreadsheet/ooxml/WorkbookWriter.cpp",
     "if (defined.localSheetId == copy.sheet->position &&\n            defined.node",
     "if (defined.localSheetId == copy.sheet->position + 1 &&\n            defined.node",
     "spreadsheet", "names scoped to a sheet travel with the wrong sheet"),
    ("legacy-wide-names", "spreadsheet/legacy/LegacyWorkbookListing.cpp",
     "(static_cast<unsigned char>(data[7]) & 1)", "(static_cast<unsigned char>(data[7]) & 2)",
     "spreadsheet|browsing", "UTF-16 sheet names of .xls files read as Latin-1"),
    # The merge procedure.
    ("merge-unchecked", "merge/MergeSheets.cpp",
     "entry.checked && sources::GetPathKind(entry.path) == sources::PathKind::File;",
     "sources::GetPathKind(entry.path) == sources::PathKind::File;", "merge",
     "unticked merge entries are merged"),
    ("merge-order", "merge/MergeSheets.cpp",
     ".CopyBefore(result.AllSheets().Item(nextPosition));",
     ".CopyBefore(result.AllSheets().Item(1));", "merge", "merged sheets in reverse order"),
    ("merge-selected-sheet", "merge/MergeSheets.cpp",
     "result.AllSheets().Item(1).Select();", "result.AllSheets().Item(nextPosition - 1).Select();",
     "merge", "the last merged sheet is selected instead of the first"),
    ("merge-entry-unticked", "merge/MergeListCommands.cpp",
     "merge.setChecked(row, true);", "merge.setChecked(row, false);", "merge",
     "a new merge entry is unticked"),
    ("merge-swap-half", "merge/MergeListCommands.cpp",
     "    write(from, other);\n", "", "merge", "moving an entry duplicates it"),
    ("merge-remove-selection", "merge/MergeListCommands.cpp",
     "merge.select(removed > 1 ? removed - 1 : 1);", "merge.select(removed > 1 ? removed : 1);",
     "merge", "wrong entry selected after a removal"),
    ("add-all-sheets-last", "merge/MergeListCommands.cpp",
     "for (int i = 1; i <= count; ++i) {\n        const std::string path",
     "for (int i = 1; i < count; ++i) {\n        const std::string path", "merge",
     "Add All Sheets leaves out the last worksheet"),
    # The source list.
    ("remove-source-selection", "sources/SourceListCommands.cpp",
     "lists.sources.select(removed == 1 ? 2 : removed - 1);",
     "lists.sources.select(removed == 1 ? 2 : removed + 1);", "sources",
     "wrong source selected after a removal"),
    ("move-source-down-last", "sources/SourceListCommands.cpp",
     "position >= sources.count()) {", "position > sources.count()) {", "sources",
     "moving the last source down"),
    ("excel-pattern", "sources/SourceListCommands.cpp",
     'return lower.find(".xl") != std::string::npos;',
     'return lower.find(".xls") != std::string::npos;', "sources",
     "dropped .xltx/.xltm templates refused"),
    ("saved-list-last", "sources/SavedList.cpp",
     "for (int position = 1; position <= sources.count(); ++position) {",
     "for (int position = 1; position < sources.count(); ++position) {", "sources",
     "the last source is not saved"),
    ("settings-default", "sources/SettingsFile.cpp",
     'return ReadFirstLine(settingsFile) != "0";', 'return ReadFirstLine(settingsFile) == "1";',
     "sources", "a missing settings file turns saving the list off"),
    # Listing.
    ("workbook-order", "browsing/WorkbookListing.cpp",
     "return l != r ? l < r : left < right;", "return l != r ? l > r : left < right;", "browsing",
     "workbooks of a folder listed in reverse order"),
    ("folder-separator", "browsing/WorkbookListing.cpp",
     "if (candidate.back() != '/') {", "if (candidate.back() == '/') {", "browsing",
     "a folder path without a trailing slash"),
    ("worksheet-unticked", "browsing/WorksheetListing.cpp",
     "worksheets.setChecked(worksheets.add(name), true);",
     "worksheets.setChecked(worksheets.add(name), false);", "browsing",
     "listed worksheets unticked"),
    ("add-all-ignores-ticks", "browsing/AddAllExcelFiles.cpp",
     "if (!path.empty() && lists.workbooks.checked(i)) {", "if (!path.empty()) {", "browsing",
     "Add All Excel Files takes unticked workbooks"),
    # The window.
    ("buttons-up-down", "mainwindow/Form1.cpp",
     "{14, &Form1::Command14_Click}, {15, &Form1::Command15_Click},",
     "{14, &Form1::Command15_Click}, {15, &Form1::Command14_Click},", "gui",
     "the merge list's up and down buttons swapped"),
    ("merge-guard", "mainwindow/Form1BrowseMerge.cpp",
     "    if (browseMergeState_.merging) {\n        return;",
     "    if (!browseMergeState_.merging) {\n        return;", "gui", "Merge does nothing"),
    ("view-row-offset", "mainwindow/ListModelAdapter.cpp",
     "        return viewRow + 1;", "        return viewRow;", "gui",
     "a list view shows each row's neighbour"),
    ("view-checkbox", "mainwindow/ListModelAdapter.cpp",
     "model_.setChecked(position, value.toInt() == Qt::Checked);",
     "model_.setChecked(position, value.toInt() != Qt::Checked);", "gui",
     "ticking a box in a list view unticks the row"),
    ("merge-list-column", "mainwindow/Form1.cpp",
     '    lists_.merge.addColumn("Sheets be Merged", 1900);\n', "", "gui",
     "the merge list without its worksheet column"),
]


TEST_TIMEOUT = 900
BACKUP_SUFFIX = ".seeded-fault-backup"


class Interrupted(Exception):
    pass


def on_signal(signum, _frame):
    raise Interrupted(signal.Signals(signum).name)


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


def restore_leftovers(build_dir):
    """Puts back a source left changed by a run that was killed before it could restore it."""
    for name in os.listdir(build_dir):
        if name.endswith(BACKUP_SUFFIX):
            relative = name[: -len(BACKUP_SUFFIX)].replace("__", "/")
            with open(os.path.join(build_dir, name), "rb") as f:
                write_file(os.path.join(ROOT, "src", relative), f.read())
            os.remove(os.path.join(build_dir, name))
            print(f"restored src/{relative} left changed by an earlier run")


def run(command, log, timeout=None):
    log.write(("$ " + " ".join(command) + "\n").encode())
    log.flush()
    process = subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        return process.wait(timeout=timeout)
    except BaseException:
        os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
        raise


def ctest(build_dir, selection, log):
    """Runs tests until the first failure; gives the failed test's name, or None when all pass."""
    start = log.tell()
    command = ["ctest", "--test-dir", build_dir, "--stop-on-failure", "-j2"] + selection
    try:
        if run(command, log, TEST_TIMEOUT) == 0:
            return None
    except subprocess.TimeoutExpired:
        return "(timed out)"
    log.flush()
    with open(log.name, "rb") as f:
        f.seek(start)
        output = f.read().decode(errors="replace")
    # Skipped tests are listed the same way ("N - name (Skipped)"); they caught nothing.
    failed = re.findall(r"^\s*\d+ - (\S+) \((?!Skipped|Disabled)", output, re.M)
    return failed[0] if failed else "(failed)"


def seed(fault, build_dir, log):
    ident, relative, text, replacement, area, _ = fault
    path = os.path.join(ROOT, "src", relative)
    with open(path, "rb") as f:
        original = f.read()
    if original.count(text.encode()) != 1:
        return "stale (the text is not in the file exactly once)"
    backup = os.path.join(build_dir, relative.replace("/", "__") + BACKUP_SUFFIX)
    write_file(backup, original)
    try:
        write_file(path, original.replace(text.encode(), replacement.encode()))
        log.write(f"\n=== {ident}\n".encode())
        build = ["cmake", "--build", build_dir, "-j2"]
        # The area's own programs (a window test is one program each), then everything else.
        targets = []
        for name in area.split("|"):
            folder = os.path.join(ROOT, "tests", name)
            targets += (sorted(f[:-4] for f in os.listdir(folder) if f.endswith("_test.cpp"))
                        if name == "gui" else [name + "_tests"])
        if run(build + ["--target"] + targets, log) != 0:
            return "does not build"
        area_tests = r"^gui\." if area == "gui" else rf"^({area})\.[^.]+\."
        caught_by = ctest(build_dir, ["-R", area_tests], log)
        if caught_by is None:
            if run(build, log) != 0:
                return "does not build"
            # ctest keeps only the last -E: one expression for the area and the benchmark guard.
            caught_by = ctest(build_dir, ["-E", area_tests + r"|^bench\."], log)
        return "NOT CAUGHT" if caught_by is None else "caught by " + caught_by
    finally:
        # A second Ctrl-C must not stop the restore half-way.
        blocked = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT, signal.SIGTERM})
        write_file(path, original)
        os.remove(backup)
        signal.pthread_sigmask(signal.SIG_SETMASK, blocked)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build"))
    parser.add_argument("--only", nargs="*", help="fault ids to seed (default: all)")
    parser.add_argument("--list", action="store_true", help="list the faults and stop")
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build_dir)
    by_id = {f[0]: f for f in FAULTS}
    unknown = [i for i in args.only or [] if i not in by_id]
    if unknown:
        sys.exit("no such fault: " + ", ".join(unknown))
    faults = [by_id[i] for i in args.only] if args.only else FAULTS  # in the order asked
    if args.list:
        for ident, relative, text, _, _, what in faults:
            with open(os.path.join(ROOT, "src", relative), encoding="utf-8") as f:
                stale = "" if f.read().count(text) == 1 else "  (STALE: text not found once)"
            print(f"{ident:26} src/{relative}: {what}{stale}")
        return 0
    if not os.path.isfile(os.path.join(build_dir, "CTestTestfile.cmake")):
        sys.exit(f"{build_dir} is no configured build folder")
    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGTERM, on_signal)
    restore_leftovers(build_dir)
    log_path = os.path.join(build_dir, "seed_faults.log")
    outcomes = []
    with open(log_path, "wb") as log:
        try:
            for fault in faults:
                started = time.monotonic()
                outcomes.append(seed(fault, build_dir, log))
                print(f"{fault[0]:26} {time.monotonic() - started:5.0f} s  {outcomes[-1]}",
                      flush=True)
        except Interrupted as signal_name:
            print(f"stopped by {signal_name}; the source is restored", file=sys.stderr)
        finally:
            run(["cmake", "--build", build_dir, "-j2"], log)  # the build of the restored source
    caught = sum(1 for outcome in outcomes if outcome.startswith("caught"))
    valid = caught + outcomes.count("NOT CAUGHT")
    print(f"\n{caught} of {valid} seeded faults caught (log: {log_path})")
    return 0 if caught == valid == len(faults) else 1


if __name__ == "__main__":
    sys.exit(main())

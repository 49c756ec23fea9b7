#!/bin/sh
# Legacy merge benchmark: for each .xls given, the median wall time of three merges of that file
# alone with quillory-merge next to the median of three conversions of it alone by LibreOffice
# headless (a fresh profile each time, as the engine starts it), and their ratio. The aim is a
# merge within twice the conversion: reading the workbook's own records and correcting the
# converted package should cost little beside the conversion.
# Usage: bench/legacy_merge.sh [--build-dir DIR] FILE.xls...   (default build dir: build)
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build
if [ "${1:-}" = "--build-dir" ]; then
    BUILD=$2
    shift 2
fi
[ $# -gt 0 ] || { echo "usage: $0 [--build-dir DIR] FILE.xls..." >&2; exit 2; }
[ -f "$BUILD/build.ninja" ] || cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" --target quillory-merge > /dev/null

/usr/bin/python3 - "$BUILD/src/quillory-merge" "$@" <<'PY'
import os, shutil, statistics, subprocess, sys, tempfile, time

merge, files = sys.argv[1], sys.argv[2:]
RUNS = 3

def timed(command, env=None):
    start = time.monotonic()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   env=env)
    return time.monotonic() - start

print(f"load average before: {os.getloadavg()[0]:.1f}")
print(f"{'file':<40} {'merge':>8} {'convert':>8} {'ratio':>6}")
for path in files:
    merges, conversions = [], []
    for _ in range(RUNS):
        with tempfile.TemporaryDirectory() as work:
            merges.append(timed([merge, "-q", "-o", os.path.join(work, "out.xlsx"), path]))
        with tempfile.TemporaryDirectory() as work:
            conversions.append(timed(
                ["soffice", "--headless", "--invisible", "--norestore", "--nologo",
                 "--nodefault", "--nolockcheck",
                 "-env:UserInstallation=file://" + os.path.join(work, "profile"),
                 "--convert-to", "xlsx:Calc MS Excel 2007 XML", "--outdir", work, path]))
    m, c = statistics.median(merges), statistics.median(conversions)
    print(f"{os.path.basename(path)[:40]:<40} {m:7.2f}s {c:7.2f}s {m / c:5.2f}x")
print(f"load average after: {os.getloadavg()[0]:.1f}")
PY

#!/bin/sh
# Merge benchmark: merges the generated corpora with quillory-merge and prints wall time and peak
# memory (ru_maxrss of the child) next to the zlib floor (inflating and deflating the same parts
# once at level 6), then the time to list a workbook of more than 50 MB.
# Usage: bench/run.sh [BUILD_DIR]   (default: build; the corpora are cached in BUILD_DIR/bench-data)
# Targets (checked here, not by the tests): merge within 2x the floor, peak memory under 150 MB
# for the 200,000-row corpus, listing under 20 ms.
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
DATA=$BUILD/bench-data

[ -f "$BUILD/build.ninja" ] || cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" --target quillory-merge compare_generate_corpus compare_zlib_floor \
    compare_list_time

for corpus in office large; do
    if [ ! -d "$DATA/$corpus" ]; then
        mkdir -p "$DATA/$corpus"
        "$BUILD/bench/compare_generate_corpus" "$corpus" "$DATA/$corpus" > /dev/null
    fi
done

/usr/bin/python3 - "$BUILD" "$DATA" <<'PY'
import glob, os, resource, subprocess, sys, time

build, data = sys.argv[1], sys.argv[2]
merge = os.path.join(build, "src", "quillory-merge")
floor_tool = os.path.join(build, "bench", "compare_zlib_floor")
list_tool = os.path.join(build, "bench", "compare_list_time")
FLOOR_FACTOR = 2.0
MAX_PEAK_MB = 150
MAX_LIST_MS = 20.0

def timed_child(args):
    # Peak memory of this child alone: run it through a fresh interpreter that reports it.
    probe = ("import resource,subprocess,sys,time;t=time.monotonic();"
             "r=subprocess.run(sys.argv[1:],stdout=subprocess.DEVNULL);"
             "print(time.monotonic()-t,resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss,"
             "r.returncode)")
    out = subprocess.run([sys.executable, "-c", probe] + args, capture_output=True, text=True,
                         check=True).stdout.split()
    return float(out[0]), int(out[1]) / 1024.0, int(out[2])

failed = False
for corpus in ("office", "large"):
    files = sorted(glob.glob(os.path.join(data, corpus, "*.xlsx")))
    result = os.path.join(data, corpus + "-merged.xlsx")
    seconds, peak, status = timed_child([merge, "-q", "-o", result] + files)
    floor, _, floor_status = timed_child([floor_tool, "-o", os.path.join(data, "floor.zip")] + files)
    ratio = seconds / floor if floor > 0 else float("inf")
    print(f"{corpus:7s} merge {seconds:7.2f} s  peak {peak:6.1f} MB  zlib floor {floor:7.2f} s"
          f"  ratio {ratio:4.2f}  (exit {status}/{floor_status})")
    if status != 0 or ratio > FLOOR_FACTOR or (corpus == "large" and peak > MAX_PEAK_MB):
        failed = True

big = os.path.join(data, "large-merged.xlsx")
size_mb = os.path.getsize(big) / 1e6
line = subprocess.run([list_tool, "--runs", "9", big], capture_output=True, text=True,
                      check=True).stdout.split()
print(f"listing a {size_mb:.0f} MB workbook: {float(line[0]):.3f} ms")
if float(line[0]) > MAX_LIST_MS:
    failed = True
print("targets met" if not failed else "TARGETS MISSED")
sys.exit(1 if failed else 0)
PY

#!/usr/bin/env python3
"""Per-test coverage map: runs every test of a gcov build (tests/tools/coverage.sh makes one in
build-cov/) alone, each with its own GCOV_PREFIX so that two can run at once, reads each test's
counters with gcov and writes, per test, the src/ lines and branches it covers and those that
only it covers. A test with nothing of its own is a candidate for folding into another; read it
first, it may still be the only one asserting what it checks.

    tests/tools/coverage_map.py BUILD_DIR OUT_DIR [-j N] [-R REGEX] [--collect-only]

OUT_DIR/unique.txt lists the tests by how many lines and branches only they cover, then those
lines; unique.json and per_test.json hold the same as data. A test that already ran (its
OUT_DIR/raw/<test>/.rc exists) is not run again; --collect-only just reads the counters.
"""
import argparse
import gzip
import json
import os
import re
import shutil
import subprocess
from concurrent.futures import ThreadPoolExecutor

parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
parser.add_argument("build_dir")
parser.add_argument("out_dir")
parser.add_argument("-j", type=int, default=2, help="tests run at once")
parser.add_argument("-R", default="", help="only the tests whose names match this regex")
parser.add_argument("--collect-only", action="store_true")
args = parser.parse_args()
build, out = os.path.abspath(args.build_dir), os.path.abspath(args.out_dir)
root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
raw = os.path.join(out, "raw")
os.makedirs(raw, exist_ok=True)

tests = []  # (name, command, folder, environment, timeout, serial)
for t in json.loads(subprocess.check_output(
        ["ctest", "--test-dir", build, "--show-only=json-v1"], text=True))["tests"]:
    if t["name"].startswith("bench.") or not re.search(args.R, t["name"]):
        continue
    props = {p["name"]: p["value"] for p in t.get("properties", [])}
    env = dict(os.environ, **dict(kv.partition("=")[::2] for kv in props.get("ENVIRONMENT", [])))
    tests.append((t["name"], t["command"], props.get("WORKING_DIRECTORY", build), env,
                  props.get("TIMEOUT", 1500), bool(props.get("RUN_SERIAL"))))


def run(test):
    name, cmd, cwd, env, timeout, _ = test
    prefix = os.path.join(raw, name)
    done = os.path.join(prefix, ".rc")
    if not os.path.exists(done):
        shutil.rmtree(prefix, ignore_errors=True)
        os.makedirs(prefix)
        env = dict(env, GCOV_PREFIX=prefix, GCOV_PREFIX_STRIP="0")
        try:
            rc = subprocess.run(cmd, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=float(timeout)).returncode
        except subprocess.TimeoutExpired:
            rc = "timeout"
        with open(done, "w") as f:
            f.write(str(rc))
    with open(done) as f:
        return name, f.read()


if not args.collect_only:
    for t in tests:
        if t[5]:
            print(*reversed(run(t)), flush=True)
    with ThreadPoolExecutor(args.j) as pool:
        for name, rc in pool.map(run, [t for t in tests if not t[5]]):
            print(f"{rc:>8} {name}", flush=True)


def gcov_of(name):
    """{file: (set(lines covered), set((line, branch index) taken))} for one test."""
    prefix = os.path.join(raw, name)
    gcdas = []
    for dirpath, _, files in os.walk(prefix):
        for f in files:
            if f.endswith(".gcda") and "/src/CMakeFiles/" in dirpath:
                gcda = os.path.join(dirpath, f)
                gcno = os.path.join(dirpath[len(prefix):], f)[:-5] + ".gcno"
                if not os.path.exists(gcda[:-5] + ".gcno") and os.path.exists(gcno):
                    os.symlink(gcno, gcda[:-5] + ".gcno")
                gcdas.append(gcda)
    result = {}
    if not gcdas:
        return result
    work = os.path.join(prefix, ".gcov")
    os.makedirs(work, exist_ok=True)
    subprocess.run(["gcov", "-j", "-b", "-p"] + gcdas, cwd=work, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    for f in (f for f in os.listdir(work) if f.endswith(".gcov.json.gz")):
        for fi in json.load(gzip.open(os.path.join(work, f)))["files"]:
            path = os.path.relpath(fi["file"], root) if os.path.isabs(fi["file"]) else fi["file"]
            if not path.startswith("src/"):
                continue
            lines, branches = result.setdefault(path, (set(), set()))
            for ln in fi["lines"]:
                if ln["count"] > 0:
                    lines.add(ln["line_number"])
                branches.update((ln["line_number"], i)
                                for i, br in enumerate(ln.get("branches", []))
                                if br["count"] > 0 and not br.get("throw"))
    shutil.rmtree(work)
    return result


with ThreadPoolExecutor(args.j) as pool:
    per_test = dict(zip((t[0] for t in tests), pool.map(gcov_of, [t[0] for t in tests])))
owners = {}
for name, cov in per_test.items():
    for path, (lines, branches) in cov.items():
        for key in [("L", path, ln) for ln in lines] + [("B", path) + br for br in branches]:
            owners.setdefault(key, set()).add(name)
unique = {name: [] for name in per_test}
for key, names in owners.items():
    if len(names) == 1:
        unique[next(iter(names))].append(key)

with open(os.path.join(out, "per_test.json"), "w") as f:
    json.dump({n: {p: sorted(l) for p, (l, _) in c.items()} for n, c in per_test.items()}, f)
with open(os.path.join(out, "unique.json"), "w") as f:
    json.dump({n: sorted(":".join(map(str, k)) for k in u) for n, u in unique.items()}, f)
with open(os.path.join(out, "unique.txt"), "w") as f:
    f.write("# test  unique-lines  unique-branches  total-lines-covered\n")
    rows = sorted((sum(k[0] == "L" for k in keys), sum(k[0] == "B" for k in keys),
                   sum(len(l) for l, _ in per_test[name].values()), name)
                  for name, keys in unique.items())
    f.writelines(f"{name}  {ul}  {ub}  {total}\n" for ul, ub, total, name in rows)
    f.write("\n# unique lines per test (file:line), tests with any\n")
    for name, keys in sorted(unique.items()):
        ls = sorted((k[1], k[2]) for k in keys if k[0] == "L")
        if ls:
            f.write(f"{name}: " + " ".join(f"{p}:{ln}" for p, ln in ls) + "\n")
print("covered lines:", sum(1 for k in owners if k[0] == "L"),
      "branches:", sum(1 for k in owners if k[0] == "B"))

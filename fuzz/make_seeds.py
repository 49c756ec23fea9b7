#!/usr/bin/python3
"""Seeds for the structure-aware fuzzers, made from the workbook packages in the given folders
(and *.parts files, taken as they are): make_seeds.py PARTS_DIR FORMULA_DIR FOLDER...
Each package becomes framed parts (a line "@@ name", then the part's bytes); every formula and
defined name in it becomes a formula seed. Unreadable and oversized packages are skipped."""
import hashlib, html, pathlib, re, shutil, sys, zipfile

MAX_SEED_BYTES = 1 << 18
FORMULA = re.compile(rb'<(?:\w+:)?(?:f|definedName)\b[^>]*>([^<]+)</')

parts_dir, formula_dir = (pathlib.Path(p) for p in sys.argv[1:3])
for folder in (parts_dir, formula_dir):
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
for folder in map(pathlib.Path, sys.argv[3:]):
    for path in sorted(folder.glob('*')):
        if path.suffix == '.parts':
            framed = path.read_bytes()
        else:
            try:
                with zipfile.ZipFile(path) as package:
                    framed = b'\n'.join(b'@@ ' + i.filename.encode() + b'\n' + package.read(i)
                                        for i in package.infolist())
            except Exception:
                continue
        if len(framed) > MAX_SEED_BYTES:
            continue
        (parts_dir / (path.stem + '.parts')).write_bytes(framed)
        for formula in set(FORMULA.findall(framed)):
            text = html.unescape(formula.decode('utf-8', 'replace')).encode()
            (formula_dir / hashlib.sha1(text).hexdigest()).write_bytes(text)

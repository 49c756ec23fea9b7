"""Compares a copied worksheet with its source, both read by openpyxl (and the raw package for
rich text), one function per feature, all called as compare(src, out, src_ws, out_ws, sheet_map)
and listed in COMPARISONS. Each returns a list of differences in words; empty means faithful.
Colours are compared as shown: theme and indexed colours are resolved to RGB through each
workbook's own theme and palette, so a copy whose colours were fixed still compares equal."""

import colorsys
import datetime
import posixpath
import re
import zipfile
import xml.etree.ElementTree as ET

import openpyxl

from openpyxl.styles.colors import COLOR_INDEX
from openpyxl.utils import get_column_letter
from openpyxl.xml.functions import tostring

MAX_EXAMPLES = 8
COLOUR_TOLERANCE = 2
HLS_MAX = 255.0

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
      "a": "http://schemas.openxmlformats.org/drawingml/2006/main",
      "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
      "pr": "http://schemas.openxmlformats.org/package/2006/relationships"}


class Side:
    """One workbook's view needed to judge a sheet: openpyxl (formulas and cached values) and
    its raw package for what openpyxl flattens."""

    def __init__(self, path, workbook, values_workbook):
        self.path, self.wb, self.values = path, workbook, values_workbook
        self.theme = theme_colours(workbook)
        palette = getattr(workbook, "_colors", None)
        self.palette = list(palette) if palette else list(COLOR_INDEX)
        self._rich = None

    def rich_strings(self, sheet_title):
        if self._rich is None:
            self._rich = read_rich_strings(self.path)
        return self._rich.get(sheet_title, {})


def load(path):
    return Side(path, openpyxl.load_workbook(path), openpyxl.load_workbook(path, data_only=True))


# Colours ------------------------------------------------------------------------------------

THEME_ORDER = ["lt1", "dk1", "lt2", "dk2", "accent1", "accent2", "accent3", "accent4",
               "accent5", "accent6", "hlink", "folHlink"]


# Without a theme part only Background 1 and Text 1 have one meaning (window and window text);
# the other theme colours depend on the program showing the workbook.
THEMELESS = {0: "FFFFFF", 1: "000000"}


def theme_colours(workbook):
    data = getattr(workbook, "loaded_theme", None)
    if not data:
        return dict(THEMELESS)
    try:
        scheme = ET.fromstring(data).find(".//a:clrScheme", NS)
    except ET.ParseError:
        return {}
    colours = {}
    for child in scheme if scheme is not None else ():
        for value in child:
            rgb = value.get("val") if value.tag.endswith("srgbClr") else value.get("lastClr")
            if rgb:
                colours[child.tag.split("}")[1]] = rgb.upper()
    return {i: colours.get(name) for i, name in enumerate(THEME_ORDER)} if colours else {}


def apply_tint(rgb, tint):
    if not tint:
        return rgb
    r, g, b = (int(rgb[i:i + 2], 16) / 255.0 for i in (0, 2, 4))
    h, l, s = colorsys.rgb_to_hls(r, g, b)
    l = l * HLS_MAX
    l = l * (1 + tint) if tint < 0 else l * (1 - tint) + (HLS_MAX - HLS_MAX * (1 - tint))
    r, g, b = colorsys.hls_to_rgb(h, min(max(l / HLS_MAX, 0), 1), s)
    return "%02X%02X%02X" % tuple(int(round(v * 255)) for v in (r, g, b))


def resolve_colour(colour, side):
    if colour is None:
        return None
    kind = getattr(colour, "type", None)
    tint = getattr(colour, "tint", 0) or 0
    if kind == "rgb" and isinstance(colour.rgb, str):
        return apply_tint(colour.rgb[-6:].upper(), tint)
    if kind == "theme":
        base = side.theme.get(colour.theme)
        return apply_tint(base, tint) if base else ANY_COLOUR
    if kind == "indexed":
        index = colour.indexed
        if index in (64, 65):
            return "system%d" % index
        if index is not None and 0 <= index < len(side.palette):
            return apply_tint(side.palette[index][-6:].upper(), tint)
        return "indexed%s" % index
    if kind == "auto":
        return "auto"
    return None


ANY_COLOUR = "any"  # a theme colour of a workbook without a theme: any resolution is right


def colours_equal(a, b):
    if a == b or ANY_COLOUR in (a, b):
        return True
    if a and b and re.fullmatch(r"[0-9A-F]{6}", a) and re.fullmatch(r"[0-9A-F]{6}", b):
        return all(abs(int(a[i:i + 2], 16) - int(b[i:i + 2], 16)) <= COLOUR_TOLERANCE
                   for i in (0, 2, 4))
    return False


# Style descriptions ---------------------------------------------------------------------------

def font_of(cell, side):
    f = cell.font
    return {"name": f.name, "size": float(f.sz) if f.sz is not None else None, "bold": bool(f.b),
            "italic": bool(f.i), "underline": f.u, "strike": bool(f.strike),
            "vertAlign": f.vertAlign, "color": resolve_colour(f.color, side)}


def fill_of(cell, side):
    fill = cell.fill
    if getattr(fill, "tagname", "") == "gradientFill":
        return {"gradient": fill.type, "degree": fill.degree,
                "stops": [(s.position, resolve_colour(s.color, side)) for s in fill.stop]}
    pattern = fill.patternType
    if pattern in (None, "none"):
        return {"pattern": None}
    return {"pattern": pattern, "fg": resolve_colour(fill.fgColor, side),
            "bg": resolve_colour(fill.bgColor, side)}


def border_of(cell, side):
    b = cell.border
    out = {"diagonalUp": bool(b.diagonalUp), "diagonalDown": bool(b.diagonalDown)}
    for name in ("left", "right", "top", "bottom", "diagonal"):
        edge = getattr(b, name)
        style = edge.style if edge is not None else None
        out[name] = (style, resolve_colour(edge.color, side) if style else None)
    return out


def alignment_of(cell, _side):
    return {k: getattr(cell.alignment, k) for k in ("horizontal", "vertical", "textRotation",
                                                    "wrapText", "shrinkToFit", "indent",
                                                    "readingOrder")}


def _same(x, y):
    if isinstance(x, str) and isinstance(y, str):
        return colours_equal(x, y)
    if isinstance(x, tuple) and isinstance(y, tuple):  # a border edge: (style, colour)
        return x[0] == y[0] and (x[1] == y[1] or bool(x[1] and y[1] and colours_equal(x[1], y[1])))
    return x == y


def same_description(a, b):
    return a.keys() == b.keys() and all(_same(a[key], b[key]) for key in a)


# Formulas -------------------------------------------------------------------------------------

# A sheet qualifier: 'quoted name'! or name! (not an error literal such as #REF!).
QUALIFIER = re.compile(r"""(?<![#\w.])('(?:[^']|'')+'|[A-Za-z_\\\u00C0-\uFFFF][\w.\u00C0-\uFFFF]*)!""")


def _quote_3d(chunk):
    """Sheet1:Sheet3!A1 -> 'Sheet1:Sheet3'!A1, so a 3-D reference is one qualifier."""
    return re.sub(r"(?<![#\w.'$])([A-Za-z_][\w.]*):([A-Za-z_][\w.]*)!", r"'\1:\2'!", chunk)


def formula_sheets(formula):
    """The sheet names a formula qualifies references with (outside string literals)."""
    names = []
    for chunk in re.split(r'("(?:[^"]|"")*")', formula)[::2]:
        for match in QUALIFIER.finditer(_quote_3d(chunk)):
            token = match.group(1)
            name = token[1:-1].replace("''", "'") if token.startswith("'") else token
            names.extend(name.split(":"))  # a 3-D reference names two sheets
    return names


CELL_LIKE = re.compile(r"\$?[A-Za-z]{1,3}\$?\d+|TRUE|FALSE|R\d*C\d*", re.I)
WHOLE_ROWS_OR_COLUMNS = re.compile(r"\$?[A-Za-z]{1,3}:\$?[A-Za-z]{1,3}|\$?\d+:\$?\d+")


def formula_names(formula):
    """Identifiers a formula uses as names (not functions, sheets, tables, cells, strings, or
    anything inside structured-reference brackets)."""
    body = "".join(re.split(r'("(?:[^"]|"")*")', formula)[::2])
    body = re.sub(r"'(?:[^']|'')*'!", "", body)
    body = WHOLE_ROWS_OR_COLUMNS.sub("", body)
    while True:
        stripped = re.sub(r"\[[^\[\]]*\]", "", body)
        if stripped == body:
            break
        body = stripped
    body = re.sub(r"[\w.]+:(?=[\w.]+!)", "", body)  # first sheet of a 3-D reference
    found = re.findall(r"(?<![\w.!'\]\\#$])[A-Za-z_\\][\w.\\]*(?![\w(!\[\\.$])", body)
    return [n for n in found if not CELL_LIKE.fullmatch(n)]


def canonical_formula(formula, sheet_map=None, table_map=None):
    """Formula text with sheet qualifiers unquoted and mapped, table names mapped, spaces
    outside strings dropped. sheet_map: casefolded source name -> result name."""
    parts = re.split(r'("(?:[^"]|"")*")', formula)
    for i in range(0, len(parts), 2):
        def sheet(match):
            token = match.group(1)
            name = token[1:-1].replace("''", "'") if token.startswith("'") else token
            if sheet_map is not None:
                name = ":".join(sheet_map.get(n.casefold()) or n for n in name.split(":"))
            return "<%s>!" % name.casefold()
        chunk = QUALIFIER.sub(sheet, _quote_3d(parts[i]))
        if table_map:
            for old, new in table_map.items():
                chunk = re.sub(r"(?<![\w.])%s(?=\[)" % re.escape(old), new, chunk, flags=re.I)
        parts[i] = re.sub(r"\s+", "", chunk)
    return "".join(parts)


# Raw rich text --------------------------------------------------------------------------------

def relationships(zf, part):
    """{relationship id: (type, part path)} of a part of an open package."""
    folder, name = posixpath.split(part)
    rels_name = posixpath.join(folder, "_rels", name + ".rels")
    out = {}
    if rels_name not in zf.namelist():
        return out
    for rel in ET.fromstring(zf.read(rels_name)).findall("pr:Relationship", NS):
        target = rel.get("Target")
        path = target.lstrip("/") if target.startswith("/") else posixpath.normpath(
            posixpath.join(folder, target))
        out[rel.get("Id")] = (rel.get("Type"), path)
    return out


def _runs(si):
    """A string item as (text, run properties) pairs; plain strings are one run."""
    runs = []
    t = si.find("m:t", NS)
    if t is not None:
        runs.append((t.text or "", ()))
    for r in si.findall("m:r", NS):
        props = r.find("m:rPr", NS)
        described = tuple(sorted((c.tag.split("}")[1], tuple(sorted(c.attrib.items())))
                                 for c in props)) if props is not None else ()
        runs.append(((r.find("m:t", NS).text or ""), described))
    return runs


def read_rich_strings(path):
    """{sheet title: {cell ref: runs}} for every cell holding rich text (more than one run)."""
    out = {}
    with zipfile.ZipFile(path) as zf:
        workbook = next(p for t, p in relationships(zf, "").values()
                        if t.endswith("/officeDocument"))
        rels = relationships(zf, workbook)
        strings = []
        for kind, part in rels.values():
            if kind.endswith("/sharedStrings"):
                strings = [_runs(si) for si in ET.fromstring(zf.read(part)).findall("m:si", NS)]
        root = ET.fromstring(zf.read(workbook))
        for sheet in root.findall("m:sheets/m:sheet", NS):
            kind, part = rels.get(sheet.get("{%s}id" % NS["r"]), ("", ""))
            if not kind.endswith("/worksheet") or part not in zf.namelist():
                continue
            cells = {}
            for c in ET.fromstring(zf.read(part)).iter("{%s}c" % NS["m"]):
                runs = None
                if c.get("t") == "s" and c.find("m:v", NS) is not None:
                    index = int(c.find("m:v", NS).text)
                    runs = strings[index] if index < len(strings) else None
                elif c.get("t") == "inlineStr" and c.find("m:is", NS) is not None:
                    runs = _runs(c.find("m:is", NS))
                if runs and (len(runs) > 1 or runs[0][1]):
                    cells[c.get("r")] = runs
            out[sheet.get("name")] = cells
    return out


# Comparisons ----------------------------------------------------------------------------------

def _limit(diffs):
    more = len(diffs) - MAX_EXAMPLES
    return diffs[:MAX_EXAMPLES] + ["... and %d more" % more] if more > 0 else diffs


def _cells(ws):
    return {(c.row, c.column): c for row in ws.iter_rows() for c in row
            if c.value is not None or c.has_style}


def _as_shown(value, cell, side):
    """openpyxl reads serials below 1 as times, also in the 1904 system where a date-formatted
    serial 0.x is a day of 1904-01-01; give such cells their date."""
    if isinstance(value, datetime.time) and side.wb.epoch.year == 1904 and cell is not None:
        code = re.sub(r'"[^"]*"|\\[.]?', "", cell.number_format or "").lower()
        if "y" in code or "d" in code:
            return datetime.datetime.combine(datetime.date(1904, 1, 1), value)
    return value


def compare_values_and_formulas(src, out, src_ws, out_ws, sheet_map):
    """Values and types; formula texts after the expected renames, and their cached values. A
    formula that refers to a sheet not in the result must have become its cached value."""
    diffs = []
    table_map = table_map_of(src_ws, out_ws)
    src_values, out_values = src.values[src_ws.title], out.values[out_ws.title]
    defined = {d.name.casefold() for d in src.wb.defined_names.definedName}
    defined |= {t.displayName.casefold() for ws in src.wb.worksheets for t in ws.tables.values()}
    for coord in sorted(set(src_ws._cells) | set(out_ws._cells)):
        a, b = src_ws._cells.get(coord), out_ws._cells.get(coord)
        va = _as_shown(a.value, a, src) if a is not None else None
        vb = _as_shown(b.value, b, out) if b is not None else None
        ref = "%s%d" % (get_column_letter(coord[1]), coord[0])
        if a is not None and a.data_type == "f":
            cached = _as_shown(src_values.cell(*coord).value, a, src)
            got = _as_shown(out_values.cell(*coord).value, b, out) if b is not None else None
            if cached != got and not (cached is None and got == ""):
                diffs.append("%s: cached value %r became %r" % (ref, cached, got))
        if not (isinstance(va, str) and a.data_type == "f"):
            if va != vb or (None not in (a, b, va) and a.data_type != b.data_type):
                diffs.append("%s: %r (%s) became %r (%s)" % (ref, va, a.data_type if a else "-",
                                                              vb, b.data_type if b else "-"))
            continue
        absent = [n for n in formula_sheets(va) if sheet_map.get(n.casefold()) is None]
        # Another workbook ([n]) cannot compute in the result: keeping the cached value is
        # right. A name the source does not define computes the same error in both, so the
        # unchanged formula is as right as its cached value.
        absent += re.findall(r"\[\d+\]", "".join(re.split(r'("(?:[^"]|"")*")', va)[::2]))
        undefined = [n for n in formula_names(va) if n.casefold() not in defined]
        expected = canonical_formula(va, sheet_map, table_map)
        got = canonical_formula(vb) if isinstance(vb, str) and b.data_type == "f" else None
        if undefined and not absent and got == expected:
            continue
        if absent + undefined:
            cached = src_values.cell(*coord).value
            kept = vb if vb != "" else None  # no cached value: an empty cell or text
            if not (b is not None and b.data_type != "f" and kept == cached):
                diffs.append("%s: formula %s refers to sheet(s) %s not in the result; expected "
                             "its cached value %r, got %r" % (ref, va, absent + undefined,
                                                               cached, vb))
        elif got != expected:
            diffs.append("%s: formula %r, expected %r after renames, got %r" % (
                ref, va, expected, vb))
    return _limit(diffs)


def _styles(describe, what):
    """A comparison of what describe(cell, side) says of every cell holding a value or a style."""
    def compare(src, out, src_ws, out_ws, _map=None):
        diffs = []
        for coord in sorted(set(_cells(src_ws)) | set(_cells(out_ws))):
            a, b = describe(src_ws.cell(*coord), src), describe(out_ws.cell(*coord), out)
            if not same_description(a, b):
                diffs.append("%s: %s %s became %s" % (src_ws.cell(*coord).coordinate, what, a, b))
        return _limit(diffs)
    return compare


compare_fonts = _styles(font_of, "font")
compare_fills = _styles(fill_of, "fill")
compare_borders = _styles(border_of, "border")
compare_number_formats = _styles(lambda c, _s: {"format": c.number_format}, "number format")
compare_alignment = _styles(alignment_of, "alignment")
compare_cell_protection = _styles(
    lambda c, _s: {"locked": c.protection.locked, "hidden": c.protection.hidden}, "protection")


def _keyed(what, a, b):
    """The differences of two {key: value} descriptions, key by key."""
    return _limit(["%s %s: %s became %s" % (what, key, a.get(key), b.get(key))
                   for key in sorted(set(a) | set(b), key=str) if a.get(key) != b.get(key)])


def _changed(what, a, b):
    return [] if a == b else ["%s %s became %s" % (what, a, b)]


def compare_rich_text(src, out, src_ws, out_ws, _map=None):
    return _keyed("rich text", src.rich_strings(src_ws.title), out.rich_strings(out_ws.title))


def compare_merged_cells(_src, _out, src_ws, out_ws, _map=None):
    return _changed("merged ranges", *(sorted(str(r) for r in ws.merged_cells.ranges)
                                       for ws in (src_ws, out_ws)))


def _columns(ws):
    cols = {}
    for dim in ws.column_dimensions.values():
        if dim.min is None:
            continue
        for index in range(dim.min, (dim.max or dim.min) + 1):
            cols[get_column_letter(index)] = (round(dim.width, 4) if dim.customWidth or dim.width
                                              else None, bool(dim.hidden), dim.outlineLevel or 0)
    return {k: v for k, v in cols.items() if v != (None, False, 0)}


def _rows(ws):
    rows = {index: (dim.ht if dim.customHeight or dim.ht else None, bool(dim.hidden),
                    dim.outlineLevel or 0) for index, dim in ws.row_dimensions.items()}
    return {k: v for k, v in rows.items() if v != (None, False, 0)}


SHEET_FORMAT = ("defaultRowHeight", "defaultColWidth", "baseColWidth", "customHeight",
                "zeroHeight", "outlineLevelRow", "outlineLevelCol")


def compare_dimensions(_src, _out, src_ws, out_ws, _map=None):
    """Column widths, row heights, hidden and outline state, default sizes."""
    def formats(ws):
        return {key: getattr(ws.sheet_format, key) for key in SHEET_FORMAT}
    return _limit(_keyed("column (width, hidden, level)", _columns(src_ws), _columns(out_ws)) +
                  _keyed("row (height, hidden, level)", _rows(src_ws), _rows(out_ws)) +
                  _keyed("sheet format", formats(src_ws), formats(out_ws)))


VIEW = ("zoomScale", "zoomScaleNormal", "showGridLines", "showRowColHeaders", "rightToLeft",
        "showZeros", "view", "topLeftCell")


def compare_views(_src, _out, src_ws, out_ws, _map=None):
    """Panes, zoom, gridlines, headings, right-to-left, the selected cells (not tabSelected: the
    result has one selected tab of its own)."""
    def describe(v):
        found = {key: getattr(v, key) for key in VIEW}
        found["pane"] = dict(v.pane) if v.pane is not None else None
        found["selection"] = [dict(s) for s in v.selection]
        return found
    return _keyed("view", describe(src_ws.sheet_view), describe(out_ws.sheet_view))


def compare_validation(_src, _out, src_ws, out_ws, sheet_map=None):
    def describe(ws, mapping):
        out = []
        for dv in ws.data_validations.dataValidation:
            d = dict(dv)
            for key in ("formula1", "formula2"):
                value = getattr(dv, key)
                d[key] = canonical_formula(value, mapping) if value else None
            d["sqref"] = str(dv.sqref)
            out.append(d)
        return sorted(out, key=lambda d: d["sqref"])
    return _changed("data validations", describe(src_ws, sheet_map), describe(out_ws, None))


def _dxf(rule, side):
    dxf = rule.dxf
    if dxf is None:
        return None
    desc = {}  # a dxf has a cell's font and border attributes: the describers read it as one
    if dxf.font is not None:
        desc["font"] = font_of(dxf, side)
    if dxf.fill is not None:
        f = dxf.fill
        desc["fill"] = (f.patternType, resolve_colour(f.fgColor, side), resolve_colour(f.bgColor, side))
    if dxf.border is not None:
        desc["border"] = border_of(dxf, side)
    if dxf.numFmt is not None:
        desc["numFmt"] = dxf.numFmt.formatCode
    return desc


def compare_conditional_formats(src, out, src_ws, out_ws, sheet_map=None):
    def describe(ws, side, mapping):
        items = []
        for cf in ws.conditional_formatting:
            for rule in cf.rules:
                d = dict(rule)
                d.pop("dxfId", None)
                d["formula"] = [canonical_formula(f, mapping) for f in (rule.formula or [])]
                for key in ("colorScale", "dataBar", "iconSet"):
                    value = getattr(rule, key)
                    if value is not None:
                        d[key] = repr(value.to_tree().attrib) + "".join(
                            repr(sorted(c.attrib.items())) for c in value.to_tree().iter())
                d["dxf"] = _dxf(rule, side)
                items.append((str(cf.sqref), repr(d)))
        return sorted(items)
    a, b = describe(src_ws, src, sheet_map), describe(out_ws, out, None)
    if a == b:
        return []
    return ["conditional formats differ: only in source %s; only in result %s" % (
        [x for x in a if x not in b], [x for x in b if x not in a])]


def compare_hyperlinks(_src, _out, src_ws, out_ws, sheet_map=None):
    def describe(ws, mapping):
        return {c.coordinate: (c.hyperlink.target, c.hyperlink.location and canonical_formula(
            c.hyperlink.location, mapping), c.hyperlink.tooltip, c.hyperlink.display)
            for row in ws.iter_rows() for c in row if c.hyperlink is not None}
    return _keyed("hyperlink", describe(src_ws, sheet_map), describe(out_ws, None))


def _print_setup(ws):
    found = {what: {k: v for k, v in dict(part).items() if k != "id"}  # printer settings rel
             for what, part in (("page setup", ws.page_setup), ("print options", ws.print_options),
                                ("margins", ws.page_margins))}
    found["header/footer"] = tostring(ws.HeaderFooter.to_tree())
    fit = ws.sheet_properties.pageSetUpPr
    found["fit to page"] = fit.fitToPage if fit else None
    norm = (lambda v: re.sub(r"^.*!", "", str(v)).replace("'", "") if v else None)  # noqa: E731
    for what in ("print_area", "print_title_rows", "print_title_cols"):
        value = getattr(ws, what)
        found[what] = [norm(x) for x in value] if isinstance(value, list) else [norm(value)]
    for what in ("row_breaks", "col_breaks"):
        found[what] = [dict(x) for x in getattr(ws, what).brk]
    return found


def compare_print_setup(_src, _out, src_ws, out_ws, _map=None):
    """Page setup, margins, print options, headers and footers, print area and titles, breaks."""
    return _keyed("print setup", _print_setup(src_ws), _print_setup(out_ws))


def compare_sheet_properties(src, out, src_ws, out_ws, _map=None):
    """Protection, tab colour, visibility, autofilter."""
    def describe(ws):
        return {"protection": dict(ws.protection), "state": ws.sheet_state,
                "autofilter": tostring(ws.auto_filter.to_tree()) if ws.auto_filter.ref else None}
    diffs = _keyed("sheet", describe(src_ws), describe(out_ws))
    ta = resolve_colour(src_ws.sheet_properties.tabColor, src)
    tb = resolve_colour(out_ws.sheet_properties.tabColor, out)
    if not (ta == tb or (ta and tb and colours_equal(ta, tb))):
        diffs.append("tab colour %s became %s" % (ta, tb))
    return diffs


def table_map_of(src_ws, out_ws):
    """Source table name -> result table name, tables matched by their range."""
    by_ref = {t.ref: t.displayName for t in out_ws.tables.values()}
    return {t.displayName: by_ref.get(t.ref, t.displayName) for t in src_ws.tables.values()}


def compare_tables(_src, _out, src_ws, out_ws, _map=None):
    def describe(ws, rename):
        out = []
        for t in ws.tables.values():
            columns = [(c.name, c.totalsRowFunction, c.totalsRowLabel,
                        canonical_formula(c.calculatedColumnFormula.attr_text if hasattr(
                            c.calculatedColumnFormula, "attr_text") else str(c.calculatedColumnFormula),
                            None, rename) if c.calculatedColumnFormula is not None else None)
                       for c in t.tableColumns]
            style = dict(t.tableStyleInfo) if t.tableStyleInfo is not None else None
            out.append((t.ref, t.headerRowCount, t.totalsRowCount, t.totalsRowShown,
                        repr(columns), repr(style)))
        return sorted(out)
    return _changed("tables", describe(src_ws, table_map_of(src_ws, out_ws)),
                    describe(out_ws, None))


def _names(wb, sheet_index, mapping=None):
    """{casefolded name: canonical formula} of the names of one scope (None: the workbook)."""
    return {d.name.casefold(): canonical_formula(d.attr_text, mapping)
            for d in wb.defined_names.definedName
            if d.localSheetId == sheet_index and not d.name.startswith("_xlnm.")}


def compare_defined_names(src, out, src_ws, out_ws, sheet_map):
    """Names scoped to the sheet travel with it; workbook names its formulas use must be defined
    in the result with the same meaning (globally or on the copy)."""
    local = _names(src.wb, src.wb.sheetnames.index(src_ws.title), sheet_map)
    out_local = _names(out.wb, out.wb.sheetnames.index(out_ws.title))
    diffs = ["sheet name %s=%s became %s" % (name, value, out_local.get(name))
             for name, value in local.items() if out_local.get(name) != value]
    src_globals, out_globals = _names(src.wb, None, sheet_map), _names(out.wb, None)
    used = {n.casefold() for row in src_ws.iter_rows() for c in row
            if c.data_type == "f" and isinstance(c.value, str) for n in formula_names(c.value)}
    for name in sorted(used & set(src_globals)):
        got = out_local.get(name, out_globals.get(name))
        if got != src_globals[name]:
            diffs.append("workbook name %s=%s is %s in the result" % (name, src_globals[name], got))
    return diffs


COMPARISONS = [
    ("values and formulas", compare_values_and_formulas), ("rich text", compare_rich_text),
    ("fonts", compare_fonts), ("fills", compare_fills), ("borders", compare_borders),
    ("number formats", compare_number_formats), ("alignment", compare_alignment),
    ("cell protection", compare_cell_protection), ("merged cells", compare_merged_cells),
    ("dimensions", compare_dimensions), ("views", compare_views),
    ("validation", compare_validation), ("conditional formats", compare_conditional_formats),
    ("hyperlinks", compare_hyperlinks), ("print setup", compare_print_setup),
    ("sheet properties", compare_sheet_properties), ("tables", compare_tables),
    ("defined names", compare_defined_names),
]

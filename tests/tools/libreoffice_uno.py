"""LibreOffice headless driven over UNO (python3-uno with Debian's python3): a private office
process on a pipe of its own with a throw-away profile, for writing fixtures with data pilot
(pivot) tables and for reading back what a result's pivot tables show after a refresh."""

import os
import shutil
import subprocess
import tempfile
import time

try:
    import uno
    from com.sun.star.awt import Rectangle  # noqa: F401 (for callers placing charts)
    from com.sun.star.beans import PropertyValue
    from com.sun.star.connection import NoConnectException
    from com.sun.star.sheet.DataPilotFieldOrientation import ROW, COLUMN, DATA
    from com.sun.star.sheet.GeneralFunction import SUM
    from com.sun.star.table import CellAddress, CellRangeAddress
    AVAILABLE = bool(shutil.which("soffice"))
except ImportError:  # python3-uno missing
    AVAILABLE = False

CONNECT_TIMEOUT_SECONDS = 60
XLSX_FILTER = "Calc Office Open XML"


class Office:
    """One soffice process; close() ends it (and only it)."""

    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="quillory-lo-profile-")
        pipe = "quillory_uno_%d" % os.getpid()
        self.process = subprocess.Popen(
            ["soffice", "--headless", "--invisible", "--norestore", "--nologo",
             "-env:UserInstallation=" + uno.systemPathToFileUrl(self.profile),
             "--accept=pipe,name=%s;urp;" % pipe],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.monotonic() + CONNECT_TIMEOUT_SECONDS
        while True:
            try:
                ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                break
            except NoConnectException:
                if time.monotonic() > deadline or self.process.poll() is not None:
                    self.close()
                    raise RuntimeError("LibreOffice did not start")
                time.sleep(0.3)
        self.desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop",
                                                                    ctx)

    def close(self):
        try:
            if getattr(self, "desktop", None) is not None:
                self.desktop.terminate()
        except Exception:  # the bridge goes away while terminating
            pass
        try:
            self.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, True)

    def open(self, path=None):
        """A new spreadsheet, or the workbook at path, loaded hidden."""
        url = uno.systemPathToFileUrl(os.path.abspath(path)) if path else "private:factory/scalc"
        hidden = PropertyValue(Name="Hidden", Value=True)
        return self.desktop.loadComponentFromURL(url, "_blank", 0, (hidden,))

    @staticmethod
    def save_xlsx(doc, path, filter_name=XLSX_FILTER):
        doc.storeToURL(uno.systemPathToFileUrl(os.path.abspath(path)),
                       (PropertyValue(Name="FilterName", Value=filter_name),))
        doc.close(True)


def fill(sheet, rows, column=0, row=0):
    """Writes rows of str/float values starting at (column, row)."""
    for r, values in enumerate(rows):
        for c, value in enumerate(values):
            cell = sheet.getCellByPosition(column + c, row + r)
            if isinstance(value, str):
                cell.setString(value)
            else:
                cell.setValue(value)


def add_pivot(target_sheet, name, source_sheet_index, source_range, at, rows, data, columns=()):
    """A data pilot on target_sheet at (column, row) over source_range (c0, r0, c1, r1) of the
    sheet at source_sheet_index: rows/columns are field names, data is summed."""
    tables = target_sheet.getDataPilotTables()
    descriptor = tables.createDataPilotDescriptor()
    descriptor.setSourceRange(CellRangeAddress(source_sheet_index, *source_range))
    fields = descriptor.getDataPilotFields()
    for field in rows:
        fields.getByName(field).Orientation = ROW
    for field in columns:
        fields.getByName(field).Orientation = COLUMN
    value = fields.getByName(data)
    value.Orientation = DATA
    value.Function = SUM
    tables.insertNewByName(name, CellAddress(target_sheet.getRangeAddress().Sheet, *at), descriptor)


def pivots(doc):
    """[(sheet, pivot name, source sheet, refreshed output cells)] of every data pilot, and the
    names of stray DPCache_ sheets (a source that did not resolve)."""
    names, found = doc.Sheets.ElementNames, []
    for name in names:
        sheet = doc.Sheets.getByName(name)
        tables = sheet.getDataPilotTables()
        for dp in (tables.getByIndex(i) for i in range(tables.getCount())):
            dp.refresh()
            out, src = dp.getOutputRange(), dp.getSourceRange()
            cells = sheet.getCellRangeByPosition(out.StartColumn, out.StartRow, out.EndColumn,
                                                 out.EndRow).getDataArray()
            found.append((name, dp.getName(), names[src.Sheet], cells))
    return found, [n for n in names if n.startswith("DPCache_")]

#!/usr/bin/python3
"""Merges every sheet of several workbooks into one .xlsx with headless LibreOffice, importing the
sheets over its API, as a user scripting LibreOffice would. Starts its own office process with its
own profile and ends it before returning.

Usage: lo_merge.py --profile DIR -o OUT.xlsx WORKBOOK...
"""

import argparse
import os
import subprocess
import sys
import time

import uno
from com.sun.star.beans import PropertyValue
from com.sun.star.connection import NoConnectException

CONNECT_TIMEOUT_SECONDS = 120
CONNECT_RETRY_SECONDS = 0.1
EXIT_TIMEOUT_SECONDS = 60
XLSX_FILTER = "Calc MS Excel 2007 XML"


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def connect(pipe_name, office):
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    deadline = time.monotonic() + CONNECT_TIMEOUT_SECONDS
    while True:
        try:
            return resolver.resolve(
                f"uno:pipe,name={pipe_name};urp;StarOffice.ComponentContext")
        except NoConnectException:
            if office.poll() is not None:
                raise RuntimeError(f"LibreOffice exited with status {office.returncode}")
            if time.monotonic() > deadline:
                raise RuntimeError("LibreOffice did not accept a connection in time")
            time.sleep(CONNECT_RETRY_SECONDS)


def merge(desktop, sources, output):
    hidden = prop("Hidden", True)
    result = desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0, (hidden,))
    placeholder = result.Sheets.ElementNames[0]
    for source_path in sources:
        url = uno.systemPathToFileUrl(os.path.abspath(source_path))
        source = desktop.loadComponentFromURL(url, "_blank", 0,
                                              (hidden, prop("ReadOnly", True)))
        if source is None:
            raise RuntimeError(f"LibreOffice cannot open {source_path}")
        for name in source.Sheets.ElementNames:
            result.Sheets.importSheet(source, name, result.Sheets.Count)
        source.close(True)
    result.Sheets.removeByName(placeholder)
    result.storeToURL(uno.systemPathToFileUrl(os.path.abspath(output)),
                      (prop("FilterName", XLSX_FILTER), prop("Overwrite", True)))
    result.close(True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--profile", required=True)
    parser.add_argument("-o", dest="output", required=True)
    parser.add_argument("sources", nargs="+")
    args = parser.parse_args()

    pipe_name = f"quillory_bench_{os.getpid()}"
    office = subprocess.Popen(
        ["soffice", "--headless", "--invisible", "--nologo", "--norestore", "--nodefault",
         "--nolockcheck",
         "-env:UserInstallation=" + uno.systemPathToFileUrl(os.path.abspath(args.profile)),
         f"--accept=pipe,name={pipe_name};urp;StarOffice.ComponentContext"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    desktop = None
    try:
        context = connect(pipe_name, office)
        desktop = context.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", context)
        merge(desktop, args.sources, args.output)
    except Exception as error:  # report any UNO failure as this tool's failure
        print(f"lo_merge: {error}", file=sys.stderr)
        office.kill()
        office.wait()
        return 1
    finally:
        if desktop is not None and office.poll() is None:
            try:
                desktop.terminate()
            except Exception:  # the bridge drops while the office exits
                pass
    try:
        office.wait(timeout=EXIT_TIMEOUT_SECONDS)
    except subprocess.TimeoutExpired:
        office.kill()
        office.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())

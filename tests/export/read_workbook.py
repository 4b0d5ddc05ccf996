#!/usr/bin/env python3
"""Reads an .xlsx file with openpyxl, a reader that is not ours, and prints
what a test needs to know of it as JSON: per sheet its cells (value, type,
number format, bold), frozen panes, auto-filter and column widths; and, since
openpyxl does not load charts, the package's charts: which sheet draws each,
the ranges of its series and the number format of its category axis."""
import json
import re
import sys
import zipfile

import openpyxl


def cell(c):
    value = c.value
    if hasattr(value, "isoformat"):
        value = value.isoformat()
    return {"value": value, "type": c.data_type, "format": c.number_format,
            "bold": bool(c.font and c.font.b)}


def sheet(ws):
    return {
        "rows": [[cell(c) for c in row] for row in ws.iter_rows()],
        "freeze": ws.freeze_panes,
        "filter": ws.auto_filter.ref,
        "widths": {k: v.width for k, v in ws.column_dimensions.items()},
        "charts": [type(ch).__name__ for ch in ws._charts],
    }


def charts(path):
    """Per chart part: its type, the ranges of its series' values and the
    category axis's number format (null when it has none of its own)."""
    out = {}
    with zipfile.ZipFile(path) as z:
        for name in z.namelist():
            if re.fullmatch(r"xl/charts/chart\d+\.xml", name):
                xml = z.read(name).decode("utf-8")
                kinds = re.findall(r"<c:(\w+Chart)>", xml)
                values = re.findall(r"<c:val><c:numRef><c:f>([^<]*)</c:f>", xml)
                axis = re.search(r"<c:(?:catAx|dateAx)>(.*?)</c:(?:catAx|dateAx)>", xml, re.S)
                fmt = axis and re.search(r'<c:numFmt formatCode="([^"]*)" sourceLinked="0"', axis.group(1))
                out[name] = {"kinds": kinds, "values": values,
                             "category_format": fmt.group(1) if fmt else None}
        drawn = [n for n in z.namelist()
                 if re.fullmatch(r"xl/(?:work|chart)sheets/_rels/sheet\d+\.xml\.rels", n)
                 and "drawing" in z.read(n).decode("utf-8")]
    return {"parts": out, "sheets_with_drawings": sorted(drawn)}


def main():
    wb = openpyxl.load_workbook(sys.argv[1])
    print(json.dumps({"sheets": wb.sheetnames, "charts": charts(sys.argv[1]),
                      **{n: sheet(wb[n]) for n in wb.sheetnames
                         if hasattr(wb[n], "iter_rows")}},
                     ensure_ascii=False))


if __name__ == "__main__":
    main()

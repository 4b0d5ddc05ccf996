#!/usr/bin/env python3
"""Reads an .xlsx file with openpyxl, a reader that is not ours, and prints
what a test needs to know of it as JSON: per sheet its cells (value, type,
number format, bold), frozen panes, auto-filter, column widths and charts."""
import json
import sys

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


def main():
    wb = openpyxl.load_workbook(sys.argv[1])
    print(json.dumps({"sheets": wb.sheetnames, **{n: sheet(wb[n]) for n in wb.sheetnames}},
                     ensure_ascii=False))


if __name__ == "__main__":
    main()

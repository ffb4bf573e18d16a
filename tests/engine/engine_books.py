"""Workbooks for the engine tests: a tiny .xls power order file and a job
sheet written with XlsxWriter and read back with openpyxl."""
import struct

import openpyxl
import xlsxwriter


def _record(op, data=b""):
    return struct.pack("<HH", op, len(data)) + data


def xls_bytes(rows):
    """A one-sheet Excel 2.1 workbook: text and number cells; None leaves a cell out."""
    ncols = max((len(r) for r in rows), default=0)
    out = [
        _record(0x0009, struct.pack("<HH", 0x0002, 0x0010)),  # BOF, worksheet
        _record(0x0042, struct.pack("<H", 1252)),  # CODEPAGE
        _record(0x0000, struct.pack("<HHHH", 0, len(rows), 0, ncols)),  # DIMENSIONS
    ]
    for r, row in enumerate(rows):
        for c, value in enumerate(row):
            if value is None:
                continue
            head = struct.pack("<HH", r, c) + b"\0\0\0"
            if isinstance(value, str):
                text = value.encode("cp1252")
                out.append(_record(0x0004, head + bytes([len(text)]) + text))  # LABEL
            else:
                out.append(_record(0x0003, head + struct.pack("<d", value)))  # NUMBER
    out.append(_record(0x000A))  # EOF
    return b"".join(out)


class JobSheet:
    """One job sheet of a check workbook; close() saves it and reads it back."""

    ORANGE = "FFFFAA33"

    def __init__(self, path):
        self.path = str(path)
        self.book = xlsxwriter.Workbook(self.path, {"nan_inf_to_errors": True})
        self.sheet = self.book.add_worksheet("JOB")
        self.format_orange = self.book.add_format({"bg_color": "#FFAA33"})
        self.ws = None

    def close(self):
        self.book.close()
        self.ws = openpyxl.load_workbook(self.path)["JOB"]
        return self

    def cells(self):
        """{(row, col): value} of every stored cell, 0-based."""
        return {
            (c.row - 1, c.column - 1): c.value for row in self.ws.iter_rows() for c in row if c.value is not None
        }

    def row(self, r):
        return {col: v for (row, col), v in self.cells().items() if row == r}

    def is_orange(self, r, c):
        return self.ws.cell(r + 1, c + 1).fill.fgColor.rgb == self.ORANGE

    def width(self, c):
        """The width as set, without the 0.7109375 that XlsxWriter adds; None when not set."""
        for dim in self.ws.column_dimensions.values():  # one entry may span several columns
            if dim.min is not None and dim.min <= c + 1 <= dim.max and dim.customWidth:
                return round(dim.width - 0.7109375, 4)
        return None

    def outline(self, r):
        """(outline level, hidden, collapsed) of row r."""
        dim = self.ws.row_dimensions[r + 1]
        return dim.outlineLevel, bool(dim.hidden), bool(dim.collapsed)

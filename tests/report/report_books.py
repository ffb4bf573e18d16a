"""Reading saved workbooks back in the report tests."""
import openpyxl
import pandas as pd


def sheets_of(path):
    """{sheet name: [row values, ...]} of a saved workbook, header row first."""
    book = openpyxl.load_workbook(path)
    return {ws.title: [list(r) for r in ws.iter_rows(values_only=True)] for ws in book}


def widths_of(path, sheet):
    ws = openpyxl.load_workbook(path)[sheet]
    return {letter: d.width for letter, d in ws.column_dimensions.items()}



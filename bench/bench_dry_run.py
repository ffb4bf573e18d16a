"""The VBT check's dry-run: parse_files plus generate_dry_run_report over a
generated program, against workbook libraries alone writing the same cells.

Usage: python bench/bench_dry_run.py [--modules N] [--lines L] [--repeat R]

At N modules and at 2N, each figure the best of R fresh processes (default
3), the runs of ours and of the floors taken in turn:
- ours: parse_files on the folder, then the dry-run workbook;
- xlsxwriter: the cells of that workbook written by XlsxWriter alone
  (write_string / write_number per cell, the header format, the widths);
- openpyxl-wo: the same through openpyxl's write-only workbook;
- pandas-xlsxwriter, pandas-openpyxl: one DataFrame per sheet through
  pandas' to_excel with that engine.
Prints each time, the ratio of ours to the fastest floor and the doubling
ratio (time at 2N / time at N). The cells are taken once from a workbook that
ours wrote and kept under bench/data/ (ignored by git) with the programs.
"""
import argparse
import contextlib
import gc
import io
import json
import os
import pickle
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "data")
FLOORS = ["xlsxwriter", "openpyxl-wo", "pandas-xlsxwriter", "pandas-openpyxl"]
HEADER_STYLE = {"bold": True, "top": 1, "right": 1, "bottom": 1, "left": 1, "align": "center", "valign": "top"}


def program(modules, lines):
    root = os.path.join(DATA, f"dry_run_{modules}x{lines}")
    if not os.path.isdir(root):
        subprocess.run([sys.executable, os.path.join(HERE, "gen_vba_program.py"), root,
                        "--modules", str(modules), "--lines", str(lines)], check=True, stdout=subprocess.DEVNULL)
    return root


def run_ours(root, out_dir):
    from tallowby.quillon.quillon import VBAParser
    from tallowby.quillon.tabwick import Tabwick

    start = time.perf_counter()
    with contextlib.redirect_stdout(io.StringIO()):
        parser = VBAParser()
        parser.parse_files(root)
        parsed = time.perf_counter()
        path = Tabwick().generate_dry_run_report(lambda p: None, parser, out_dir)
    end = time.perf_counter()
    return path, parsed - start, end - start


def cells_of(root):
    """Sheets of the workbook ours writes: (name, rows, widths), widths by
    0-based column (None where the default stays)."""
    cache = root + ".cells.pickle"
    if os.path.exists(cache):
        with open(cache, "rb") as f:
            return pickle.load(f)
    import openpyxl
    from openpyxl.utils import column_index_from_string

    with tempfile.TemporaryDirectory() as tmp:
        path, _, _ = run_ours(root, tmp)
        book = openpyxl.load_workbook(path)
        sheets = []
        for ws in book.worksheets:
            rows = [list(r) for r in ws.iter_rows(values_only=True)]
            widths = {column_index_from_string(k) - 1: d.width
                      for k, d in ws.column_dimensions.items() if d.customWidth}
            sheets.append((ws.title, rows, widths))
    with open(cache, "wb") as f:
        pickle.dump(sheets, f)
    return sheets


def write_xlsxwriter(sheets, path):
    import xlsxwriter

    book = xlsxwriter.Workbook(path)
    header = book.add_format(HEADER_STYLE)
    for name, rows, widths in sheets:
        ws = book.add_worksheet(name)
        for c, v in enumerate(rows[0]):
            ws.write_string(0, c, v, header)
        for r, row in enumerate(rows[1:], 1):
            for c, v in enumerate(row):
                if v is None:
                    continue
                if isinstance(v, str):
                    ws.write_string(r, c, v)
                else:
                    ws.write_number(r, c, v)
        for c, w in widths.items():
            ws.set_column_pixels(c, c, round(w * 7))
    book.close()


def write_openpyxl_write_only(sheets, path):
    import openpyxl
    from openpyxl.cell import WriteOnlyCell
    from openpyxl.styles import Alignment, Border, Font, Side
    from openpyxl.utils import get_column_letter

    book = openpyxl.Workbook(write_only=True)
    thin = Side(style="thin")
    font, border = Font(bold=True), Border(left=thin, right=thin, top=thin, bottom=thin)
    alignment = Alignment(horizontal="center", vertical="top")
    for name, rows, widths in sheets:
        ws = book.create_sheet(name)
        for c, w in widths.items():
            ws.column_dimensions[get_column_letter(c + 1)].width = w
        head = []
        for v in rows[0]:
            cell = WriteOnlyCell(ws, value=v)
            cell.font, cell.border, cell.alignment = font, border, alignment
            head.append(cell)
        ws.append(head)
        for row in rows[1:]:
            ws.append(row)
    book.save(path)


def write_pandas(sheets, path, engine):
    import pandas as pd

    with pd.ExcelWriter(path, engine=engine) as writer:
        for name, rows, widths in sheets:
            pd.DataFrame(rows[1:], columns=rows[0]).to_excel(writer, sheet_name=name, index=False)
            ws = writer.sheets[name]
            for c, w in widths.items():
                if engine == "xlsxwriter":
                    ws.set_column_pixels(c, c, round(w * 7))
                else:
                    from openpyxl.utils import get_column_letter

                    ws.column_dimensions[get_column_letter(c + 1)].width = w


def child(kind, root):
    with tempfile.TemporaryDirectory() as tmp:
        if kind == "ours":
            _, parse, took = run_ours(root, tmp)
            print(json.dumps({"time": took, "parse": parse}))
            return
        sheets = cells_of(root)
        path = os.path.join(tmp, "floor.xlsx")
        # the cells are the floor's input, not its work: out of the collector's
        # walks, as a program's own data would be
        gc.collect()
        gc.freeze()
        start = time.perf_counter()
        if kind == "xlsxwriter":
            write_xlsxwriter(sheets, path)
        elif kind == "openpyxl-wo":
            write_openpyxl_write_only(sheets, path)
        else:
            write_pandas(sheets, path, kind.split("-", 1)[1])
        print(json.dumps({"time": time.perf_counter() - start,
                          "cells": sum(len(rows) * len(rows[0]) for _, rows, _ in sheets)}))


def spawn(kind, root):
    out = subprocess.run([sys.executable, __file__, "--child", kind, root], check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out.strip().splitlines()[-1])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--modules", type=int, default=300)
    ap.add_argument("--lines", type=int, default=1000)
    ap.add_argument("--repeat", type=int, default=3)
    ap.add_argument("--floors", default=",".join(FLOORS))
    ap.add_argument("--child", nargs=2, metavar=("KIND", "ROOT"))
    args = ap.parse_args()
    if args.child:
        child(*args.child)
        return
    floors = args.floors.split(",")
    results = {}
    for n in (args.modules, 2 * args.modules):
        root = program(n, args.lines)
        cells_of(root)
        best = {}
        for _ in range(args.repeat):
            for kind in ["ours"] + floors:
                r = spawn(kind, root)
                if kind not in best or r["time"] < best[kind]["time"]:
                    best[kind] = r
        results[n] = best
        fastest = min(floors, key=lambda k: best[k]["time"])
        print(f"{n} modules, {best[fastest].get('cells', 0):,} cells: ours {best['ours']['time']:.2f} s "
              f"(parse {best['ours']['parse']:.2f} s)")
        for kind in floors:
            print(f"  floor {kind:<18} {best[kind]['time']:7.2f} s   ours / floor {best['ours']['time'] / best[kind]['time']:.2f}")
        print(f"  ratio to the fastest floor ({fastest}): {best['ours']['time'] / best[fastest]['time']:.2f}")
    n1, n2 = args.modules, 2 * args.modules
    print(f"doubling ratio: ours {results[n2]['ours']['time'] / results[n1]['ours']['time']:.2f}", end="")
    for kind in floors:
        print(f", {kind} {results[n2][kind]['time'] / results[n1][kind]['time']:.2f}", end="")
    print()


if __name__ == "__main__":
    main()

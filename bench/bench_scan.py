"""The per-file scan alone: every module of a generated program read first,
then handed to a fresh parser's _parse_file, without the reference passes.

Usage: python bench/bench_scan.py [--modules N] [--lines L] [--repeat R]
"""
import argparse
import gc
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from bench_parse_files import folder_for, module_paths  # noqa: E402
from timing import timed  # noqa: E402

from tallowby.quillon.quillon import VBAParser  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--modules", type=int, default=3000)
    ap.add_argument("--lines", type=int, default=1000)
    ap.add_argument("--repeat", type=int, default=3)
    args = ap.parse_args()
    data = []
    for path in module_paths(folder_for(args.modules, args.lines)):
        with open(path, encoding="utf-8", errors="ignore") as f:
            data.append((path, f.readlines()))

    def scan():
        p = VBAParser()
        for path, lines in data:
            p.files[path] = lines
            p._parse_file(path, lines)

    gc.disable()
    timed(f"scan of {len(data)} modules x {args.lines} lines", scan, args.repeat)


if __name__ == "__main__":
    main()

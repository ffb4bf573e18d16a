"""Read and resolve times of a large pattern-set sheet, and read time of a large pattern listing.

Usage: python bench/bench_pattern_sets.py [rows]
"""
import pathlib
import sys
import tempfile

from tallowby.pendrel import Pendrel

from timing import timed


def write_files(folder, rows):
    lines = ["version=2.3:\n", "header 1\n", "header 2\n"]
    for i in range(rows):
        name = f"Set_{i // 10}"
        # Every fifth set also uses the set before it; the rest are pattern files.
        item = f"set_{i // 10 - 1}" if i % 10 == 0 and i >= 50 and (i // 10) % 5 == 0 else f"./pat/burst_{i}.PATX.GZ"
        lines.append("\t".join(["", name, "c2", "c3", item, "c5", "comment"]) + "\n")
    (folder / "PatSets.txt").write_text("".join(lines))

    listing = ["Number of pattern vectors: 123456\n"]
    for i in range(rows * 10):
        listing.append(f"{i} 0x0000{i % 4096:04x} 1 0 1 0 repeat = {i % 7 + 1} ; comment\n")
        if i % 100 == 0:
            listing.append("  some other line of the listing\n")
    (folder / "listing.txt").write_text("".join(listing))


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 20000
    with tempfile.TemporaryDirectory() as tmp:
        folder = pathlib.Path(tmp)
        write_files(folder, rows)
        sheet = str(folder / "PatSets.txt")
        print(f"{rows} rows, {rows * 10} vector lines")

        def read():
            parser = Pendrel()
            parser.read_pattern_set(sheet, "./pat")
            return parser

        timed("pattern sets, read", read)
        parser = read()
        timed("pattern sets, resolve", parser.get_pattern_set_info)

        def count():
            parser.read_pattern_file(str(folder / "listing.txt"), "SET_0")

        timed("pattern listing, vector count", count)


if __name__ == "__main__":
    main()

"""Read times of large spec, global spec, time-set and pin-level sheets.

Usage: python bench/bench_spec_timing_levels.py [rows]
"""
import pathlib
import sys
import tempfile

from tallowby.ambrel import ParsePinLevel
from tallowby.corvain import ParseGlobalSpec
from tallowby.sunmere import Sunmere
from tallowby.valcour import ParseTIM

from timing import timed


def write_sheets(folder, rows):
    columns = 60
    categories = "\t".join(["", "", ""] + [f"cat{j // 3}" if j % 3 == 0 else "" for j in range(columns)])
    selectors = "\t".join(["", "Symbol", "Value"] + ["Typ", "Min", "Max"] * (columns // 3))
    spec = [f"x\tversion=2.0:x", "", categories, selectors]
    spec += ["\t".join(["", f"spec_{i}", ""] + [f"={i}*{j}*ns" for j in range(columns)]) for i in range(rows)]
    (folder / "AC Specs.txt").write_text("\n".join(spec) + "\n")

    glob = ["x\tversion=2.0:x", "", "", ""] + [f"\tg_{i}\t\t{i}*mV\tcomment" for i in range(rows)]
    (folder / "Global Specs.txt").write_text("\n".join(glob) + "\n")

    timing = [f"h{i}" for i in range(7)]
    for i in range(rows):
        kind = "clock" if i % 2 else "edge"
        timing.append(f"\tts_{i % 400}\t={i % 7 + 1}*ns\tclk_{i % 13}\t=tper/{i % 5 + 1}\t{kind}\t\t")
    (folder / "Time Sets.txt").write_text("\n".join(timing) + "\n")

    levels = ["h0", "h1", "h2"]
    params = ["VMAIN", "VPS", "IFOLDLEVEL", "VCL"]
    for i in range(rows):
        levels.append(f"\tpin_{i % 2000}\t\t{params[i % 4]}\t=vdd*{i % 9} V\tcomment")
    (folder / "Pin Levels.txt").write_text("\n".join(levels) + "\n")


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 20000
    with tempfile.TemporaryDirectory() as tmp:
        folder = pathlib.Path(tmp)
        write_sheets(folder, rows)
        timed(f"AC spec, {rows} rows x 60 columns", lambda: Sunmere().read_ac_spec(str(folder / "AC Specs.txt"), "UltraFLEX"))
        timed(f"global spec, {rows} rows", lambda: ParseGlobalSpec().read_spec(str(folder / "Global Specs.txt"), "UltraFLEX"))
        timed(f"time sets, {rows} rows", lambda: ParseTIM().read_timing(str(folder / "Time Sets.txt"), "UltraFLEX"))
        timed(f"pin levels, {rows} rows", lambda: ParsePinLevel().read_pin_level(str(folder / "Pin Levels.txt")))


if __name__ == "__main__":
    main()

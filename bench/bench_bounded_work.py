"""Times of the inputs that used to grow without bound: spec values referred to
thousands of times, long chains of nested pattern sets, and sub-flows that
fan out (refused before the rows are made).

Usage: python bench/bench_bounded_work.py
"""
import pathlib
import tempfile

from tallowby.garvel import Garvel
from tallowby.marlet import Marlet
from tallowby.pendrel import Pendrel

from timing import timed


def spec_references(references, value):
    m = Marlet(".")
    m.glob_spec_dict = {"BIG": value, "ONE": "1"}
    m.spec_version = ""
    target = "*".join(["_BIG"] * references)

    def run():
        try:
            m._Marlet__spec_calculation(target, {}, "CAT", "TYP")
        except RecursionError:
            pass  # beyond the bound on the resolved text

    return run


def pattern_chain(folder, depth):
    rows = [f"S{i}\ts{i + 1}" for i in range(depth)] + [f"S{depth}\tleaf.pat"]
    lines = ["version=2.0:\n", "h1\n", "h2\n"] + ["\t".join(["", r.split("\t")[0], "", "", "", r.split("\t")[1], ""]) + "\n"
                                               for r in rows]
    path = folder / "chain.txt"
    path.write_text("".join(lines))
    p = Pendrel()
    p.read_pattern_set(str(path), "./patterns", "UltraFLEX")
    return p.get_pattern_set_info


def fan_out(folder, levels):
    head = "".join(f"header\t{i}\n" for i in range(4))
    call = "\t" * 6 + "call\t{}\t\n"
    for i in range(levels):
        (folder / f"F{i}.txt").write_text(head + call.format(f"F{i + 1}") * 2)
    (folder / f"F{levels}.txt").write_text(head + "\t" * 6 + "Test\tT\t\t1" + "\t" * 7 + "1\t\t1\tFail\n")

    def run():
        try:
            Garvel().read_flow_table(str(folder / "F0.txt"), "UltraFLEX")
        except ValueError:
            pass  # more rows than a job sheet holds

    return run


def main():
    with tempfile.TemporaryDirectory() as tmp:
        folder = pathlib.Path(tmp)
        timed("spec: 4,000 refs to a 100-term value", spec_references(4000, "+".join(["_ONE"] * 100)))
        timed("spec: 4,000 refs to a 10 KB value", spec_references(4000, "+".join(["1"] * 5000)))
        timed("spec: 4,000 refs to a 1 MB value", spec_references(4000, "1" * (1 << 20)), repeat=2)
        timed("pattern sets: chain of 16,000", pattern_chain(folder, 16000))
        timed("flow: 2**21 rows refused", fan_out(folder, 21))


if __name__ == "__main__":
    main()

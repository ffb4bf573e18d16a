"""Read times of a large flow table (with sub-flows) and a large test-instance sheet.

Usage: python bench/bench_flow_and_instances.py [rows]
"""
import pathlib
import sys
import tempfile

from tallowby.garvel import Garvel
from tallowby.ostrand import Ostrand

from timing import timed


def flow_row(opcode, param, number="", hard="", sort=""):
    fields = [""] * 22
    fields[6], fields[7], fields[9], fields[16], fields[18] = opcode, param, number, hard, sort
    return "\t".join(fields)


def write_sheets(folder, rows):
    header = "".join(f"header {i}\n" for i in range(4))
    sub = [flow_row("Test", f"sub_{i}", str(i), "1", "1") for i in range(50)]
    (folder / "Sub.txt").write_text(header + "\n".join(sub) + "\n")
    main = []
    for i in range(rows):
        if i % 500 == 0:
            main.append(flow_row("call", "Sub"))
        elif i % 3 == 0:
            main.append(flow_row("Test", f"test_{i}", str(i)))
            main.append(flow_row("Use-Limit", "", str(i), "2", "3"))
        else:
            main.append(flow_row("Test", f"test_{i}", str(i), "1", "1"))
    (folder / "Main.txt").write_text(header + "\n".join(main) + "\n")

    lines = []
    for i in range(rows):
        fields = [f"v{j}" for j in range(150)]
        fields[1], fields[14] = f"Inst_{i % 997}", "a,b,c,d"
        fields[15 + i % 5] = f"SET_{i % 40}"
        fields[40] = f"./patterns/Burst {i}.PATX.GZ"
        lines.append("\t".join(fields))
    (folder / "Instances.txt").write_text(header + "\n".join(lines) + "\n")


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 20000
    with tempfile.TemporaryDirectory() as tmp:
        folder = pathlib.Path(tmp)
        write_sheets(folder, rows)
        sets = {f"SET_{i}": [f"/p/set{i}_a.PATX.GZ", f"/p/set{i}_b.PATX.GZ"] for i in range(0, 40, 2)}
        print(f"{rows} rows")
        timed("flow table (UltraFLEX)", lambda: Garvel().read_flow_table(str(folder / "Main.txt"), "UltraFLEX"))
        for platform in ("UltraFLEXplus", "J750"):
            timed(f"test instances, scan ({platform})",
                  lambda: Ostrand().read_test_instance(str(folder / "Instances.txt"), {}, platform))
        timed("test instances, pattern sets", lambda: Ostrand().read_test_instance(str(folder / "Instances.txt"), sets, "UltraFLEXplus"))


if __name__ == "__main__":
    main()

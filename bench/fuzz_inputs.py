"""Mutated test programs through every reader of the package.

Each case starts from a small, valid exported test program (every sheet kind
and two VBA modules), mutates one or more of its files (fields replaced by
hostile texts, lines repeated, cut, swapped or dropped, bytes flipped,
formula and link texts, option-like and path-like names, deep parentheses,
huge numbers), sometimes delivers it as a ".zip" archive with mutated member
names or as an ".xlsm" workbook with mutated sheet titles, and then, in a
subprocess of its own with a timeout:

- reads every sheet with its parser (Hestor, Garvel, Ostrand, Pendrel,
  Tormund, Dunmarrow, Sunmere, ParseGlobalSpec, ParseTIM, ParsePinLevel);
- loads the device into the engine and runs every job, with the VBT check
  on, so that the VBA parser's parse_files and the dry-run report run on the
  mutated modules;
- runs parse_files and the dry-run report once more on the modules alone.

Ordinary exceptions are the readers' orderly failures and are only counted.
The script prints the number of cases, crashes (a subprocess that died or
ended with a non-zero status), hangs (past the timeout), formula cells in
any workbook written, files written outside the case's folders, and pattern
tool calls whose first argument began with "-".

    python bench/fuzz_inputs.py [--cases N] [--seed S] [--timeout SECONDS] [--jobs J]

Run it under the sanitizer build as the CI does (LD_PRELOAD of libasan and
libubsan, ASAN_OPTIONS=detect_leaks=0, PYTHONMALLOC=malloc).
"""
import argparse
import json
import os
import random
import shutil
import sys
import tempfile
import time
import zipfile

HEADER = "".join(f"header\t{i}\tx\n" for i in range(4))

# The engine tests' writer of small exported programs.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "engine"))
from engine_device import flow_row, instance_row, write_device  # noqa: E402


def _line(fields):
    return "\t".join(fields) + "\n"


def seed_program():
    """{file name: text} of a small valid program with one job."""
    with tempfile.TemporaryDirectory() as tmp:
        folder = write_device(
            tmp, jobs={"CP1": {}},
            flows={"Flow_Main": [flow_row("Test", "CONT", "100", "1", "1", "Fail"), flow_row("Test", "FUNC"),
                                 flow_row("Use-Limit", "", "200", "2", "3", "Fail"), flow_row("call", "Flow_Sub"),
                                 flow_row("nop", "CONT", "300", "4", "5", "None")],
                   "Flow_Sub": [flow_row("Test", "FUNC", "400", "6", "7", "Pass")]},
            instances={"Test Instances": [
                instance_row(name, pattern, "CAT", "TYP", "CAT", "TYP", "TS", "PL", "arg1,arg2", ("=_VDD*2", "3"))
                for name, pattern in (("cont", "PS_A"), ("func", "./patterns/a.patx,PS_A"))]},
            dc={"DC Specs": {"VDD": {("SELECTOR", "VAL"): "TYP", ("CAT", "TYP"): "=0.9*(1+5/100)", ("CAT", "MIN"): "0.8"},
                             "VIO": {("SELECTOR", "VAL"): "TYP", ("CAT", "TYP"): "=_VDD*2", ("CAT", "MIN"): "=_VDD"}}},
            ac={"AC Specs": {"TPER": {("SELECTOR", "VAL"): "MIN", ("CAT", "TYP"): "=1E-8", ("CAT", "MIN"): "=2E-8"}}},
            glob={"LVL": "=1/2+0.5"},
            pin_levels={"PL": [("VDD", "VMAIN", "=_VDD"), ("VDD", "IFOLDLEVEL", "=0.5"),
                               ("VIO", "VMAIN", "=_VIO*1.1"), ("VIO", "IFOLDLEVEL", "=_LVL")]},
            timing={"TS": [("T1", "=_TPER", "CK", "=_TPER/4")]},
            pattern_sets={"PatSets": [("PS_A", "./patterns/a.patx"), ("PS_A", "PS_B"), ("PS_B", "./patterns/b.pat.gz")]})
        files = {f.name: f.read_text() for f in folder.iterdir()}
    files["m1.bas"] = (
        'Attribute VB_Name = "m1"\n'
        "Public counter As Long\n"
        "Private helper As String, other(1 To 3) As Double\n"
        "Public Const MAX_COUNT As Long = 5\n"
        "Public Type PinInfo\n    name As String\nEnd Type\n"
        "Public Enum Mode\n    fast = 1\nEnd Enum\n"
        "Public Function RunTest(ByVal count As Long, Optional label As String = \"x\") As Long\n"
        "    Dim result As Long\n"
        "    Static seen As Boolean\n"
        "    result = counter + helper _\n        + count\n"
        "    RunTest = result\n"
        "End Function\n")
    files["m2.bas"] = (
        'Attribute VB_Name = "m2"\n'
        "#If DEBUG Then\nPrivate Sub Trace(msg As String)\n#Else\nPrivate Sub Trace(msg As String, level As Long)\n#End If\n"
        "    Dim i As Integer\n    For i = 1 To 3: Debug.Print msg: Next i\nEnd Sub\n"
        "Property Get Value() As Long\n    Value = counter\nEnd Property\n")
    return files


HOSTILE = [
    "", "=", "=1+1", '=HYPERLINK("http://x","y")', "=cmd|' /C calc'!A0", "=_VDD_LVL*2", "#N/A", "http://example.com/a",
    "mailto:a@b.c", "\t", "\n", "\r", "\r\n", "_", "_VDD", "_TPER", "_LVL", "_NOPE", "..", "../", "../../x",
    "/abs/path", "\\", "-", "-o x", "--help", "%20", " ", "(", ")", "(" * 300, ")" * 300, "**", "//", "%",
    "1/2+0.5", "2**-1", "-2**2", "9**9**9", "9" * 60, "1e400", "1E-3", ".5", "5.", "0", "-1", "1/0", "\x00",
    "\ufeff", "é", "中文", "ß", "İ", "\u2028", "\x1c", "call", "Test", "Use-Limit", "nop", "Flow_Main",
    "Flow_Sub", "PS_A", "PS_B", "./patterns/a.patx", "a.PATX.GZ", "TS", "T1", "CAT", "TYP", "SELECTOR VAL",
    "version=3.0:", "version=2.3:", "3.0", "Dim", "Dim =x As Long", "As", "Function", "End Function", "Sub",
    "End Sub", "Type", "End Type", "Enum", "End Enum", "#If", "#End If", " _", "'", '"', "Public", "Private",
    "Const", "ByVal", "Optional", "ParamArray", "()", "(1 To 3)", "$", "&", "%", "!", "#", "@",
]


def mutate_text(rng, text):
    lines = text.splitlines(keepends=True) or [""]
    for _ in range(rng.randint(1, 4)):
        kind = rng.random()
        i = rng.randrange(len(lines))
        if kind < 0.35:  # one field replaced
            fields = lines[i].split("\t")
            j = rng.randrange(len(fields))
            fields[j] = rng.choice(HOSTILE) + (rng.choice(HOSTILE) if rng.random() < 0.3 else "")
            lines[i] = "\t".join(fields)
        elif kind < 0.5:  # a hostile text inserted
            at = rng.randint(0, len(lines[i]))
            lines[i] = lines[i][:at] + rng.choice(HOSTILE) + lines[i][at:]
        elif kind < 0.6:
            lines.insert(i, lines[i])
        elif kind < 0.65:  # a line repeated many times
            lines[i:i + 1] = [lines[i]] * rng.choice([50, 500, 5000])
        elif kind < 0.72:
            del lines[i]
            if not lines:
                lines = [""]
        elif kind < 0.8:
            k = rng.randrange(len(lines))
            lines[i], lines[k] = lines[k], lines[i]
        elif kind < 0.87:  # cut short
            lines = lines[: i + 1]
            lines[-1] = lines[-1][: rng.randint(0, len(lines[-1]))]
        elif kind < 0.93:  # a field made long
            fields = lines[i].split("\t")
            fields[rng.randrange(len(fields))] = rng.choice(["=_VDD*", "(1+", "_A+", "x"]) * rng.choice([10, 1000, 20000])
            lines[i] = "\t".join(fields)
        else:
            lines[i] = lines[i].replace("\t", rng.choice(["", "\t\t", " "]))
    return "".join(lines)


def mutate_bytes(rng, data):
    data = bytearray(data)
    for _ in range(rng.randint(1, 8)):
        if not data:
            break
        data[rng.randrange(len(data))] = rng.randrange(256)
    return bytes(data)


def make_case(rng, root):
    """Writes one mutated program under root/src; returns how the engine is to load it."""
    files = {name: text.encode("utf-8") for name, text in seed_program().items()}
    names = sorted(files)
    for name in rng.sample(names, rng.randint(1, 3)):
        text = mutate_text(rng, files[name].decode("utf-8"))
        data = text.encode("utf-8", "surrogatepass")
        if rng.random() < 0.1:
            data = mutate_bytes(rng, data)
        files[name] = data
    # self-referring and fanning-out sub-flows and pattern sets now and then
    if rng.random() < 0.05:
        files["Flow_Sub.txt"] += b"\t\t\t\t\t\tcall\tFlow_Sub\n"
    if rng.random() < 0.05:
        files["Flow_Sub.txt"] = (HEADER + _line(flow_row("call", "Flow_Sub2")) * 2).encode()
        files["Flow_Sub2.txt"] = (HEADER + _line(flow_row("call", "Flow_Sub")) * 2).encode()
    src = os.path.join(root, "src", "DEVICE")
    os.makedirs(os.path.join(src, "patterns"))
    for name, data in files.items():
        with open(os.path.join(src, name), "wb") as f:
            f.write(data)
    for pattern in ("a.patx", "b.pat.gz"):
        with open(os.path.join(src, "patterns", pattern), "w") as f:
            f.write("pattern\n")
    form = rng.random()
    if form < 0.1:
        archive = os.path.join(root, "src", rng.choice(["DEVICE.zip", "...zip", ".igxl", "DEVICE.IGXL"]))
        top = rng.choice(["", "DEVICE/", "../", "/", "a/../../"])
        with zipfile.ZipFile(archive, "w") as z:
            for name, data in files.items():
                member = top + name
                if rng.random() < 0.1:
                    member = rng.choice(["../", "../../", "/tmp/", "x/../../"]) + name
                z.writestr(member, data)
        return archive
    if form < 0.15:
        import openpyxl
        from openpyxl.cell.cell import ILLEGAL_CHARACTERS_RE

        book = openpyxl.Workbook()
        book.remove(book.active)
        for name, data in files.items():
            if not name.endswith(".txt"):
                continue
            sheet = book.create_sheet()
            sheet._title = name[:-4] if rng.random() < 0.9 else rng.choice(["../../x", "/abs/path", "..", "a\\b", "."])
            for line in data.decode("utf-8", "replace").split("\n")[:200]:
                # the characters a workbook cannot hold are left out; texts stay texts
                sheet.append([ILLEGAL_CHARACTERS_RE.sub("", c) for c in line.split("\t")])
                for cell in sheet[sheet.max_row]:
                    cell.data_type = "s"
        path = os.path.join(root, "src", rng.choice(["DEVICE.xlsm", "...xlsm"]))
        book.save(path)
        return path
    return src


# What bad input makes the readers raise: file errors, undecodable text, short
# rows, missing keys, values that do not resolve or evaluate, lines without
# the match their sheet needs.
EXPECTED_FAILURES = {"FileNotFoundError", "IsADirectoryError", "NotADirectoryError", "OSError", "UnicodeDecodeError",
                     "IndexError", "KeyError", "ValueError", "RecursionError", "ZeroDivisionError", "OverflowError",
                     "IllegalCharacterError", "BadZipFile", "InvalidFileException", "DuplicateWorksheetName",
                     "AttributeError"}  # a version or level line without a match: no group to take


def listing(folder):
    out = set()
    for d, _, fs in os.walk(folder):
        for f in fs:
            out.add(os.path.relpath(os.path.join(d, f), folder))
    return out


TOOL = """#!{python}
import sys
with open({log!r}, "a") as log:
    log.write(repr(sys.argv[1:2]) + "\\n")
sys.stdout.write("\\tT1 0\\n")
"""


def run_case(root, device):
    """The work of one case, in its own process: every reader, the engine, the VBA tools."""
    import contextlib
    import io

    from tallowby.ambrel import ParsePinLevel
    from tallowby.corvain import ParseGlobalSpec
    from tallowby.dunmarrow import Dunmarrow
    from tallowby.garvel import Garvel
    from tallowby.hestor import Hestor
    from tallowby.marlet import Marlet
    from tallowby.ostrand import Ostrand
    from tallowby.pendrel import Pendrel
    from tallowby.quillon.quillon import VBAParser
    from tallowby.quillon.tabwick import Tabwick
    from tallowby.sunmere import Sunmere
    from tallowby.tormund import Tormund
    from tallowby.valcour import ParseTIM

    src = os.path.join(root, "src", "DEVICE")
    out = os.path.join(root, "out")
    temp = os.path.join(root, "temp")
    os.makedirs(out)
    os.makedirs(temp)
    sheet = lambda name: os.path.join(src, name)
    failures = {}

    def attempt(label, call):
        try:
            call()
        except Exception as e:  # the readers' orderly failures
            failures[label] = [type(e).__name__, str(e)[:200]]

    with contextlib.redirect_stdout(io.StringIO()), contextlib.redirect_stderr(io.StringIO()):
        attempt("hestor", lambda: Hestor().read_job_list(sheet("Job List.txt")))
        attempt("garvel", lambda: Garvel().read_flow_table(sheet("Flow_Main.txt"), "UltraFLEX"))
        attempt("garvel-j750", lambda: Garvel().read_flow_table(sheet("Flow_Main.txt"), "J750"))
        resolved = {}

        def patterns():
            p = Pendrel()
            p.read_pattern_set(sheet("PatSets.txt"), os.path.join(src, "patterns"), "UltraFLEX")
            resolved.update(p.get_pattern_set_info())
            p.read_tset_from_pattern(os.path.join(src, "patterns"), "./patterns/a.patx")

        attempt("pendrel", patterns)
        attempt("ostrand", lambda: Ostrand().read_test_instance(sheet("Test Instances.txt"), resolved, "UltraFLEX"))
        attempt("tormund", lambda: Tormund().read_spec(sheet("DC Specs.txt"), "UltraFLEX"))
        attempt("dunmarrow", lambda: Dunmarrow().read_dc_spec(sheet("DC Specs.txt"), "UltraFLEX"))
        attempt("sunmere", lambda: Sunmere().read_ac_spec(sheet("AC Specs.txt"), "UltraFLEX"))
        attempt("corvain", lambda: ParseGlobalSpec().read_spec(sheet("Global Specs.txt"), "UltraFLEX"))
        attempt("valcour", lambda: ParseTIM().read_timing(sheet("TS.txt"), "UltraFLEX"))
        attempt("ambrel", lambda: ParsePinLevel().read_pin_level(sheet("PL.txt")))

        def engine():
            for mode in ("Period", "Frequency"):
                m = Marlet(temp)
                m.read_device(device, "", os.path.join(src, "patterns"), "UltraFLEX", lambda line: None, mode, "",
                              1, lambda value: None)
                jobs = m.get_job_list()
                m.run(list(jobs) if isinstance(jobs, dict) else [], out + os.sep)

        attempt("marlet", engine)

        def vba():
            parser = VBAParser()
            parser.parse_files(src)
            Tabwick().generate_dry_run_report(lambda value: None, parser, out)

        attempt("quillon", vba)

    formula_cells = 0
    import openpyxl

    for name in os.listdir(out):
        if name.endswith((".xlsx", ".xlsm")):
            try:
                book = openpyxl.load_workbook(os.path.join(out, name))
            except Exception:
                failures["unreadable workbook"] = name
                continue
            formula_cells += sum(c.data_type == "f" for ws in book for row in ws.iter_rows() for c in row)
    return {"failures": failures, "formula_cells": formula_cells}


def child_main(root, device, result_path):
    # what the process writes below Python (a sanitizer's report) goes to the case's own file
    err = os.open(os.path.join(root, "stderr.txt"), os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    os.dup2(err, 2)
    os.close(err)
    os.chdir(root)
    result = run_case(root, device)
    with open(result_path, "w") as f:
        json.dump(result, f)
    sys.stdout.flush()
    os._exit(0)


def preload():
    """Everything a case imports, loaded once: each case is then a fork of this process."""
    import openpyxl  # noqa: F401
    import pandas  # noqa: F401

    import tallowby.marlet  # noqa: F401
    import tallowby.quillon.tabwick  # noqa: F401


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--cases", type=int, default=200)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--timeout", type=float, default=60.0)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--keep", help="folder to copy crashing and hanging cases into")
    args = ap.parse_args()

    base = tempfile.mkdtemp(prefix="tallowby-fuzz-")
    tool_dir = os.path.join(base, "tool")
    os.makedirs(tool_dir)
    tool_log = os.path.join(base, "tool-calls.txt")
    with open(os.path.join(tool_dir, "patinfo"), "w") as f:
        f.write(TOOL.format(python=sys.executable, log=tool_log))
    os.chmod(os.path.join(tool_dir, "patinfo"), 0o755)
    os.environ["PATH"] = tool_dir + os.pathsep + os.environ.get("PATH", "")
    import multiprocessing

    preload()
    fork = multiprocessing.get_context("fork")

    counts = {"cases": 0, "crashes": 0, "hangs": 0, "formula cells": 0, "files outside": 0,
              "option arguments to the tool": 0}
    failures = {}
    unexpected = []  # failures of a kind the readers are not known to raise on bad input
    bad = []
    started = time.monotonic()
    running = []  # (process, case number, root, before, started)
    case = 0

    def finish(proc, n, root, before, t0, timed_out):
        counts["cases"] += 1
        result_path = os.path.join(root, "result.json")
        if timed_out:
            counts["hangs"] += 1
            bad.append((n, "hang", root))
        elif proc.exitcode != 0 or not os.path.exists(result_path):
            counts["crashes"] += 1
            bad.append((n, f"status {proc.exitcode}", root))
        else:
            with open(result_path) as f:
                result = json.load(f)
            counts["formula cells"] += result["formula_cells"]
            if result["formula_cells"]:
                bad.append((n, "formula cells", root))
            for label, (error, message) in result["failures"].items():
                failures[(label, error)] = failures.get((label, error), 0) + 1
                if error not in EXPECTED_FAILURES:
                    unexpected.append((n, label, error, message))
        # the case may write into src (exported sheets, tool output), temp and out only
        after = {p for p in listing(root) if not p.startswith(("src" + os.sep, "temp" + os.sep, "out" + os.sep))}
        outside = after - before - {"result.json", "stderr.txt"}
        if outside:
            counts["files outside"] += len(outside)
            bad.append((n, f"outside: {sorted(outside)[:3]}", root))
        if args.keep and bad and bad[-1][0] == n:
            shutil.copytree(root, os.path.join(args.keep, f"case-{n}"), dirs_exist_ok=True)
        shutil.rmtree(root, ignore_errors=True)

    while case < args.cases or running:
        while case < args.cases and len(running) < args.jobs:
            rng = random.Random(args.seed * 1_000_003 + case)
            root = os.path.join(base, f"case-{case}")
            os.makedirs(root)
            device = make_case(rng, root)
            before = {p for p in listing(root) if not p.startswith(("src" + os.sep, "temp" + os.sep, "out" + os.sep))}
            proc = fork.Process(target=child_main, args=(root, device, os.path.join(root, "result.json")))
            proc.start()
            running.append((proc, case, root, before, time.monotonic()))
            case += 1
        time.sleep(0.02)
        for item in list(running):
            proc, n, root, before, t0 = item
            if proc.exitcode is not None:
                running.remove(item)
                finish(proc, n, root, before, t0, False)
            elif time.monotonic() - t0 > args.timeout:
                proc.kill()
                proc.join()
                running.remove(item)
                finish(proc, n, root, before, t0, True)

    if os.path.exists(tool_log):
        with open(tool_log) as f:
            for line in f:
                first = eval(line)  # a list repr written by the stand-in tool
                if first and first[0].startswith("-"):
                    counts["option arguments to the tool"] += 1
    shutil.rmtree(base, ignore_errors=True)

    elapsed = time.monotonic() - started
    print(f"cases: {counts['cases']}  crashes: {counts['crashes']}  hangs: {counts['hangs']}  "
          f"formula cells: {counts['formula cells']}  files outside: {counts['files outside']}  "
          f"option arguments to the tool: {counts['option arguments to the tool']}  ({elapsed:.0f} s)")
    for n, what, _ in bad[:20]:
        print(f"  case {n}: {what}")
    if unexpected:
        print(f"failures of other kinds: {len(unexpected)}")
        for n, label, error, message in unexpected[:15]:
            print(f"  case {n} {label}: {error}: {message}")
    print("orderly failures by reader:")
    for (label, error), n in sorted(failures.items()):
        print(f"  {label}: {error} x{n}")


if __name__ == "__main__":
    main()

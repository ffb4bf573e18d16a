"""The engine's run (the check workbook) on a generated device, against
XlsxWriter alone writing the same cells, formats, row options and rules.

Usage: python bench/bench_engine_run.py [--jobs J] [--rows N] [--repeat R]

At N flow rows per job and at 2N, each figure the best of R fresh processes
(default 3), ours and the floor run in turn:
- ours: Marlet.run on every job of the device (read_device is done first and
  not timed; the VBT step is off);
- floor: the workbook's calls, recorded once from a run of ours, replayed
  through XlsxWriter: each format made once, every cell through
  write_string / write_number / write_blank, the same set_row, set_column,
  autofilter, freeze_panes, outline and conditional_format calls.
Prints both times, the ratio and the doubling ratio. The devices and the
recorded calls are kept under bench/data/ (ignored by git).
"""
import argparse
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
EXAMPLES = os.path.join(os.path.dirname(HERE), "examples")


def device(jobs, rows):
    root = os.path.join(DATA, f"device_{jobs}x{rows}")
    if not os.path.isdir(root):
        subprocess.run([sys.executable, os.path.join(HERE, "gen_device.py"), root, "--jobs", str(jobs),
                        "--rows", str(rows)], check=True, stdout=subprocess.DEVNULL)
    return root


def loaded_engine(root, scratch):
    """A Marlet that has read the device, ready for run()."""
    from tallowby.marlet import Marlet

    tools = os.path.join(EXAMPLES, "bin")
    os.environ["PATH"] = tools + os.pathsep + os.environ.get("PATH", "")
    patterns = os.path.join(scratch, "patterns")
    shutil.copytree(os.path.join(root, "patterns"), patterns)
    engine = Marlet(os.path.join(scratch, "device"))
    os.mkdir(engine.device_directory)
    log = []
    engine.read_device(root, os.path.join(root, "power_order.xls"), patterns, "UltraFLEX", log.append, "Period",
                       "", 0, lambda p: None)
    return engine, list(engine.get_job_list())


def run_ours(root, out):
    with tempfile.TemporaryDirectory() as scratch:
        engine, jobs = loaded_engine(root, scratch)
        start = time.perf_counter()
        written = engine.run(jobs, out)
        took = time.perf_counter() - start
    if len(written) != 1:
        raise SystemExit(f"the run wrote {written}")
    return took


# --- recording the workbook's calls ------------------------------------------

class Recorder:
    """Stands in for the xlsxwriter module: forwards every call to the real
    library and notes it, with formats and sheets replaced by their numbers."""

    def __init__(self, real):
        self.real = real
        self.calls = []  # (target, method, args, kwargs); target "book" or a sheet number
        self.formats = []  # the properties of each format, in order made
        self.format_ids = {}

    def Workbook(self, *args, **kwargs):
        return _Book(self, self.real.Workbook(*args, **kwargs))

    def token(self, value):
        if id(value) in self.format_ids:
            return ("format", self.format_ids[id(value)])
        if isinstance(value, dict):
            return {k: self.token(v) for k, v in value.items()}
        if isinstance(value, (list, tuple)):
            return type(value)(self.token(v) for v in value)
        return value


class _Book:
    def __init__(self, rec, book):
        self._rec, self._book, self._sheets = rec, book, 0

    def add_format(self, props=None):
        fmt = self._book.add_format(props)
        self._rec.format_ids[id(fmt)] = len(self._rec.formats)
        self._rec.formats.append(dict(props or {}))
        return fmt

    def add_worksheet(self, name=None):
        sheet = self._book.add_worksheet(name)
        number = self._sheets
        self._sheets += 1
        self._rec.calls.append(("book", "add_worksheet", (name,), {}))
        return _Sheet(self._rec, sheet, number)

    def __getattr__(self, name):
        real = getattr(self._book, name)
        if not callable(real):
            return real

        def call(*args, **kwargs):
            self._rec.calls.append(("book", name, self._rec.token(args), self._rec.token(kwargs)))
            return real(*args, **kwargs)
        return call


class _Sheet:
    def __init__(self, rec, sheet, number):
        self._rec, self._sheet, self._number = rec, sheet, number

    def __getattr__(self, name):
        real = getattr(self._sheet, name)
        if not callable(real):
            return real

        def call(*args, **kwargs):
            self._rec.calls.append((self._number, name, self._rec.token(args), self._rec.token(kwargs)))
            return real(*args, **kwargs)
        return call


def typed_write(value):
    """The typed write that XlsxWriter's write() takes for `value`."""
    import numbers

    if isinstance(value, str):
        return "write_string"
    if isinstance(value, bool):
        return "write_boolean"
    if value is None:
        return "write_blank"
    if isinstance(value, numbers.Number):
        return "write_number"
    raise TypeError(f"no typed write for {type(value).__name__}")


def recorded_calls(root):
    cache = root + ".calls.pickle"
    if os.path.exists(cache):
        with open(cache, "rb") as f:
            return pickle.load(f)
    import xlsxwriter
    import tallowby.marlet as marlet

    recorder = Recorder(xlsxwriter)
    marlet.xlsxwriter = recorder
    try:
        with tempfile.TemporaryDirectory() as out:
            run_ours(root, out)
    finally:
        marlet.xlsxwriter = xlsxwriter
    calls = []
    for target, method, args, kwargs in recorder.calls:
        if method == "write":
            method = typed_write(args[2])
        calls.append((target, method, args, kwargs))
    result = (recorder.formats, calls)
    with open(cache, "wb") as f:
        pickle.dump(result, f)
    return result


def run_floor(root, out):
    import xlsxwriter

    import gc

    formats_props, calls = recorded_calls(root)
    # the recorded calls are the floor's input, not its work: out of the
    # collector's walks, as a program's own cells would be
    gc.collect()
    gc.freeze()
    start = time.perf_counter()
    book = xlsxwriter.Workbook(os.path.join(out, "floor.xlsm"), {"nan_inf_to_errors": True})
    formats = [book.add_format(p) for p in formats_props]

    def real(value):
        if isinstance(value, tuple) and len(value) == 2 and value[0] == "format":
            return formats[value[1]]
        if isinstance(value, dict):
            return {k: real(v) for k, v in value.items()}
        if isinstance(value, (list, tuple)):
            return type(value)(real(v) for v in value)
        return value

    sheets = []
    for target, method, args, kwargs in calls:
        if target == "book":
            if method == "add_worksheet":
                sheets.append(book.add_worksheet(*args))
            elif method != "close":
                getattr(book, method)(*real(args), **real(kwargs))
            continue
        getattr(sheets[target], method)(*real(args), **real(kwargs))
    book.close()
    return time.perf_counter() - start


def child(kind, root):
    with tempfile.TemporaryDirectory() as out:
        took = run_ours(root, out) if kind == "ours" else run_floor(root, out)
    print(json.dumps({"seconds": took}))


def measure(kind, root):
    done = subprocess.run([sys.executable, os.path.abspath(__file__), "--child", kind, root],
                          check=True, capture_output=True, text=True)
    return json.loads(done.stdout.strip().splitlines()[-1])["seconds"]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--jobs", type=int, default=4)
    parser.add_argument("--rows", type=int, default=5000)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--child", nargs=2, help=argparse.SUPPRESS)
    args = parser.parse_args(argv)
    if args.child:
        child(*args.child)
        return
    figures = {}
    for rows in (args.rows, 2 * args.rows):
        root = device(args.jobs, rows)
        recorded_calls(root)
        best = {"ours": float("inf"), "floor": float("inf")}
        for _ in range(args.repeat):
            for kind in best:
                best[kind] = min(best[kind], measure(kind, root))
        figures[rows] = best
        print(f"{args.jobs} jobs x {rows} rows: ours {best['ours']:.2f} s, floor {best['floor']:.2f} s, "
              f"ratio {best['ours'] / best['floor']:.2f}", flush=True)
    small, large = figures[args.rows], figures[2 * args.rows]
    print(f"doubling ratio: ours {large['ours'] / small['ours']:.2f}, floor {large['floor'] / small['floor']:.2f}")


if __name__ == "__main__":
    main(sys.argv[1:])

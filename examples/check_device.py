"""Drives the device check engine on the example device, as a front end does.

Usage: python examples/check_device.py [options] [device folder or archive] [output folder]

  --cycle-mode Period|Frequency   periods (default) or frequencies in the pattern columns
  --no-vbt                        leave out the VBT check of the device's modules

Checks every job of the device (default: examples/device, with its power order
workbook and pattern folder) and writes the check workbook, and with the VBT
check the dry-run workbook, into the output folder (default: out/ under the
current folder), with the engine's log beside them. Prints where they are.

The tester's pattern tool `patinfo` is not installed here: the stand-in in
examples/bin goes first on PATH. The tool writes its answer into the pattern
folder, so the engine gets a scratch copy of that folder and the device
itself is only read.
"""
import argparse
import os
import pathlib
import shutil
import sys
import tempfile
from dataclasses import dataclass, field

from tallowby.marlet import Marlet

HERE = pathlib.Path(__file__).resolve().parent
DEVICE = HERE / "device"
if not os.path.relpath(DEVICE).startswith(".."):
    DEVICE = pathlib.Path(os.path.relpath(DEVICE))  # the workbooks show the modules' paths as given
LOG_NAME = "check_device.log"


@dataclass
class Result:
    written: list
    log: list = field(default_factory=list)
    progress: list = field(default_factory=list)
    jobs: list = field(default_factory=list)
    engine: Marlet = None

    @property
    def check_workbook(self):
        return next((p for p in self.written if os.path.basename(p).startswith("Marlet_")), None)

    @property
    def dry_run_workbook(self):
        return next((p for p in self.written if os.path.basename(p).startswith("Quillon_Report_")), None)


def check(out, device=DEVICE, cycle_mode="Period", vbt=True, power_order=None, patterns=None):
    """Runs the engine on every job of `device`; workbooks and the log go to `out`."""
    device = pathlib.Path(device)
    out = pathlib.Path(out)
    out.mkdir(parents=True, exist_ok=True)
    power_order = device / "power_order.xls" if power_order is None else pathlib.Path(power_order)
    patterns = device / "patterns" if patterns is None else pathlib.Path(patterns)
    tools = str(HERE / "bin")
    if os.environ.get("PATH", "").split(os.pathsep)[0] != tools:
        os.environ["PATH"] = tools + os.pathsep + os.environ.get("PATH", "")

    with tempfile.TemporaryDirectory(prefix="tallowby-") as scratch:
        pattern_path = ""
        if patterns.is_dir():
            pattern_path = os.path.join(scratch, patterns.name)
            shutil.copytree(patterns, pattern_path)
        result = Result(written=[])
        engine = Marlet(os.path.join(scratch, "device"))
        os.mkdir(engine.device_directory)
        result.engine = engine
        engine.read_device(str(device), str(power_order) if power_order.is_file() else "", pattern_path,
                           "UltraFLEX", result.log.append, cycle_mode, "", 1 if vbt else 0, result.progress.append)
        result.jobs = list(engine.get_job_list())
        if result.jobs:
            result.written = engine.run(result.jobs, str(out))
    (out / LOG_NAME).write_text("".join(line + "\n" for line in result.log), encoding="utf-8")
    return result


def main(argv):
    parser = argparse.ArgumentParser(description="Checks the example device with the engine.")
    parser.add_argument("device", nargs="?", default=str(DEVICE), help="device folder or archive")
    parser.add_argument("out", nargs="?", default="out", help="output folder (default: out)")
    parser.add_argument("--cycle-mode", choices=("Period", "Frequency"), default="Period")
    parser.add_argument("--no-vbt", action="store_true", help="leave out the VBT check")
    args = parser.parse_args(argv)

    result = check(args.out, pathlib.Path(args.device), args.cycle_mode, not args.no_vbt)
    log_path = pathlib.Path(args.out) / LOG_NAME
    kinds = {kind: sum(line.startswith(kind) for line in result.log) for kind in ("Error", "Warning", "Info")}
    print()
    print("device:          ", args.device)
    print("jobs:            ", ", ".join(result.jobs) if result.jobs else "(none)")
    print("check workbook:  ", result.check_workbook)
    if not args.no_vbt:
        print("dry-run workbook:", result.dry_run_workbook)
    print("engine log:      ", log_path, f"({len(result.log)} lines; "
          + ", ".join(f"{kind.lower()}: {n}" for kind, n in kinds.items()) + ")")
    expected = 1 if args.no_vbt else 2
    failed = "An exception occurred!Please check!!!" in result.log
    if failed:
        print("the run ended early; see the engine log")
    return 0 if len(result.written) == expected and not failed else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

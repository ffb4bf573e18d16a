"""Drives the device check engine on the bundled example device, as a front end does.

Usage: python examples/check_device.py [device folder or archive] [output folder]
Writes the check workbook (and, with the VBT check, the dry-run workbook) into
the output folder (default: out/ under the current folder) and prints their paths.
"""
import pathlib
import sys
import tempfile

from tallowby.marlet import Marlet

device = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else pathlib.Path(__file__).parent / "device"
out = pathlib.Path(sys.argv[2]) if len(sys.argv) > 2 else pathlib.Path("out")
out.mkdir(parents=True, exist_ok=True)

progress = []
engine = Marlet(tempfile.mkdtemp(prefix="tallowby-"))
engine.read_device(str(device), "", "", "UltraFLEX", print, "Period", "", 1, progress.append)
jobs = engine.get_job_list()
print("jobs:", ", ".join(jobs))
written = engine.run(list(jobs), str(out))
print(f"progress: {len(progress)} values, last {progress[-1] if progress else None}")
for path in written:
    print("written:", path)
sys.exit(0 if written and len(written) == 2 else 1)

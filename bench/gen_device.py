"""Writes a large device for the engine benchmark: the example device's
sheets, patterns and power order workbook, with its jobs, flow tables and
test instances scaled up.

Usage: python bench/gen_device.py OUT [--jobs J] [--rows N]

J jobs (default 4), each with its own flow table of N test rows (default
5,000) and the shared test-instance sheet of N instances (some of them of two
rows). The instances are
the example's own, renamed and cycled, so every row reaches the example's
spec, level, timing and pattern-set sheets.
"""
import argparse
import importlib.util
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(os.path.dirname(HERE), "examples")


def example_writer():
    spec = importlib.util.spec_from_file_location("make_device", os.path.join(EXAMPLES, "make_device.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def scale(device, jobs, rows):
    groups = {}  # instance name -> its rows (one instance may have several)
    for row in device.INSTANCES["Test Instances"] + device.INSTANCES["Test Instances FT"]:
        groups.setdefault(row[1], []).append(row)
    templates = list(groups.values())
    instances, names = [], []
    for k in range(rows):
        names.append(f"{templates[k % len(templates)][0][1]}_{k}")
        for template in templates[k % len(templates)]:
            row = list(template)
            row[1] = names[-1]
            instances.append(row)
    device.INSTANCES = {"Test Instances": instances}
    flows = {}
    job_rows = []
    for j in range(jobs):
        name = f"Flow_J{j}"
        flows[name] = [device.flow("Test", names[k], str(10000 * (j + 1) + k), str(2 + k % 7),
                                   str(10 + k % 50), "Fail") for k in range(rows)]
        flows[name].append(device.flow("set-device", "", "", "1", "1", "", "good unit"))
        dc = "DC Specs Hot" if j % 2 else "DC Specs"
        job_rows.append((f"JOB{j}", "Test Instances", name, "AC Specs", dc, "PatSets,PatSets_FT", f"job {j}"))
    device.FLOWS = flows
    device.JOBS = job_rows


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--jobs", type=int, default=4)
    parser.add_argument("--rows", type=int, default=5000)
    args = parser.parse_args(argv)
    device = example_writer()
    scale(device, args.jobs, args.rows)
    device.write(args.out)
    print("written:", args.out)


if __name__ == "__main__":
    main(sys.argv[1:])

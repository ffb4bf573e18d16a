"""parse_files over a generated program folder, against the floor of reading
the same files with the host's text I/O and nothing else.

Usage: python bench/bench_parse_files.py [--modules N] [--lines L]

Runs at N modules and at 2N (each the best of two fresh processes, so that
the peak resident size is that of one parse), and prints lines per second,
peak memory, the ratio to the floor and the ratio of the time at 2N to the
time at N, for parse_files alone and for parse_files plus the first full
collection of the host's cyclic collector after it (which walks every object
of the model that the collector tracks; their count is printed); beside
each, the time that taking the peak memory alone costs on this machine, and
the time of a parse that finds the peak's worth of memory just given back by
the process (on a virtual machine whose fresh pages cost more the more are
taken, this separates the machine's share of the doubling ratio from the
parser's). The folders are generated once under bench/data/ (ignored by
git).
"""
import argparse
import contextlib
import gc
import io
import json
import os
import resource
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def module_paths(root):
    paths = []
    for folder, _, names in os.walk(root):
        paths += [os.path.join(folder, n) for n in names if n.lower().endswith(".bas")]
    return paths


def measure(root, warm=0):
    """In the child process: floor and parse_files times, peak RSS. With
    `warm`, that many bytes of memory are taken and given back first, so that
    the parse finds the machine's memory as a process that ran before it left
    it (the peak then counts that block too)."""
    from tallowby.quillon.quillon import VBAParser

    if warm:
        block = bytearray(warm)
        block[::4096] = b"\x01" * len(range(0, warm, 4096))
        del block

    paths = module_paths(root)
    floor = float("inf")
    lines = 0
    for _ in range(2):  # the first round also warms the page cache
        start = time.perf_counter()
        lines = 0
        for path in paths:
            with open(path, encoding="utf-8", errors="ignore") as f:
                lines += len(f.readlines())
        floor = min(floor, time.perf_counter() - start)
    parser = VBAParser()
    start = time.perf_counter()
    with contextlib.redirect_stdout(io.StringIO()):
        parser.parse_files(root)
    took = time.perf_counter() - start
    gc.collect()
    with_collection = time.perf_counter() - start
    tracked = len(gc.get_objects())
    references = sum(len(v) for v in parser.variable_references.values())
    peak_kib = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print(json.dumps({"lines": lines, "floor": floor, "parse": took, "with_collection": with_collection,
                      "tracked": tracked, "peak_kib": peak_kib,
                      "references": references}))


def touch(size):
    """In a child process: the time to take `size` bytes of fresh memory and
    write to each of its pages, nothing else. On some virtual machines this
    grows faster than the size; it tells how much of the doubling ratio is the
    machine's and not the parser's."""
    start = time.perf_counter()
    block = bytearray(size)
    pages = len(range(0, size, 4096))
    block[::4096] = b"\x01" * pages
    print(json.dumps({"touch": time.perf_counter() - start}))


def child(*args):
    out = subprocess.run([sys.executable, __file__, *args], check=True, capture_output=True, text=True).stdout
    return json.loads(out.strip().splitlines()[-1])


def folder_for(modules, lines):
    root = os.path.join(HERE, "data", f"program_{modules}x{lines}")
    if not os.path.isdir(root):
        subprocess.run([sys.executable, os.path.join(HERE, "gen_vba_program.py"), root, "--modules",
                        str(modules), "--lines", str(lines)], check=True)
    return root


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--modules", type=int, default=3000)
    ap.add_argument("--lines", type=int, default=1000)
    ap.add_argument("--child", help=argparse.SUPPRESS)
    ap.add_argument("--touch", type=int, help=argparse.SUPPRESS)
    ap.add_argument("--warm", type=int, default=0, help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.child:
        measure(args.child, args.warm)
        return
    if args.touch:
        touch(args.touch)
        return

    results = []
    for modules in (args.modules, 2 * args.modules):
        root = folder_for(modules, args.lines)
        # Best of two fresh processes: the first also finds the files and the
        # memory of the machine in the state the second one gets.
        r = min((child("--child", root) for _ in range(2)), key=lambda x: x["parse"])
        r.update(child("--touch", str(r["peak_kib"] * 1024)))
        r["warmed"] = child("--child", root, "--warm", str(r["peak_kib"] * 1024))["parse"]
        results.append(r)
        print(f"{modules} modules, {r['lines']} lines, {r['references']} references: "
              f"parse_files {r['parse']:.2f} s ({r['lines'] / r['parse']:,.0f} lines/s), "
              f"floor {r['floor']:.2f} s, ratio to floor {r['parse'] / r['floor']:.2f}; "
              f"with the first full collection {r['with_collection']:.2f} s, ratio "
              f"{r['with_collection'] / r['floor']:.2f} ({r['tracked']:,} tracked objects); "
              f"peak {r['peak_kib'] / 1024:.0f} MiB (taking that much fresh memory alone: {r['touch']:.2f} s; "
              f"parse_files after taking and freeing it: {r['warmed']:.2f} s)")
    print(f"doubling ratio: {results[1]['parse'] / results[0]['parse']:.2f}, with the collection "
          f"{results[1]['with_collection'] / results[0]['with_collection']:.2f} "
          f"(of taking the peak memory alone: {results[1]['touch'] / results[0]['touch']:.2f}; "
          f"of parse_files after taking and freeing the peak: {results[1]['warmed'] / results[0]['warmed']:.2f})")


if __name__ == "__main__":
    main()

"""The automatic refactoring (every suggested rename) over a generated program
folder, against the floor of reading, backing up and writing its modules
with plain Python file I/O.

Usage: python bench/bench_refactor.py [--modules N] [--lines L]

Runs at N modules and at 2N. Each figure is the best of three fresh
processes, each on a fresh copy of the folder: the refactoring child parses
the copy (not timed) and times refactor_all_issues; the floor child reads
every module of the copy, writes a backup copy of it and writes it back,
then does the same again with the syncs the refactoring makes (backup and
new bytes synced, the new file renamed into place, the folder synced): the
ratio is taken to that floor, since a refactoring that may not lose a file
cannot skip them; the floor without syncs is printed beside it. Prints both
times, their ratio, and the ratio of the time at 2N to the time at N (also
for the refactoring's CPU time, which the disk's sync latency does not move).
The folders are generated once under bench/data/
(ignored by git); the copies are made there too and removed afterwards.
"""
import argparse
import contextlib
import io
import json
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "data")


def module_paths(root):
    paths = []
    for folder, _, names in os.walk(root):
        paths += [os.path.join(folder, n) for n in names if n.lower().endswith(".bas")]
    return sorted(paths)


def refactor(root):
    """In the child process: parse the folder, then time the refactoring."""
    from tallowby.quillon.quillon import VBAParser, VBTRefactorer

    parser = VBAParser()
    with contextlib.redirect_stdout(io.StringIO()):
        parser.parse_files(root)
    refactorer = VBTRefactorer(parser)
    out = io.StringIO()
    start, start_cpu = time.perf_counter(), time.process_time()
    with contextlib.redirect_stdout(out):
        answer = refactorer.refactor_all_issues()
    took, cpu = time.perf_counter() - start, time.process_time() - start_cpu
    printed = out.getvalue().splitlines()
    rewritten = sum(1 for line in printed if line.startswith("已修改文件: "))
    renames = sum(len(records) for records in refactorer.changes_made.values())
    lines = sum(len(v) for v in parser.files.values())
    print(json.dumps({"time": took, "cpu": cpu, "answer": answer, "rewritten": rewritten, "renames": renames,
                      "lines": lines}))


def floor(root):
    """In the child process: read, back up and write back every module, first
    plainly, then with the syncs."""
    paths = module_paths(root)
    plain = copy_back(paths, ".backup_floor", synced=False)
    synced = copy_back(paths, ".backup_synced", synced=True)
    print(json.dumps({"time": synced, "plain": plain, "files": len(paths)}))


def copy_back(paths, backup_suffix, synced):
    """Reads each module, writes its backup and writes it back. `synced`
    makes it as durable as the refactoring makes it: the backup and the new
    bytes each synced to disk before the new file takes the module's place,
    and the folder synced after the rename."""
    def write(path, data, mode):
        with open(path, mode) as f:
            f.write(data)
            if synced:
                f.flush()
                os.fsync(f.fileno())

    start = time.perf_counter()
    for path in paths:
        with open(path, "rb") as f:
            data = f.read()
        write(path + backup_suffix, data, "xb")
        if not synced:
            write(path, data, "wb")
            continue
        temporary = path + ".tmp_synced"
        write(temporary, data, "xb")
        os.replace(temporary, path)
        folder = os.open(os.path.dirname(path), os.O_RDONLY)
        os.fsync(folder)
        os.close(folder)
    return time.perf_counter() - start


def fresh_copy(source):
    copy = os.path.join(DATA, "refactor_copy")
    shutil.rmtree(copy, ignore_errors=True)
    shutil.copytree(source, copy)
    return copy


def child(mode, source):
    copy = fresh_copy(source)
    try:
        out = subprocess.run([sys.executable, __file__, mode, copy], check=True, capture_output=True,
                             text=True).stdout
    finally:
        shutil.rmtree(copy, ignore_errors=True)
    return json.loads(out.strip().splitlines()[-1])


def folder_for(modules, lines):
    root = os.path.join(DATA, f"program_{modules}x{lines}")
    if not os.path.isdir(root):
        subprocess.run([sys.executable, os.path.join(HERE, "gen_vba_program.py"), root, "--modules",
                        str(modules), "--lines", str(lines)], check=True)
    return root


def best_of_three(mode, source):
    return min((child(mode, source) for _ in range(3)), key=lambda r: r["time"])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--modules", type=int, default=1500)
    ap.add_argument("--lines", type=int, default=1000)
    ap.add_argument("--refactor-child", help=argparse.SUPPRESS)
    ap.add_argument("--floor-child", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if args.refactor_child:
        refactor(args.refactor_child)
        return
    if args.floor_child:
        floor(args.floor_child)
        return

    times, floors, cpus = [], [], []
    for modules in (args.modules, 2 * args.modules):
        source = folder_for(modules, args.lines)
        ours = best_of_three("--refactor-child", source)
        base = best_of_three("--floor-child", source)
        if ours["rewritten"] != base["files"]:
            print(f"note: the refactoring rewrote {ours['rewritten']} of the {base['files']} modules")
        times.append(ours["time"])
        cpus.append(ours["cpu"])
        print(f"{modules} modules, {ours['lines']} lines, {ours['renames']} renames, "
              f"{ours['rewritten']} modules rewritten (answer {ours['answer']}): "
              f"refactor {ours['time']:.2f} s ({ours['cpu']:.2f} s of CPU), floor {base['time']:.2f} s with the same syncs "
              f"({base['plain']:.2f} s without), ratio to floor {ours['time'] / base['time']:.2f} "
              f"({ours['time'] / base['plain']:.2f} to the floor without syncs)")
        floors.append(base["time"])
    print(f"doubling ratio: {times[1] / times[0]:.2f} (floor: {floors[1] / floors[0]:.2f}; of the refactoring's "
          f"CPU time, which leaves out the waits for the disk: {cpus[1] / cpus[0]:.2f})")


if __name__ == "__main__":
    main()

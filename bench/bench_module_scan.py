"""Scan throughput: parse_files over a generated folder of ".bas" modules,
and the per-line tests and record construction on their own.

Usage: python bench/bench_module_scan.py [modules] [procedures per module]
"""
import contextlib
import io
import os
import sys
import tempfile
import time

from tallowby.quillon.quillon import VariableReference, VBAParser

PROCEDURE = """Public Function Measure{k}_VBT(ByVal argc As Long, argv() As String) As Long
    Dim i As Long, site As Variant
    Dim result_dbl As Double
    ' loop over the sites
    For Each site In TheExec.Sites
        result_dbl = result_dbl + Read{k}(site)
    Next site
    Measure{k}_VBT = TL_SUCCESS
End Function

"""
HEADER = """Attribute VB_Name = "Module{m}"
Option Explicit
Public g_Count{m}_lng As Long
Private m_Name{m} As String
Public Type type_Point{m}
    x As Long
End Type

"""


def write_program(root, modules, procedures):
    for m in range(modules):
        with open(os.path.join(root, f"Module{m}.bas"), "w", encoding="utf-8") as f:
            f.write(HEADER.format(m=m) + "".join(PROCEDURE.format(k=k) for k in range(procedures)))
    return modules * (HEADER.count("\n") + procedures * PROCEDURE.count("\n"))


def main(modules, procedures):
    with tempfile.TemporaryDirectory() as root:
        total = write_program(root, modules, procedures)
        p = VBAParser()
        start = time.perf_counter()
        with contextlib.redirect_stdout(io.StringIO()):
            p.parse_files(root)
        took = time.perf_counter() - start
        print(f"parse_files: {modules} modules, {total} lines in {took:.3f}s ({took / total * 1e6:.2f} us per line)")

    lines = [line.strip() for line in PROCEDURE.format(k=1).splitlines()] * 20000
    start = time.perf_counter()
    for line in lines:
        p._is_function_definition(line)
        p._is_variable_declaration(line)
    took = time.perf_counter() - start
    print(f"line tests: {len(lines)} lines in {took:.3f}s ({took / len(lines) * 1e6:.2f} us per line, call included)")

    count = 1_000_000
    start = time.perf_counter()
    refs = [VariableReference("result_dbl", "Module1.bas", k, "Measure1_VBT", "result_dbl = 0") for k in range(count)]
    took = time.perf_counter() - start
    print(f"VariableReference: {count} built in {took:.3f}s, {sys.getsizeof(refs[0])} bytes each")


if __name__ == "__main__":
    args = [int(a) for a in sys.argv[1:]]
    main(args[0] if args else 200, args[1] if len(args) > 1 else 50)

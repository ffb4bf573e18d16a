"""Writes a folder of VBA modules shaped like a tester program's code.

Usage: python bench/gen_vba_program.py OUT_DIR [--modules N] [--lines L] [--seed S]

Each module has module-level declarations (public and private variables and
constants, Types and Enums), then procedures of every kind (VBT, DSP, IP and
plain helpers, Functions and Subs) with parameters, local declarations,
reserved loop variables, comments and string literals, until it reaches about
L lines.
"""
import argparse
import os
import random

TYPES = ["Long", "Double", "String", "Boolean", "Integer", "Variant", "SiteLong", "SiteDouble",
         "SiteBoolean", "DspWave", "PinList", "PinListData", "Pattern", "CSL", "Single"]
WORDS = ["pin", "count", "value", "limit", "site", "result", "index", "volt", "curr", "meas",
         "offset", "gain", "trim", "code", "retry", "flag", "level", "data", "buf", "temp"]


def ident(rng, parts=2):
    return "".join(rng.choice(WORDS).capitalize() for _ in range(parts))


def module_text(rng, m, lines_wanted, shared_globals):
    out = []
    out.append(f'Attribute VB_Name = "Mod{m:05d}"')
    out.append("Option Explicit")
    out.append("' Module generated for benchmarks: " + ident(rng, 3))
    mod_vars = []
    for k in range(8):
        t = rng.choice(TYPES)
        name = rng.choice([f"m_{ident(rng)}_lng", ident(rng), f"m_{ident(rng)}"]) + str(k)
        mod_vars.append(name)
        out.append(f"Private {name} As {t}")
    for k in range(3):
        name = f"g_{ident(rng)}{m}_{k}"
        shared_globals.append(name)
        out.append(f"Public {name} As {rng.choice(TYPES)}")
    out.append(f"Public Const g_MAX_{m}_lng As Long = {rng.randint(1, 999)}")
    out.append(f"Private Const LIMIT{m} As Double = 1.5 ' upper limit (V)")
    out.append(f"Public Type type_Rec{m}")
    out.append("    Value As Double")
    out.append("    Name As String")
    out.append("End Type")
    out.append(f"Private Enum Color{m}")
    out.append("    Red = 1")
    out.append("    Green = 2")
    out.append("End Enum")
    out.append("")
    p = 0
    while len(out) < lines_wanted:
        kind = rng.choice(["_VBT", "_DSP", "_IP", "", ""])
        proc = f"{ident(rng)}{m}_{p}{kind}"
        p += 1
        params = []
        for q in range(rng.randint(0, 4)):
            mode = rng.choice(["ByVal ", "ByRef ", ""])
            pname = rng.choice([ident(rng), f"in_{ident(rng)}", f"out_{ident(rng).lower()}", "x"]) + str(q)
            params.append(f"{mode}{pname} As {rng.choice(TYPES)}")
        head = rng.choice(["Public Function", "Private Function", "Function", "Public Sub", "Sub"])
        ret = " As Long" if "Function" in head else ""
        out.append(f"{head} {proc}({', '.join(params)}){ret}")
        locals_ = []
        for k in range(rng.randint(2, 6)):
            t = rng.choice(TYPES)
            name = rng.choice([f"i_{ident(rng)}_dbl", ident(rng), "counter", f"{ident(rng)}_lng"]) + str(k)
            locals_.append(name)
            out.append(f"    Dim {name} As {t}")
        out.append("    Dim i As Long, site As Variant")
        body = rng.randint(15, 40)
        for _ in range(body):
            a = rng.choice(locals_ + mod_vars + shared_globals[-6:])
            b = rng.choice(locals_ + mod_vars)
            r = rng.random()
            if r < 0.15:
                out.append(f"    ' check {a} against {b} before the next step")
            elif r < 0.3:
                out.append(f'    TheExec.Datalog.WriteComment "{a} = " & CStr({a})')
            elif r < 0.45:
                out.append(f"    For i = 0 To {rng.randint(1, 64)}: {a} = {a} + {b} * i: Next i")
            elif r < 0.55:
                out.append(f"    If {a} > g_MAX_{m}_lng Then {b} = LIMIT{m}")
            elif r < 0.6:
                out.append(f"    Dim rec As type_Rec{m}")
            elif r < 0.65:
                out.append(f"    For Each site In TheExec.Sites: {a}(site) = {b}: Next site")
            else:
                out.append(f"    {a} = {b} + {rng.randint(0, 100)} ' adjust")
        out.append("End Function" if "Function" in head else "End Sub")
        out.append("")
    return "\n".join(out[:lines_wanted]) + "\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out")
    ap.add_argument("--modules", type=int, default=3000)
    ap.add_argument("--lines", type=int, default=1000)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    rng = random.Random(args.seed)
    shared = []
    per_folder = 500
    for m in range(args.modules):
        folder = os.path.join(args.out, f"part{m // per_folder:02d}")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, f"Mod{m:05d}.bas"), "w", encoding="utf-8", newline="\r\n") as f:
            f.write(module_text(rng, m, args.lines, shared))


if __name__ == "__main__":
    main()

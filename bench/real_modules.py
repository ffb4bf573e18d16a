"""Runs the VBA parser and its issue list over a folder of real ".bas" modules and checks the result against
an independent reading of the same modules (plain Python, written apart from the parser).

    python bench/real_modules.py [folder]

The folder defaults to ../shared/samples/vba beside the repository when it is there. Prints the counts and,
for each kind of fault, how many were found (0 expected) with a few examples. When bench/refactor_audit.py is
present, the automatic refactoring is audited on a copy of the folder as well.
"""
import contextlib
import io
import os
import re
import sys
import time

from tallowby.quillon.quillon import VBAParser

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT = os.path.normpath(os.path.join(HERE, "..", "..", "shared", "samples", "vba"))

HEADER = re.compile(r"^(?:(?:Public|Private|Friend)\s+)?(?:Static\s+)?(?:Function|Sub|Property\s+(?:Get|Let|Set))\s+"
                    r"([^\s(]+)", re.I)
DECLARATION = re.compile(r"^(Dim|Static|Const|Global|Public|Private)\s+(?:(Const)\s+)?(?:(WithEvents)\s+)?(.*)$",
                         re.I | re.S)
NOT_VARIABLES = re.compile(r"^(Declare|Event|Sub|Function|Property|Type|Enum|Static|Implements|Friend)\b", re.I)
ITEM_NAME = re.compile(r"\s*([^\W\d_]\w*)")
IDENTIFIER = re.compile(r"^[^\W\d_]\w{0,254}$")
KEYWORDS = {w.lower() for w in """And As Boolean ByRef Byte ByVal Call Case Const Currency Date Declare Dim Do Double
    Each Else ElseIf Empty End Enum Eqv Erase Event Exit False For Friend Function Get Global GoSub GoTo If Imp
    Implements In Integer Is Let Like Long LongLong LongPtr Loop LSet Me Mod New Next Not Nothing Null Object On
    Option Optional Or ParamArray Preserve Private Property Public RaiseEvent ReDim Rem Resume Return RSet Select
    Set Single Static Step Stop String Sub Then To True Type TypeOf Until Variant Wend While With WithEvents
    Xor""".split()}


def logical_lines(lines):
    """(first line number, text) of each statement line, continued lines joined."""
    out, buffer, start = [], [], 0
    for number, raw in enumerate(lines, 1):
        text = raw.strip()
        if not buffer:
            start = number
        if re.search(r"(^|\s)_$", text):
            buffer.append(text[:-1].strip())
            continue
        buffer.append(text)
        out.append((start, " ".join(buffer)))
        buffer = []
    if buffer:
        out.append((start, " ".join(buffer)))
    return out


def code_part(text):
    """The statement without its comment and without anything after a ":" statement separator."""
    out, in_string, depth = [], False, 0
    for i, c in enumerate(text):
        if in_string:
            in_string = c != '"'
        elif c == '"':
            in_string = True
        elif c == "'":
            break
        elif c == ":" and not text.startswith(":=", i):
            break
        out.append(c)
    return "".join(out)


def top_level_items(text):
    items, current, depth, in_string = [], "", 0, False
    for c in text:
        if in_string:
            in_string = c != '"'
        elif c == '"':
            in_string = True
        elif c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
        elif c == "," and depth == 0:
            items.append(current)
            current = ""
            continue
        current += c
    items.append(current)
    return items


def independent_reading(lines):
    """(procedure headers, declared names by line) of one module."""
    headers, declared = [], []
    for number, text in logical_lines(lines):
        if HEADER.match(text):
            headers.append((number, HEADER.match(text).group(1)))
            continue
        m = DECLARATION.match(text)
        if not m or NOT_VARIABLES.match(m.group(4)) or (m.group(1).lower() in ("public", "private", "global")
                                                        and m.group(4).lower().startswith(("sub ", "function "))):
            continue
        for item in top_level_items(code_part(m.group(4))):
            name = ITEM_NAME.match(item)
            if name:
                declared.append((number, name.group(1)))
    return headers, declared


def main(folder):
    parser = VBAParser()
    out = io.StringIO()
    started = time.perf_counter()
    with contextlib.redirect_stdout(out):
        parser.parse_files(folder)
    issues = parser.get_all_variable_issues()
    seconds = time.perf_counter() - started

    variables = list(parser.global_variables)
    variables += [v for vs in parser.module_variables.values() for v in vs]
    variables += [v for vs in parser.local_variables.values() for v in vs]
    definitions = list(parser.types.values()) + list(parser.enums.values())

    headers, declared = 0, set()
    for path, lines in parser.files.items():
        h, d = independent_reading(lines)
        headers += len(h)
        declared |= {(path, n, name) for n, name in d}
    recorded = {(v.file_path, v.line_number, v.name) for v in variables}

    spans = {}
    for f in parser.functions.values():
        spans.setdefault(f.file_path, []).append((f.start_line, f.end_line))

    faults = {}

    def fault(kind, example):
        faults.setdefault(kind, []).append(example)

    for v in variables:
        if not IDENTIFIER.match(v.name):
            fault("declared name is not an identifier", (v.file_path, v.line_number, v.name))
        context = parser.files[v.file_path][v.line_number - 1]
        if re.search(r"\bDeclare\b", context):
            fault("Declare statement read as a variable", (v.file_path, v.line_number, v.name))
        if v.function_name is None and any(a <= v.line_number <= b for a, b in spans.get(v.file_path, [])):
            fault("local filed as a module variable", (v.file_path, v.line_number, v.name))
    for key in sorted(declared - recorded):
        fault("declaration missed", key)
    for key in sorted(recorded - declared):
        fault("declaration not in the source", key)
    if headers != len(parser.functions):
        fault("procedures lost", (headers, len(parser.functions)))
    for f in parser.functions.values():
        if f.name == "unknown" or "\ufffd" in f.name:
            fault("procedure name unread", (f.file_path, f.start_line, f.name))
    for path, encoding in getattr(parser, "file_encodings", {}).items():
        if encoding == "utf-8-lossy":
            fault("module decoded with bytes dropped", path)

    rows = 0
    scopes = {}
    for r in variables + definitions:
        s = r.correct_name
        if not r.issue_description or s is None:
            continue
        rows += 1
        if not IDENTIFIER.match(s) or s.lower() in KEYWORDS:
            fault("suggestion is not an identifier", (r.file_path, r.line_number, r.name, s))
        if s != r.name and s.lower() == r.name.lower():
            fault("suggestion differs only in letter case", (r.file_path, r.line_number, r.name, s))
        if hasattr(r, "scope") and not isinstance(r.scope, str):
            group = ("global",) if r.scope.value == "global" else (r.file_path, r.function_name)
        else:
            group = ("definitions",)
        given = scopes.setdefault(group, {})
        owner = given.setdefault(s.lower(), r.name.lower())
        if owner != r.name.lower():
            fault("two names of one scope get one suggestion", (r.file_path, r.line_number, r.name, s))
    parameter_rows = sum(1 for f in parser.functions.values() for t in f.issues if "建议改为:" in t)

    print(f"folder: {folder}")
    print(f"modules: {len(parser.files)} ({', '.join(f'{e} {n}' for e, n in count(getattr(parser, 'file_encodings', {})).items())})")
    print(f"procedures: {len(parser.functions)} (independent header count {headers})")
    print(f"declarations read: {len(variables)} (independent count {len(declared)}); "
          f"Type/Enum definitions: {len(definitions)}")
    print(f"suggestion rows: {rows} variables and definitions, {parameter_rows} parameters; "
          f"issue rows: {sum(len(v) for v in issues.values())}")
    print(f"parse and issue list: {seconds:.2f} s")
    kinds = ["declared name is not an identifier", "Declare statement read as a variable",
             "local filed as a module variable", "declaration missed", "declaration not in the source",
             "procedures lost", "procedure name unread", "module decoded with bytes dropped",
             "suggestion is not an identifier", "suggestion differs only in letter case",
             "two names of one scope get one suggestion"]
    for kind in kinds:
        found = faults.get(kind, [])
        print(f"  {kind}: {len(found)}" + (f"  e.g. {found[:3]}" if found else ""))
    return sum(len(v) for v in faults.values())


def count(mapping):
    out = {}
    for value in mapping.values():
        out[value] = out.get(value, 0) + 1
    return out


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else DEFAULT
    if not os.path.isdir(folder):
        sys.exit(f"no folder {folder}")
    total = main(folder)
    sys.path.insert(0, HERE)
    try:
        from refactor_audit import audit
    except ImportError:
        audit = None
    if audit is not None:
        counts = audit(folder)
        total += sum(counts.get(k, 0) for k in ("damaged", "backups differing", "missed uses"))
    sys.exit(1 if total else 0)

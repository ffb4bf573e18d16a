"""Audit of the automatic refactoring on a folder of real modules.

Copies the folder to a temporary one, parses the copy, runs
VBTRefactorer.refactor_all_issues on it and checks the result with a small
VBA reader of its own (written apart from the package's):

- every backup equals its module's original bytes;
- every module differs from its original only at identifier tokens renamed
  by a written change record, inside that record's scope (a code name that is
  no string, no member after "." and no named argument, or a word of a
  comment spelled as the old name), and modules not rewritten are unchanged;
- every use of a renamed name inside its scope was renamed.

    python bench/refactor_audit.py [folder]

The folder defaults to the shared samples (../shared/samples/vba from the
repository) when they are there.
"""
import contextlib
import io
import os
import re
import shutil
import sys
import tempfile

# --- reading a module ---------------------------------------------------

BOM = b"\xef\xbb\xbf"


PRIVATE_USE = re.compile("[\ue000-\uf8ff]")


def decode(data):
    """(text, how) with how "utf-8", "utf-8-sig", "gb18030" or "cp950" (Big5 bytes, which GB18030 reads
    mostly as private-use characters); None when none reads."""
    body, how = (data[3:], "utf-8-sig") if data.startswith(BOM) else (data, "utf-8")
    try:
        return body.decode("utf-8"), how
    except UnicodeDecodeError:
        pass
    try:
        text = data.decode("gb18030")
    except UnicodeDecodeError:
        return None
    if PRIVATE_USE.search(text):
        try:
            big5 = data.decode("cp950")
            if not PRIVATE_USE.search(big5):
                return big5, "cp950"
        except UnicodeDecodeError:
            pass
    return text, "gb18030"


def physical_lines(text):
    """The lines without their ends (split at CR LF, CR and LF)."""
    return re.split(r"\r\n|\r|\n", text)


BLANK = re.compile(r"[\s\ufeff]*")
GOES_ON = re.compile(r"(^|[\s\ufeff])_[\s\ufeff]*$")
PIECE = re.compile(r"""
    (?P<space>[\s\ufeff]+)
  | (?P<string>"(?:[^"]|"")*"?)
  | (?P<quote>')
  | (?P<hex>(?<!\w)&(?:[Hh][0-9A-Fa-f]+|[Oo][0-7][0-9A-Fa-f]*))
  | (?P<date>(?<!\w)\#[0-9A-Za-z \t/:,.\-]*\#)
  | (?P<bracket>\[[^\]]*\]?)
  | (?P<word>\w+)
  | (?P<assign>:=)
  | (?P<colon>:)
  | (?P<other>.)
""", re.X | re.S)
MONTH = re.compile(r"(?i)\b(jan|feb|mar|apr|may|jun|jul|aug|sep|oct|nov|dec)[a-z]*\b")
SKIPPED = re.compile(r"(?i)[\s\ufeff]*(#|(attribute|option|def(bool|byte|int|lng|lnglng|lngptr|cur|sng|dbl|dec|date|str"
                     r"|obj|var))(\s|$))")


def is_date(text):
    inner = text[1:-1]
    return bool(re.search(r"\d", inner)) and bool(re.search(r"[/:\-]", inner) or MONTH.search(inner))


class Tok:
    __slots__ = ("kind", "text", "line", "col", "role", "qual", "unit", "public")

    def __init__(self, kind, text, line, col):
        self.kind, self.text, self.line, self.col = kind, text, line, col
        self.role, self.qual, self.unit, self.public = None, None, -1, False

    @property
    def low(self):
        return self.text.lower()


class Module:
    """Tokens of one module: idents with roles, comment words, procedures."""

    def __init__(self, text, stem):
        self.lines = physical_lines(text)
        self.idents = []     # code identifier tokens
        self.comments = []   # (line, col, word)
        self.procs = []      # [first line, last line]
        self.name = stem.lower()
        self._read()
        self.named = {}
        for t in self.idents:
            if t.role != "proc":
                t.unit = self.unit_of(t.line)
            self.named.setdefault(t.low, []).append(t)

    def unit_of(self, line):
        for k, (a, b) in enumerate(self.procs):
            if a <= line <= b:
                return k
        return -1

    def _read(self):
        stmt, first_of_line, continued, comment_goes_on = [], True, False, False
        self._block, self._open, self._body = None, None, False
        for n, s in enumerate(self.lines):
            if comment_goes_on:
                self._comment(n, 0, s)
                comment_goes_on = bool(GOES_ON.search(s))
                continue
            if not continued:
                first_of_line, self._logical = True, n
                m = SKIPPED.match(s)
                if m:
                    if m.group(2) and m.group(2).lower() == "attribute":
                        v = re.search(r'(?i)VB_Name\s*=\s*"([^"]*)"', s)
                        if v:
                            self.name = v.group(1).lower()
                    continue
            continued = False
            p = 0
            while p < len(s):
                m = PIECE.match(s, p)
                kind, text = m.lastgroup, m.group()
                if kind == "date" and not is_date(text):
                    kind, text = "other", "#"
                end = p + len(text)
                if kind == "quote" or (kind == "word" and text.lower() == "rem" and not stmt):
                    self._comment(n, end, s)
                    comment_goes_on = bool(GOES_ON.search(s[end:]))
                    break
                if kind == "word" and text == "_" and BLANK.fullmatch(s, end):
                    continued = True
                    break
                if kind == "colon":
                    self._statement(stmt, first_of_line, False)
                    stmt, first_of_line = [], False
                elif kind != "space":
                    t = Tok("ident" if kind == "word" and text[0].isalpha() else kind, text, n, p)
                    stmt.append(t)
                p = end
            if not continued:
                self._statement(stmt, first_of_line, True)
                stmt = []
        self._statement(stmt, first_of_line, True)
        if self._open is not None:
            self.procs[self._open][1] = len(self.lines) - 1

    def _comment(self, n, col, s):
        for m in re.finditer(r"\w+", s[col:]):
            self.comments.append((n, col + m.start(), m.group()))

    def _statement(self, t, first_of_line, end_of_line):
        if not t:
            return
        if first_of_line and t[0].kind == "word":  # a line number
            t = t[1:]
            if not t:
                return
        words = [x.low if x.kind == "ident" else None for x in t]

        def take(k, role):
            t[k].role = role
            self.idents.append(t[k])

        if first_of_line and not end_of_line and len(t) == 1 and t[0].kind == "ident":
            return take(0, "label")
        if self._block:
            if words[:2] == ["end", self._block]:
                self._block = None
            elif t[0].kind == "ident":
                take(0, "decl-member" if self._block == "enum" else "field")
            return self._expression(t)
        k = 0
        public = private = False
        while k < len(t) and words[k] in ("public", "private", "friend", "global", "static"):
            public = public or words[k] in ("public", "global", "friend")
            private = private or words[k] == "private"
            k += 1
        w = words[k] if k < len(t) else None
        nxt = words[k + 1] if k + 1 < len(t) else None
        module_level = self._open is None
        if w in ("function", "sub") or (w == "property" and nxt in ("get", "let", "set")):
            if self._open is None or self._body:
                if self._open is not None:
                    self.procs[self._open][1] = self._logical - 1
                self.procs.append([self._logical, self._logical])
                self._open, self._body = len(self.procs) - 1, False
            return self._header(t, k + (2 if w == "property" else 1), not private)
        if module_level and w in ("declare", "event"):
            j = k + 1
            if j < len(t) and words[j] == "ptrsafe":
                j += 1
            if j < len(t) and words[j] in ("function", "sub"):
                j += 1
            return self._header(t, j, not private)
        if module_level and w in ("type", "enum") and nxt is not None and t[k + 1].kind == "ident":
            take(k + 1, "decl-type")
            t[k + 1].public = not private
            self._block = w
            return self._expression(t)
        if w == "end" and nxt in ("function", "sub", "property"):
            self._expression(t)
            if self._open is not None:
                self.procs[self._open][1] = t[-1].line
            self._open = None
            return
        if self._open is not None:
            self._body = True
        if w in ("dim", "const", "withevents") or (k > 0 and w is not None and t[k].kind == "ident"):
            if w in ("dim", "const"):
                k += 1
            if k < len(t) and words[k] == "const":
                k += 1
            self._names(t, k, len(t), "decl-var", module_level and public)
            return self._expression(t)
        for j, x in enumerate(words):
            if x in ("goto", "gosub") or (x == "resume" and j + 1 < len(t) and words[j + 1] != "next"):
                l = j + 1
                while l < len(t) and t[l].kind == "ident":
                    take(l, "label")
                    if x == "resume" or not (l + 1 < len(t) and t[l + 1].text == ","):
                        break
                    l += 2
        self._expression(t)

    def _header(self, t, k, public):
        if k < len(t) and t[k].kind == "ident":
            t[k].role, t[k].public = "proc", public
            self.idents.append(t[k])
            for j in range(k + 1, len(t)):
                if t[j].text == "(":
                    depth, end = 0, j
                    while end < len(t):
                        depth += {"(": 1, ")": -1}.get(t[end].text, 0)
                        if depth == 0:
                            break
                        end += 1
                    self._names(t, j + 1, end, "decl-param", False)
                    break
                if t[j].kind == "ident" and t[j].low not in ("lib", "alias"):
                    break
        self._expression(t)

    def _names(self, t, a, b, role, public):
        depth, want = 0, True
        for j in range(a, b):
            x = t[j]
            if x.kind != "ident":
                if x.text == "(":
                    depth += 1
                elif x.text == ")":
                    depth -= 1
                elif x.text == "," and depth == 0:
                    want = True
                    continue
                if x.kind not in ("other",):
                    want = False
                continue
            if want and depth == 0:
                if x.low in ("withevents", "optional", "byval", "byref", "paramarray"):
                    continue
                x.role, x.public, want = role, public, False
                self.idents.append(x)

    def _expression(self, t):
        for j, x in enumerate(t):
            if x.kind != "ident" or x.role is not None:
                continue
            before = t[j - 1] if j else None
            if before is not None and before.text == "." or (
                    before is not None and before.text == "!" and before.line == x.line and before.col + 1 == x.col):
                x.role = "member"
                if before.text == "." and j >= 2 and t[j - 2].kind == "ident" and not (
                        j >= 3 and t[j - 3].text in (".", "!")):
                    x.qual = t[j - 2]
            elif j + 1 < len(t) and t[j + 1].kind == "assign":
                x.role = "named-arg"
            else:
                x.role = "use"
            self.idents.append(x)


# --- scopes ------------------------------------------------------------------

DECLARING = ("decl-var", "decl-param", "proc", "decl-type", "decl-member")
KIND_ROLE = {"global_variable": "decl-var", "module_variable": "decl-var", "local_variable": "decl-var",
             "type_definition": "decl-type", "enum_definition": "decl-type"}


def declared_in(module, name, unit):
    return any(t.unit == unit and t.role in DECLARING and not (t.role == "decl-param" and unit < 0)
               for t in module.named.get(name, ()))


def scope_of(kind, record, modules):
    """(scope, declaration token) of one change record. The scope maps a module
    path to ("only", procedure) or ("except", procedures left out)."""
    path, name = record["file_path"], record["original_name"].lower()
    line = record["line_number"] - 1
    candidates = [t for t in modules[path].named.get(name, ()) if t.role == KIND_ROLE[kind] and t.line >= line]
    if not candidates:
        raise LookupError(f"{path} line {line + 1}: no declaration of {record['original_name']} found")
    decl = min(candidates, key=lambda t: t.line)  # on its line, or on a continuation line of its statement
    if kind == "local_variable":
        return {path: ("only", decl.unit)}, decl
    public = kind == "global_variable" or (kind != "module_variable" and decl.public)
    scope = {}
    for p, m in modules.items():
        if p != path and (not public or declared_in(m, name, -1)):
            continue
        shadowed = {t.unit for t in m.named.get(name, ()) if t.unit >= 0 and t.role in ("decl-var", "decl-param")}
        scope[p] = ("except", shadowed)
    return scope, decl


def in_scope(scope, path, unit):
    if path not in scope:
        return False
    how, units = scope[path]
    return unit == units if how == "only" else unit not in units


# --- the audit ---------------------------------------------------------------

def _read_modules(folder):
    found = {}
    for root, _, names in os.walk(folder):
        for n in names:
            if n.lower().endswith(".bas"):
                found[os.path.relpath(os.path.join(root, n), folder)] = os.path.join(root, n)
    return found


def by_line(module):
    lines = {}
    for t in module.idents:
        lines.setdefault(t.line, []).append(t)
    for ts in lines.values():
        ts.sort(key=lambda t: t.col)
    words = {}
    for c in module.comments:
        words.setdefault(c[0], []).append(c)
    return lines, words


class Rename:
    """A written change record with its scope as this audit reads it."""

    def __init__(self, kind, record, modules):
        self.kind, self.old, self.new = kind, record["original_name"], record["new_name"]
        self.path = record["file_path"]
        self.scope, self.decl = scope_of(kind, record, modules)
        self.home_name = modules[self.path].name

    def renames(self, path, tok):
        """Whether this record renames the code token `tok` of module `path`."""
        if tok.low != self.old.lower():
            return False
        if tok.role == "member":
            return tok.qual is not None and tok.qual.role == "use" and tok.qual.low == self.home_name and (
                self.kind not in ("local_variable", "module_variable") or path == self.path)
        if not in_scope(self.scope, path, tok.unit):
            return False
        return tok.role == "use" or (path == self.path and tok.role == self.decl.role and tok.unit == self.decl.unit)

    def renames_word(self, path, module, word):
        return word[2] == self.old and in_scope(self.scope, path, module.unit_of(word[0]))


def audit(folder, out=sys.stdout):
    """Runs the automatic refactoring on a copy of `folder` and checks it. Returns the counts."""
    from tallowby.quillon.quillon import VBAParser, VBTRefactorer

    originals = {rel: open(p, "rb").read() for rel, p in sorted(_read_modules(folder).items())}
    with tempfile.TemporaryDirectory() as tmp:
        work = os.path.join(tmp, "modules")
        # Contents only: the copy is ours to write, whatever the originals' permissions.
        shutil.copytree(folder, work, copy_function=shutil.copyfile)
        for root, dirs, _ in os.walk(work):
            for d in dirs:
                os.chmod(os.path.join(root, d), 0o755)
        printed = io.StringIO()
        with contextlib.redirect_stdout(printed):
            parser = VBAParser()
            parser.parse_files(work)
            refactorer = VBTRefactorer(parser)
            answer = refactorer.refactor_all_issues()
        lines = printed.getvalue().splitlines()
        records = [(kind, r) for kind, rs in refactorer.changes_made.items() for r in rs]

        counts = {"modules": len(originals), "rewritten": 0, "renames": len(records),
                  "refused": sum(line.startswith("未应用 ") for line in lines),
                  "modules refused": sum(line.startswith("无法修改文件 ") for line in lines),
                  "damaged": 0, "backups differing": 0, "missed uses": 0, "unplaced records": 0}
        problems = [line for line in lines if line.startswith(("未应用 ", "无法修改文件 ", "备份文件失败", "写入文件失败"))]
        problems = [f"printed: {line}" for line in problems[:10]]

        before = {}
        for rel, data in originals.items():
            read = decode(data)
            if read is not None:
                before[os.path.join(work, rel)] = Module(read[0], os.path.splitext(os.path.basename(rel))[0])
        renames = {}
        for kind, r in records:
            try:
                renames.setdefault(r["original_name"].lower(), []).append(Rename(kind, r, before))
            except (LookupError, KeyError) as e:  # a record this audit cannot place is damage it cannot rule out
                counts["unplaced records"] += 1
                problems.append(f"unplaced: {e}")

        for rel, data in originals.items():
            path = os.path.join(work, rel)
            now = open(path, "rb").read()
            folder_of = os.path.dirname(path)
            backups = sorted(n for n in os.listdir(folder_of) if n.startswith(os.path.basename(path) + ".backup_"))
            for b in backups:
                if open(os.path.join(folder_of, b), "rb").read() != data:
                    counts["backups differing"] += 1
                    problems.append(f"backup differs: {rel} {b}")
            if now == data:
                continue
            counts["rewritten"] += 1
            if not backups:
                counts["backups differing"] += 1
                problems.append(f"no backup: {rel}")
            damage, missed = _compare(path, data, now, before.get(path), renames)
            if damage:
                counts["damaged"] += 1
                problems.append(f"damaged: {rel}: {damage}")
            counts["missed uses"] += len(missed)
            problems.extend(f"missed: {rel}: {m}" for m in missed)
        # A module left as it was may still hold uses that a record should have renamed.
        for path, module in before.items():
            if open(path, "rb").read() == originals[os.path.relpath(path, work)]:
                missed = [f"line {t.line + 1}: {t.text} (to {r.new})" for t in module.idents
                          for r in renames.get(t.low, ()) if r.renames(path, t) and t.text != r.new]
                counts["missed uses"] += len(missed)
                problems.extend(f"missed: {os.path.relpath(path, work)}: {m}" for m in missed)

    print(f"folder: {folder}", file=out)
    for key, value in counts.items():
        print(f"{key}: {value}", file=out)
    print(f"refactor_all_issues answered: {answer}", file=out)
    for p in problems[:40]:
        print("  " + p, file=out)
    if len(problems) > 40:
        print(f"  ... and {len(problems) - 40} more", file=out)
    return counts


def _compare(path, old_data, new_data, old_module, renames):
    """(what differs besides renamed tokens or "", uses in scope that kept the old name)."""
    old, new = decode(old_data), decode(new_data)
    if old is None or new is None or old[1] != new[1] or old_module is None:
        return "encoding changed", []
    if [m.group() for m in re.finditer(r"\r\n|\r|\n", old[0])] != [m.group() for m in re.finditer(r"\r\n|\r|\n", new[0])]:
        return "line ends changed", []
    new_module = Module(new[0], "x")
    old_idents, old_words = by_line(old_module)
    new_idents, new_words = by_line(new_module)
    missed = []
    for n, (a, b) in enumerate(zip(old_module.lines, new_module.lines)):
        oi, ni = old_idents.get(n, []), new_idents.get(n, [])
        ow, nw = old_words.get(n, []), new_words.get(n, [])
        if len(oi) != len(ni) or len(ow) != len(nw) or _outside(a, oi, ow) != _outside(b, ni, nw):
            return f"line {n + 1}: more than names changed: {a!r} -> {b!r}", missed
        for x, y in zip(oi, ni):
            wanted = [r.new for r in renames.get(x.low, ()) if r.renames(path, x)]
            if x.text != y.text and y.text not in wanted:
                return f"line {n + 1}: {x.text} -> {y.text} ({x.role}) renamed by no record in scope", missed
            if x.text == y.text and wanted and x.text not in wanted:
                missed.append(f"line {n + 1}: {x.text} (to {wanted[0]})")
        for x, y in zip(ow, nw):
            if x[2] != y[2] and not any(r.new == y[2] and r.renames_word(path, old_module, x)
                                        for r in renames.get(x[2].lower(), ())):
                return f"line {n + 1}: comment word {x[2]} -> {y[2]} renamed by no record in scope", missed
    return "", missed


def _outside(line, idents, words):
    """The line with every identifier and comment word taken out."""
    spans = sorted([(t.col, t.col + len(t.text)) for t in idents] + [(w[1], w[1] + len(w[2])) for w in words])
    parts, at = [], 0
    for a, b in spans:
        parts.append(line[at:a])
        at = b
    parts.append(line[at:])
    return parts


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.normpath(os.path.join(here, "..", "..", "shared", "samples", "vba"))
    folder = sys.argv[1] if len(sys.argv) > 1 else default
    if not os.path.isdir(folder):
        sys.exit(f"no folder of modules at {folder}")
    counts = audit(folder)
    bad = ("damaged", "backups differing", "missed uses", "unplaced records")
    sys.exit(1 if any(counts[k] for k in bad) else 0)


if __name__ == "__main__":
    main()

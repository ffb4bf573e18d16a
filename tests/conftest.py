import json
import os
import pathlib
import subprocess
import sys

import pytest


def sheet_text(rows, newline="\n"):
    """Rows of fields (lists joined by tabs) or raw lines (str) as sheet text."""
    lines = ["\t".join(r) if isinstance(r, (list, tuple)) else r for r in rows]
    return "".join(line + newline for line in lines)


@pytest.fixture
def write_sheet(tmp_path):
    """write_sheet(name, rows, newline="\\n", final_newline=True) -> path as str."""

    def write(name, rows, newline="\n", final_newline=True):
        text = sheet_text(rows, newline)
        if not final_newline and text.endswith(newline):
            text = text[: -len(newline)]
        path = tmp_path / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(text.encode("utf-8"))
        return str(path)

    return write


@pytest.fixture
def headers():
    """n header lines that the readers skip whatever they hold."""
    return lambda n: [f"header {i}\tx\ty" for i in range(n)]


class StandInTool:
    """A program named `name` placed first on PATH that records each argv and
    writes `output` (bytes) to its standard output, then exits with `status`."""

    def __init__(self, folder, name):
        self.folder = folder
        self._log = folder / "calls.jsonl"
        self._output = folder / "output.bin"
        self._status = folder / "status.txt"
        self.output = b""
        self.status = 0
        script = folder / name
        script.write_text(
            f"#!{sys.executable}\n"
            "import json, pathlib, sys\n"
            f"here = pathlib.Path({str(folder)!r})\n"
            "with open(here / 'calls.jsonl', 'a') as log:\n"
            "    log.write(json.dumps(sys.argv[1:]) + '\\n')\n"
            "sys.stdout.buffer.write((here / 'output.bin').read_bytes())\n"
            "sys.exit(int((here / 'status.txt').read_text()))\n"
        )
        script.chmod(0o755)

    @property
    def output(self):
        return self._output.read_bytes()

    @output.setter
    def output(self, data):
        self._output.write_bytes(data.encode("utf-8") if isinstance(data, str) else data)

    @property
    def status(self):
        return int(self._status.read_text())

    @status.setter
    def status(self, code):
        self._status.write_text(str(code))

    @property
    def calls(self):
        if not self._log.exists():
            return []
        return [json.loads(line) for line in self._log.read_text().splitlines()]


@pytest.fixture
def patinfo(tmp_path, monkeypatch):
    """A stand-in `patinfo` first on PATH (see StandInTool)."""
    folder = tmp_path / "tool-bin"
    folder.mkdir()
    tool = StandInTool(folder, "patinfo")
    monkeypatch.setenv("PATH", str(folder) + os.pathsep + os.environ.get("PATH", ""))
    return tool


@pytest.fixture
def vba_folder(tmp_path):
    """vba_folder({"m1.bas": text or bytes, ...}, name="prog") -> the folder as str."""

    def make(modules, name="prog"):
        folder = tmp_path / name
        folder.mkdir(parents=True, exist_ok=True)
        for file_name, text in modules.items():
            data = text if isinstance(text, bytes) else text.encode("utf-8")
            (folder / file_name).write_bytes(data)
        return str(folder)

    return make


@pytest.fixture
def review_report():
    """review_report(path, {sheet: {variable name, ...}}, heading="应用", names=True)
    edits a dry-run report as an engineer would: on every variable sheet it adds
    the confirm column and marks TRUE the rows of the named variables; with
    names, also "正确命名" (the suggested name) and "函数名" (the procedure).
    Returns the path."""
    import openpyxl

    def review(path, marks, heading="应用", names=True):
        book = openpyxl.load_workbook(path)
        for sheet in ("Global Variables", "Module Variables", "Local Variables"):
            if sheet not in book.sheetnames:
                continue
            ws = book[sheet]
            header = [c.value for c in ws[1]]
            name_col, suggested_col, function_col = (header.index(h) for h in ("变量名", "建议名称", "所在函数"))
            base = len(header)
            titles = (heading, "正确命名", "函数名") if names else (heading,)
            for col, title in enumerate(titles, start=base + 1):
                ws.cell(row=1, column=col, value=title)
            for row in range(2, ws.max_row + 1):
                values = [c.value for c in ws[row]]
                ws.cell(row=row, column=base + 1, value=values[name_col] in marks.get(sheet, ()))
                if names:
                    ws.cell(row=row, column=base + 2, value=values[suggested_col])
                    ws.cell(row=row, column=base + 3, value=values[function_col])
        book.save(path)
        return path

    return review


class SmallDisk:
    """A folder on a tmpfs of a few pages."""

    PAGE = 4096

    def __init__(self, path):
        self.path = path

    def fill(self, free_pages=0):
        """Writes a file that takes all free space but `free_pages` pages."""
        fd = os.open(self.path / "filler", os.O_WRONLY | os.O_CREAT)
        try:
            while True:
                os.write(fd, b"x" * self.PAGE)
        except OSError:
            pass
        os.ftruncate(fd, max(0, os.fstat(fd).st_size // self.PAGE - free_pages) * self.PAGE)
        os.close(fd)


@pytest.fixture
def small_disk(tmp_path):
    """small_disk(size) -> a SmallDisk of that size ("64k"), taken away after the
    test; the test is skipped where a tmpfs cannot be mounted (not root)."""
    mounted = []

    def mount(size):
        if os.geteuid() != 0:
            pytest.skip("mounting a small file system needs root")
        folder = tmp_path / f"disk{len(mounted)}"
        folder.mkdir()
        if subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(folder)]).returncode:
            pytest.skip("cannot mount a tmpfs here")
        mounted.append(folder)
        return SmallDisk(folder)

    yield mount
    for folder in mounted:
        subprocess.run(["umount", str(folder)])

import pathlib

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

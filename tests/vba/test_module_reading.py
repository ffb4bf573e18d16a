"""Module files are decoded as UTF-8 when valid (a BOM dropped), else as GB18030 when that decodes them strictly,
else as UTF-8 with undecodable bytes dropped; the text is split with universal newlines as the host's text I/O
splits it. The parser remembers each module's encoding and line ends."""
import contextlib
import gc
import io
import os
import random
import re
import sys
import warnings

import pytest

from tallowby.quillon.quillon import VBAParser


BOM = b"\xef\xbb\xbf"
PRIVATE_USE = re.compile("[\ue000-\uf8ff]")


def decoded(data):
    """(text, encoding) as the parser decodes a module's bytes."""
    try:
        return data.decode("utf-8").removeprefix("\ufeff") if data.startswith(BOM) else data.decode("utf-8"), \
            ("utf-8-sig" if data.startswith(BOM) else "utf-8")
    except UnicodeDecodeError:
        pass
    try:
        text = data.decode("gb18030")
        if PRIVATE_USE.search(text):
            try:
                big5 = data.decode("cp950")
                if not PRIVATE_USE.search(big5):
                    return big5, "cp950"
            except UnicodeDecodeError:
                pass
        return text, "gb18030"
    except UnicodeDecodeError:
        text = data.decode("utf-8", errors="ignore")
        return (text[1:] if data.startswith(BOM) else text), "utf-8-lossy"


def newlines(data):
    """The line ends of the bytes, as a text file's `newlines` reports them."""
    with io.TextIOWrapper(io.BytesIO(data), encoding="latin-1") as f:
        f.read()
        return f.newlines


def host_lines(path):
    with open(path, "rb") as f:
        text, _ = decoded(f.read())
    return io.StringIO(text, newline=None).readlines()


def parse(folder):
    """parse_files over `folder`; the parser and the printed lines. Fails on an unclosed file."""
    parser = VBAParser()
    out = io.StringIO()
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", ResourceWarning)
        with contextlib.redirect_stdout(out):
            parser.parse_files(str(folder))
        gc.collect()
    assert [str(w.message) for w in caught if issubclass(w.category, ResourceWarning)] == []
    return parser, out.getvalue().splitlines()


def assert_read_as_host(parser, paths):
    for path in paths:
        got, expected = parser.files[path], host_lines(path)
        assert type(got) is list
        assert got == expected, path
        # each line an exact str in the narrowest form the host itself gives
        assert [type(x) for x in got] == [str] * len(got)
        assert [sys.getsizeof(x) for x in got] == [sys.getsizeof(x) for x in expected], path


CASES = {
    "empty": b"",
    "only CR": b"\r",
    "only LF": b"\n",
    "one line, no end": b"Dim a As Long",
    "one line with LF": b"Dim a As Long\n",
    "one line with CR": b"Dim a As Long\r",
    "CR <bad byte> LF is one line end": b"a\r\xff\nb",
    "CR CR LF, LF, CR": b"\r\r\n\n\rx\r",
    "CR LF split by several bad bytes": b"a\r\x80\xbf\xfe\nb\r\n",
    "BOM dropped": b"\xef\xbb\xbfDim a\r\nDim b\r\n",
    "BOM dropped before bad bytes": b"\xef\xbb\xbfDim a\xff\r\n",
    "BOM alone": b"\xef\xbb\xbf",
    "characters that do not end a line": "a\u2028b\u2029c\x85d\x0be\x0cf\x1cg\x1dh\x1ei\n".encode(),
    "ASCII lines among non-ASCII": "abc\n\u00e9t\u00e9\nDim x\r\n\u4e2d\u6587\r\nz\r\U0001F600\nend".encode(),
    "ASCII lines in a latin-1 text": "Dim a\r\n\u00e9\r\nb\n\u00ff".encode(),
    "lines of only non-ASCII": "\u00e9\u00e8\n\u4e2d\r\n\U0001F600\U0001F601\r\u00a0\u3000".encode(),
    "latin-1 range beside wider characters": "\u00ff\n\u0100\n\u00ff\U00010000\n\x7f\n".encode(),
    "truncated sequence at the end": b"x\n\xe2\x82",
    "truncated four-byte sequence at the end": b"x\r\n\xf0\x9f\x98",
    "lone lead byte at the end": b"x\r\xc3",
    "only undecodable bytes": b"\xff\xfe\x80",
    "surrogates and overlong forms": b"\xed\xa0\x80a\xed\xbf\xbfb\xc0\xafc\xe0\x80\xafd\xf0\x80\x80\xafe\xf4\x90\x80\x80f\n",
    "bad bytes inside sequences": b"\xe2\x28\xa1\n\xf0\x9f\x41\x98\n\xc3\x0a\xa9",
    "legacy code page": "Dim s As String ' \u4e2d\u6587\r\nx = \"\u00e9\"\r\n".encode("gbk") + "\u00e9".encode("cp1252"),
    "GBK module": "Sub \u6d4b\u8bd5()\r\nDim \u8ba1\u6570 As Long\r\nEnd Sub\r\n".encode("gbk"),
    "GB18030 four-byte characters": "\u20ac\U0001F600 x\n".encode("gb18030"),
    "Big5 module": "Sub \u5217\u5370\u6703\u54e1\u540d\u518a()\r\n' \u8a3b\u89e3\r\nEnd Sub\r\n".encode("cp950"),
}


@pytest.mark.parametrize("data", CASES.values(), ids=CASES.keys())
def test_reads_as_host(tmp_path, data):
    path = tmp_path / "m.bas"
    path.write_bytes(data)
    parser, _ = parse(tmp_path)
    assert_read_as_host(parser, [str(path)])
    assert parser.file_encodings == {str(path): decoded(data)[1]}
    assert parser.file_newlines == {str(path): newlines(data)}


PIECES = [
    b"Dim", b" ", b"x_lng", b"As Long", b"'", b"\t", b"=", b"\"s\"",
    b"\r", b"\n", b"\r\n", b"\r\xff\n", b"\n\r",
    b"\xef\xbb\xbf",
    "\u00e9".encode(), "\u00ff".encode(), "\u0100".encode(), "\u4e2d".encode(), "\U0001F600".encode(),
    "\u2028".encode(), "\x85".encode(), b"\x0b", b"\x0c", "\u00a0".encode(), "\u3000".encode(),
    b"\xff", b"\xfe", b"\x80", b"\xbf", b"\xc0\xaf", b"\xe0\x80\xaf", b"\xf0\x80\x80\xaf",
    b"\xed\xa0\x80", b"\xed\xbf\xbf", b"\xf4\x90\x80\x80", b"\xf8\x88\x80\x80\x80",
    b"\xc3", b"\xe2\x82", b"\xf0\x9f\x98", b"\xe4",
]


def random_bytes(rng, pieces):
    return b"".join(rng.choice(PIECES) for _ in range(pieces))


def test_random_files_read_as_host(tmp_path):
    rng = random.Random(20261210)
    paths = []
    for i in range(400):
        data = random_bytes(rng, rng.choice([0, 1, 2, 5, 30, 300]))
        if i % 3 == 0:
            # mostly ASCII, the way modules are, with rare other pieces
            data = b"".join(b"Dim a_%d As Long\r\n" % j if rng.random() < 0.9 else random_bytes(rng, 3)
                            for j in range(rng.randrange(50)))
        path = tmp_path / f"m{i}.bas"
        path.write_bytes(data)
        paths.append(str(path))
    # larger than any buffer or chunk of the host's text I/O, with sequences across every boundary
    big = tmp_path / "big.bas"
    big.write_bytes(random_bytes(rng, 600_000))
    assert big.stat().st_size > 1 << 20
    paths.append(str(big))

    parser, lines = parse(tmp_path)
    assert lines[0] == f"找到 {len(paths)} 个 .bas 文件"
    assert sorted(parser.files) == sorted(paths)
    assert_read_as_host(parser, paths)


def broken_link(folder):
    path = folder / "broken.bas"
    os.symlink(folder / "missing.bas", path)
    return path


def no_permission(folder):
    if os.geteuid() == 0:
        pytest.skip("root reads every file")
    path = folder / "locked.bas"
    path.write_text("Dim a As Long\n")
    path.chmod(0)
    return path


@pytest.mark.parametrize("make", [broken_link, no_permission])
def test_unreadable_file_reports_host_error(tmp_path, make):
    bad = make(tmp_path)
    good = tmp_path / "good.bas"
    good.write_bytes(b"Dim a As Long\r\n")
    with pytest.raises(OSError) as e:
        open(bad, encoding="utf-8", errors="ignore")
    parser, lines = parse(tmp_path)
    assert f"解析文件 {bad} 时出错: {e.value}" in lines
    assert list(parser.files) == [str(good)]
    assert parser.files[str(good)] == ["Dim a As Long\n"]

"""The VBA project that the check workbook embeds, and the generator that writes it."""

import importlib.util
import pathlib
import random
import re
import zipfile

import pytest

import tallowby

REPO = pathlib.Path(__file__).resolve().parents[2]
SHIPPED = pathlib.Path(tallowby.__file__).resolve().parent / "bin" / "vbaProject.bin"
RED, BLACK = 0, 1  # colour flags of directory entries
STREAMS = [["PROJECT"], ["PROJECTwm"], ["VBA", "ThisWorkbook"], ["VBA", "_VBA_PROJECT"], ["VBA", "dir"]]


@pytest.fixture(scope="module")
def maker():
    spec = importlib.util.spec_from_file_location("make_vba_project", REPO / "tools" / "make_vba_project.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


@pytest.fixture(scope="module")
def project():
    return SHIPPED.read_bytes()


def test_shipped_file_is_what_the_generator_writes(maker, project, tmp_path):
    target = tmp_path / "out" / "vbaProject.bin"
    maker.main(["make_vba_project.py", str(target)])
    assert target.read_bytes() == project
    assert maker.vba_project() == project  # the same bytes on every run
    assert len(project) % 512 == 0 and project[:8] == bytes.fromhex("D0CF11E0A1B11AE1")


def test_compound_file_holds_the_project_streams(project):
    olefile = pytest.importorskip("olefile")
    ole = olefile.OleFileIO(project, raise_defects=olefile.DEFECT_POTENTIAL)
    assert ole.sectorsize == 512 and ole.dll_version == 3
    assert sorted(ole.listdir()) == STREAMS
    assert ole.get_type("VBA") == olefile.STGTY_STORAGE
    assert ole.openstream("VBA/_VBA_PROJECT").read()[:4] == b"\xcc\x61\xff\xff"
    assert ole.openstream("PROJECTwm").read() == b"ThisWorkbook\0" + "ThisWorkbook".encode("utf-16-le") + b"\0\0\0\0"


def test_siblings_form_a_valid_red_black_tree(project):
    olefile = pytest.importorskip("olefile")
    entries = olefile.OleFileIO(project).direntries
    key = lambda e: (len(e.name), e.name.upper())

    def walk(sid):
        """(names in order, black height), checking order and colours on the way."""
        if sid == olefile.NOSTREAM:
            return [], 1
        e = entries[sid]
        left, left_height = walk(e.sid_left)
        right, right_height = walk(e.sid_right)
        assert left_height == right_height
        if e.color == RED:
            for child in (e.sid_left, e.sid_right):
                assert child == olefile.NOSTREAM or entries[child].color == BLACK
        return left + [e] + right, left_height + (e.color == BLACK)

    storages = [e for e in entries if e is not None and e.entry_type in (olefile.STGTY_ROOT, olefile.STGTY_STORAGE)]
    assert [e.name for e in storages] == ["Root Entry", "VBA"]
    for storage in storages:
        assert entries[storage.sid_child].color == BLACK
        ordered, _ = walk(storage.sid_child)
        assert [key(e) for e in ordered] == sorted(key(e) for e in ordered)
        assert len(ordered) == 3


def _decrypt(hex_text):
    """Reverses the obfuscation of the PROJECT stream's CMG, DPB and GC values."""
    data = bytes.fromhex(hex_text)
    seed, version_enc, key_enc = data[:3]
    plain_last, enc_last, enc_before = seed ^ key_enc, key_enc, version_enc
    plain = []
    for enc in data[3:]:
        byte = enc ^ ((enc_before + plain_last) & 0xFF)
        plain.append(byte)
        plain_last, enc_last, enc_before = byte, enc, enc_last
    ignored = (seed & 6) // 2
    length = int.from_bytes(bytes(plain[ignored : ignored + 4]), "little")
    return seed ^ version_enc, seed ^ key_enc, bytes(plain[ignored + 4 :]), length


def test_project_stream_names_the_module_and_an_open_unprotected_project(project):
    olefile = pytest.importorskip("olefile")
    text = olefile.OleFileIO(project).openstream("PROJECT").read().decode("cp1252")
    assert text.endswith("\r\n") and "\n" not in text.replace("\r\n", "")
    fields = dict(re.findall(r'^(\w+)="?([^"\r]*)"?\r$', text, re.M))
    assert fields["Document"] == "ThisWorkbook/&H00000000" and fields["Name"] == "VBAProject"
    project_key = sum(fields["ID"].encode()) & 0xFF
    for name, value in [("CMG", bytes(4)), ("DPB", b"\0"), ("GC", b"\xff")]:
        version, key, data, length = _decrypt(fields[name])
        assert (version, key, data, length) == (2, project_key, value, len(value)), name


def test_olevba_reads_the_empty_workbook_module(project):
    olevba = pytest.importorskip("oletools.olevba")
    parser = olevba.VBA_Parser("vbaProject.bin", data=project, relaxed=False)
    try:
        assert parser.detect_vba_macros()
        modules = list(parser.extract_macros())
    finally:
        parser.close()
    assert [(path, name) for _, path, name, _ in modules] == [("VBA/ThisWorkbook", "ThisWorkbook.cls")]
    code = modules[0][3]
    assert 'Attribute VB_Name = "ThisWorkbook"' in code
    assert [line for line in code.splitlines() if line and not line.startswith("Attribute ")] == []


@pytest.mark.parametrize(
    "data",
    [
        b"",
        b"a",
        b"abcabcabcabc",
        b"\0" * 4096,  # one copy token reaching across the whole chunk
        b"Attribute VB_Name = x\r\n" * 500,  # repeats across several chunks
        random.Random(7).randbytes(4096 * 2) + b"tail tail tail",  # raw chunks, then a short one
        bytes(range(256)) * 40,  # long matches at far offsets
    ],
    ids=["empty", "one byte", "overlapping copy", "zeros", "text", "incompressible", "far offsets"],
)
def test_compression_round_trips(maker, data):
    olevba = pytest.importorskip("oletools.olevba")
    packed = maker.compress(data)
    assert bytes(olevba.decompress_stream(bytearray(packed))) == data


def test_incompressible_short_last_chunk_is_refused(maker):
    with pytest.raises(ValueError):
        maker.compress(random.Random(3).randbytes(4000))


def test_workbook_embeds_the_project_unchanged(project, tmp_path):
    xlsxwriter = pytest.importorskip("xlsxwriter")
    path = tmp_path / "t.xlsm"
    book = xlsxwriter.Workbook(str(path))
    book.add_worksheet().write(0, 0, "x")
    book.add_vba_project(str(SHIPPED))
    book.close()
    with zipfile.ZipFile(path) as archive:
        assert archive.read("xl/vbaProject.bin") == project
        assert b'codeName="ThisWorkbook"' in archive.read("xl/workbook.xml")

"""Time sets of one pattern file, asked of the pattern tool `patinfo`."""
import os
import re

import pytest

from tallowby.pendrel import Pendrel

MISSING = ["Error: pattern file does not exist"]


@pytest.fixture
def program(tmp_path):
    """A program folder with patterns/ holding burst/a.patx; returns the patterns folder."""
    patterns = tmp_path / "prog" / "patterns"
    (patterns / "burst").mkdir(parents=True)
    (patterns / "burst" / "a.patx").write_text("pattern")
    return patterns


def query(folder, file_path):
    parser = Pendrel()
    assert parser.read_tset_from_pattern(folder, file_path) is None
    return parser.get_pattern_tset()


def test_tool_gets_the_path_and_option_as_two_arguments(patinfo, program):
    patinfo.output = "\tTS_A  1\n"
    assert query(str(program), r".\patterns\burst\a.patx") == ["TS_A"]
    assert patinfo.calls == [[f"{program}/burst/a.patx", "-tset"]]
    assert (program / "pattern_tset.txt").read_text() == "\tTS_A  1\n"  # left in place


@pytest.mark.parametrize(
    "folder, file_path, pattern",
    [
        ("{p}", "./patterns/burst/a.patx", "{p}/burst/a.patx"),
        ("{p}/", r".\patterns\a.patx", "{p}/patterns/a.patx"),  # trailing separator keeps its last piece
        ("{p}", "a.patx", "{parent}"),  # no separator: the folder's parent
        ("{p}", "x//burst\\a.patx", "{parent}//burst/a.patx"),  # empty pieces are kept
    ],
)
def test_pattern_path(patinfo, program, folder, file_path, pattern):
    (program / "patterns").mkdir()
    (program / "patterns" / "a.patx").write_text("")
    (program.parent / "burst").mkdir()
    (program.parent / "burst" / "a.patx").write_text("")
    fill = dict(p=str(program), parent=str(program.parent))
    assert query(folder.format(**fill), file_path) == []
    assert patinfo.calls == [[pattern.format(**fill), "-tset"]]


def test_backslashes_of_the_folder_stay_in_the_output_path(patinfo, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "prog").mkdir()
    (tmp_path / "prog" / "a.patx").write_text("")
    (tmp_path / "prog\\patterns").mkdir()  # one folder whose name holds a backslash
    patinfo.output = "\tTS 1\n"
    assert query("prog\\patterns", "./a.patx") == ["TS"]
    assert patinfo.calls == [["prog/a.patx", "-tset"]]
    assert (tmp_path / "prog\\patterns/pattern_tset.txt").read_text() == "\tTS 1\n"


def test_no_folder_or_no_pattern_file_never_starts_the_tool(patinfo, program):
    parser = Pendrel()
    parser.read_tset_from_pattern("", "./patterns/burst/a.patx")
    assert parser.get_pattern_tset() == []
    parser.read_tset_from_pattern(str(program), "./patterns/burst/missing.patx")
    assert parser.get_pattern_tset() == MISSING
    parser.read_tset_from_pattern("", "./patterns/burst/a.patx")
    assert parser.get_pattern_tset() == MISSING  # an empty folder keeps the earlier answer
    assert patinfo.calls == []
    assert not (program / "pattern_tset.txt").exists()


def test_a_folder_at_the_pattern_path_counts_as_existing(patinfo, program):
    assert query(str(program), "./patterns/burst") == []
    assert patinfo.calls == [[f"{program}/burst", "-tset"]]


@pytest.mark.parametrize(
    "output, names",
    [
        ("\tTS_A  1\n\tTS_B 0\nx\ty\tTS_F 3\n", ["TS_A", "TS_B", "TS_F"]),
        ("\tTS_C   1\n\tTS_D 12\n\tTS G 1\n\tTS_E 1", []),
        ("\tTS_A 1\nother line\n\tTS_A 2\n", ["TS_A", "TS_A"]),  # duplicates kept in order
        ("\tTS_A 1\r\n\tTS_B 2\r", ["TS_A", "TS_B"]),  # any line-end convention reads as "\n"
        ("\tTS\xa0A 1\n\t\u30001\n\tT\x1cS 2\n", []),  # Unicode white space is not a name character
        ("\tTS_A \u0661\n\t\u0663\u0664 1\n\tTS\u200bB 1\n\tTS\u2028B 1\n", ["TS_A", "\u0663\u0664", "TS\u200bB"]),
        ("\t\tTS_A 1\n\tA\tB 1\n", ["TS_A", "B"]),
        ("", []),
    ],
)
def test_time_set_lines(patinfo, program, output, names):
    patinfo.output = output
    found = query(str(program), "./patterns/burst/a.patx")
    assert found == names
    with open(program / "pattern_tset.txt") as f:
        assert found == re.findall(r"\t(\S+) {1,2}\d\n", f.read())


def test_each_query_replaces_the_list_and_the_output_file(patinfo, program):
    parser = Pendrel()
    patinfo.output = "\tOLD 1\n\tOLD2 1\n" * 50
    parser.read_tset_from_pattern(str(program), "./patterns/burst/a.patx")
    first = parser.get_pattern_tset()
    patinfo.output = "\tNEW 1\n"
    parser.read_tset_from_pattern(str(program), "./patterns/burst/a.patx")
    assert parser.get_pattern_tset() == ["NEW"]
    assert parser.get_pattern_tset() is parser._Pendrel__tset_name
    assert first[:2] == ["OLD", "OLD2"]
    assert (program / "pattern_tset.txt").read_text() == "\tNEW 1\n"


def test_shell_characters_in_the_name_run_nothing(patinfo, program, monkeypatch):
    monkeypatch.chdir(program)
    name = 'a$(touch MADE)`touch MADE2`"; touch MADE3 ".patx'
    (program / "burst" / name).write_text("")
    patinfo.output = "\tTS 1\n"
    assert query(str(program), f"./patterns/burst/{name}") == ["TS"]
    assert patinfo.calls == [[f"{program}/burst/{name}", "-tset"]]
    assert sorted(p.name for p in program.iterdir()) == ["burst", "pattern_tset.txt"]


def test_missing_or_failing_tool(patinfo, program, monkeypatch):
    patinfo.output = "\tTS_A 1\n\tTS_B"  # cut short
    patinfo.status = 3
    assert query(str(program), "./patterns/burst/a.patx") == ["TS_A"]
    monkeypatch.setenv("PATH", str(program / "burst"))  # no patinfo anywhere on PATH
    assert query(str(program), "./patterns/burst/a.patx") == []
    assert (program / "pattern_tset.txt").read_bytes() == b""


@pytest.mark.parametrize(
    "prepare, error",
    [
        (lambda p: ((p / "pattern_tset.txt").unlink(), (p / "pattern_tset.txt").mkdir()), IsADirectoryError),
        (lambda p: os.rename(p, p.parent / "elsewhere"), FileNotFoundError),
    ],
)
def test_output_file_that_cannot_be_created(patinfo, tmp_path, prepare, error):
    folder = tmp_path / "patterns"
    folder.mkdir()
    (tmp_path / "a.patx").write_text("")
    parser = Pendrel()
    parser.read_tset_from_pattern(str(folder), "x/a.patx")
    before = parser.get_pattern_tset()
    prepare(folder)
    with pytest.raises(error) as info:
        parser.read_tset_from_pattern(str(folder), "x/a.patx")
    assert info.value.filename == f"{folder}/pattern_tset.txt"
    assert parser.get_pattern_tset() is before
    assert len(patinfo.calls) == 1


@pytest.mark.parametrize(
    "args, message",
    [
        ((None, "a.patx"), "Argument 'pattern_folder_path' has incorrect type (expected str, got NoneType)"),
        (("", b"a.patx"), "Argument 'pattern_file_path' has incorrect type (expected str, got bytes)"),
        ((type("Folder", (str,), {})(""), "a"), "Argument 'pattern_folder_path' has incorrect type (expected str, got Folder)"),
    ],
)
def test_arguments_are_exact_texts(args, message):
    with pytest.raises(TypeError) as info:
        Pendrel().read_tset_from_pattern(*args)
    assert str(info.value) == message


@pytest.mark.parametrize("name", ["-o x", "--help", "-"])
def test_a_pattern_path_never_reaches_the_tool_as_an_option(patinfo, tmp_path, monkeypatch, name):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "pats").mkdir()
    (tmp_path / name).write_text("")
    # a folder without separators puts the file path's pieces first
    assert query("pats", "./" + name) == []
    assert patinfo.calls == [["./" + name, "-tset"]]


@pytest.mark.parametrize("target_exists", [True, False])
def test_output_file_that_is_a_symbolic_link_is_refused(patinfo, program, tmp_path, target_exists):
    target = tmp_path / "elsewhere.txt"
    if target_exists:
        target.write_text("kept")
    (program / "pattern_tset.txt").symlink_to(target)
    parser = Pendrel()
    with pytest.raises(OSError) as info:
        parser.read_tset_from_pattern(str(program), "./patterns/burst/a.patx")
    assert info.value.filename == f"{program}/pattern_tset.txt"
    assert patinfo.calls == []
    assert (target.read_text() == "kept") if target_exists else not target.exists()

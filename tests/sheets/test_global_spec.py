import pytest

from tallowby.corvain import ParseGlobalSpec

HEAD = ["x\tversion=1.0:", "h1", "h2", "h3"]
NO_MAP = "'ParseGlobalSpec' object has no attribute '_ParseGlobalSpec__spec_dict'"


def test_rows_upper_cased_and_line_end_kept_in_a_last_value_cell(write_sheet):
    rows = HEAD + [
        ["a", "vdd", "b", "1.8*v"],
        ["a", "io", "b", "x", "note"],
        ["a", "VDD", "", "2.0", ""],
        ["a", "straße", "", "ß", ""],
    ]
    parser = ParseGlobalSpec()
    assert parser.read_spec(write_sheet("Global Specs.txt", rows), "UltraFLEXplus") is None
    specs = parser.get_info()
    assert list(specs.items()) == [("VDD", "2.0"), ("IO", "X"), ("STRASSE", "SS")]
    assert parser.get_info() is specs is parser._ParseGlobalSpec__spec_dict
    assert parser._ParseGlobalSpec__spec_version == "1.0"
    parser.read_spec(write_sheet("g.txt", ["DFF 2.5"] + HEAD[1:] + [["", "a", "", "v"]]), "J750")
    assert parser.get_info() == {"A": "V\n"}
    assert parser._ParseGlobalSpec__spec_version == "2.5"


def test_state_exists_only_after_a_read_opened_its_file(write_sheet, tmp_path):
    parser = ParseGlobalSpec()
    for get in (parser.get_info, lambda: parser._ParseGlobalSpec__spec_dict):
        with pytest.raises(AttributeError) as info:
            get()
        assert str(info.value) == NO_MAP
    assert not hasattr(parser, "_ParseGlobalSpec__spec_version")
    with pytest.raises(FileNotFoundError):
        parser.read_spec(str(tmp_path / "missing.txt"), "J750")
    with pytest.raises(AttributeError, match=NO_MAP):
        parser.get_info()
    # a read that fails at its first data row leaves the new, empty map
    with pytest.raises(IndexError, match="list index out of range"):
        parser.read_spec(write_sheet("g.txt", HEAD + [["a", "b", "c"]]), "UltraFLEX")
    assert parser.get_info() == {}


def test_each_read_makes_a_new_map(write_sheet, tmp_path):
    parser = ParseGlobalSpec()
    parser.read_spec(write_sheet("1.txt", HEAD + [["", "a", "", "1", ""], ["", "b", "", "2", ""]]), "UltraFLEX")
    first = parser.get_info()
    parser.read_spec(write_sheet("2.txt", HEAD + [["", "c", "", "3", ""]]), "UltraFLEX")
    assert first == {"A": "1", "B": "2"}
    assert parser.get_info() == {"C": "3"} and parser.get_info() is not first
    # a path that cannot be opened keeps the previous map
    second = parser.get_info()
    with pytest.raises(FileNotFoundError):
        parser.read_spec(str(tmp_path / "none.txt"), "UltraFLEX")
    assert parser.get_info() is second
    # a line 0 without a version: the map is the new, empty one, the version unchanged
    with pytest.raises(AttributeError, match="'NoneType' object has no attribute 'group'"):
        parser.read_spec(write_sheet("3.txt", ["no version"] + HEAD[1:] + [["", "d", "", "4", ""]]), "UltraFLEX")
    assert parser.get_info() == {} and second == {"C": "3"}
    assert parser._ParseGlobalSpec__spec_version == "1.0"
    # an empty file: an empty map, the version as it was; four lines: an empty map
    parser.read_spec(write_sheet("4.txt", []), "J750")
    assert parser.get_info() == {} and parser._ParseGlobalSpec__spec_version == "1.0"
    parser.read_spec(write_sheet("5.txt", ["DFF 3"] + HEAD[1:]), "J750")
    assert parser.get_info() == {} and parser._ParseGlobalSpec__spec_version == "3"


@pytest.mark.parametrize(
    "rows, stored",
    [
        (HEAD + [["", "a", "", "1", ""], ["", "b", "", "2"], ["", "c", ""], ["", "d", "", "4", ""]], ["A", "B"]),
        (HEAD + [["", "a", "", "1", ""], "", ["", "d", "", "4", ""]], ["A"]),
    ],
)
def test_short_rows_raise_index_error_keeping_rows_above(write_sheet, rows, stored):
    parser = ParseGlobalSpec()
    with pytest.raises(IndexError, match="list index out of range"):
        parser.read_spec(write_sheet("g.txt", rows), "UltraFLEX")
    assert list(parser.get_info()) == stored


def test_space_encoded_path(write_sheet, tmp_path):
    write_sheet("Global Specs.txt", HEAD + [["", "a", "", "1", ""]])
    parser = ParseGlobalSpec()
    parser.read_spec(str(tmp_path / "Global%20Specs.txt"), "UltraFLEX")
    assert parser.get_info() == {"A": "1"}


Text = type("Text", (str,), {})


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda p: p.read_spec(None, "J750"), "Argument 'spec_path' has incorrect type (expected str, got NoneType)"),
        (lambda p: p.read_spec(Text("g.txt"), "J750"), "Argument 'spec_path' has incorrect type (expected str, got Text)"),
        (lambda p: p.read_spec("g.txt", Text("J750")), "Argument 'platform' has incorrect type (expected str, got Text)"),
        (lambda p: p.read_spec("g.txt", None), "Argument 'platform' has incorrect type (expected str, got NoneType)"),
        (lambda p: p.read_spec("g.txt"), "ParseGlobalSpec.read_spec() missing 1 required positional argument: 'platform'"),
        (lambda p: p.read_spec("g", "J750", path="g"), "ParseGlobalSpec.read_spec() got an unexpected keyword argument 'path'"),
        (lambda p: p.get_info(1), "ParseGlobalSpec.get_info() takes 1 positional argument but 2 were given"),
        (lambda p: ParseGlobalSpec(1), "ParseGlobalSpec() takes no arguments"),
        (lambda p: ParseGlobalSpec(path="g"), "ParseGlobalSpec() takes no arguments"),
    ],
)
def test_argument_errors(call, message):
    parser = ParseGlobalSpec()
    with pytest.raises(TypeError) as info:
        call(parser)
    assert str(info.value) == message
    with pytest.raises(AttributeError):
        parser.get_info()

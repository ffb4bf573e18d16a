import pytest

from tallowby.quillon.quillon import FunctionInfo, TypeInfo, VariableInfo, VariableReference, VBAParser
from tallowby.quillon.quillon import FunctionType as F
from tallowby.quillon.quillon import VariableScope as S
from tallowby.quillon.quillon import VariableType as T
from tallowby.quillon.tabwick import Tabwick

from report_books import widths_of

VAR_HEADER = ["变量名", "建议名称", "问题描述", "作用域", "类型", "是否数组", "文件路径", "行号", "所在函数",
              "引用次数", "涉及文件数", "是否常量"]
TYPE_HEADER = ["名称", "建议名称", "问题描述", "类型", "作用域", "引用次数", "涉及文件数", "文件路径", "行号"]
PARAM_HEADER = ["参数名", "建议名称", "问题描述", "函数名", "函数类型", "类型", "文件路径", "行号", "所在函数"]


def var(name, scope=S.GLOBAL, function_name=None, **kw):
    v = VariableInfo(name, name, scope, kw.pop("var_type", T.LONG), kw.pop("is_array", False),
                     kw.pop("file_path", "a.bas"), kw.pop("line_number", 3), function_name, **kw)
    return v


def refs(*uses):
    """{name: [VariableReference ...]} from (name, file, function) triples."""
    out = {}
    for k, (name, file, function) in enumerate(uses):
        out.setdefault(name, []).append(VariableReference(name, file, k + 1, function, "ctx"))
    return out


# "x" three times inside Main (a.bas), twice inside Other (b.bas), once at module level of a.bas
X_USES = refs(*[("x", "a.bas", "Main")] * 3, *[("x", "b.bas", "Other")] * 2, ("y", "a.bas", None))


@pytest.mark.parametrize("variable, count, files", [
    (var("x", S.LOCAL, "Main"), 3, 2),          # own procedure only; files over every use
    (var("x", S.LOCAL, "Other"), 2, 2),
    (var("x", S.LOCAL, "Nowhere"), 0, 2),
    (var("x", S.LOCAL, ""), 5, 2),              # no procedure: every use
    (var("x", S.MODULE_PRIVATE, "Main"), 5, 2),  # not local: every use
    (var("x"), 5, 2),
    (var("z"), 0, 0),                           # never referenced
    (var("X"), 0, 0),                           # the key is exact
])
def test_reference_and_file_counts(book, variable, count, files):
    Tabwick()._write_variable_issues_sheet(book.writer, [variable], "V", X_USES)
    header, row = book.close()["V"]
    assert header == VAR_HEADER
    assert (row[9], row[10]) == (count, files)


def test_variable_rows_cells(book):
    plain = var("a")
    full = var("arr", S.LOCAL, "Main", var_type=T.PINLISTDATA, is_array=True, is_const=True,
               correct_name="Arr_pld", issue_description="bad", line_number=12)
    references = VBAParser().variable_references  # the parser's own map kind
    Tabwick()._write_variable_issues_sheet(book.writer, [plain, full], "Local Variables", references)
    assert book.close()["Local Variables"][1:] == [
        ["a", None, None, "global", "Long", "否", "a.bas", 3, None, 0, 0, "否"],
        ["arr", "Arr_pld", "bad", "local", "PinListData", "是", "a.bas", 12, "Main", 0, 0, "是"],
    ]
    assert dict(references) == {}  # only read


def test_type_rows(book):
    t = TypeInfo("Point", "Point", "Type", "m.bas", 4, scope="private", correct_name="type_Point",
                 issue_description="prefix", reference_count=4, referenced_files={"a.bas", "b.bas"})
    e = TypeInfo("enum_Ok", "enum_Ok", "Enum", "m.bas", 9)
    Tabwick()._write_type_issues_sheet(book.writer, [t, e], "Type Definitions")
    assert book.close()["Type Definitions"] == [
        TYPE_HEADER,
        ["Point", "type_Point", "prefix", "Type", "Private", 4, 2, "m.bas", 4],
        ["enum_Ok", None, None, "Enum", "Public", 0, 0, "m.bas", 9],
    ]


def test_function_parameter_rows(book):
    texts = [
        "参数 'count': VBT函数参数 'count' 应为PascalCase格式：'Count' (建议改为: 'Count')",
        "参数 'x': DSP/非VBT函数参数 'x' 必须指定ByVal或ByRef",
        "not a parameter text",
        "参数 without a quoted name (建议改为: 'Y') and more",
    ]
    run = FunctionInfo("Run", "Run", F.VBT, "m.bas", 20, 30, [], texts)
    quiet = FunctionInfo("Quiet", "Quiet", F.DSP, "m.bas", 40, 50, [], [])
    Tabwick()._write_function_issues_sheet(book.writer, {"m.bas:Quiet": quiet, "m.bas:Run": run}, "P")
    header, *rows = book.close()["P"]
    assert header == PARAM_HEADER
    assert rows == [
        ["count", "Count", "参数 'count': VBT函数参数 'count' 应为PascalCase格式：'Count'", "Run", "VBT", "函数参数",
         "m.bas", 20, "Run"],
        ["x", None, "参数 'x': DSP/非VBT函数参数 'x' 必须指定ByVal或ByRef", "Run", "VBT", "函数参数", "m.bas", 20, "Run"],
        ["Unknown", "Y", "参数 without a quoted name", "Run", "VBT", "函数参数", "m.bas", 20, "Run"],
    ]


@pytest.mark.parametrize("call", [
    lambda t, w: t._write_variable_issues_sheet(w, [], "V", {}),
    lambda t, w: t._write_type_issues_sheet(w, [], "T"),
    lambda t, w: t._write_function_issues_sheet(
        w, {"m:f": FunctionInfo("f", "f", F.VBT, "m", 1, 2, [], ["no marker here"])}, "F"),
    lambda t, w: t._write_manual_check_sheet(w, VBAParser(), "M"),
])
def test_nothing_to_list_writes_no_sheet(book, call):
    call(Tabwick(), book.writer)
    assert list(book.close()) == ["placeholder"]


def test_column_widths(book):
    long = var("v" * 60, issue_description="变量命名不符合规范")  # 9 CJK characters
    Tabwick()._write_variable_issues_sheet(book.writer, [long, var("b", line_number=123456)], "V", {})
    book.close()
    w = widths_of(book.path, "V")
    assert w["A"] == 50 and w["C"] == 11 and w["H"] == 8  # 60 -> 50; CJK count 1; "123456" beats "行号"
    assert w["K"] == 7 and w["D"] == 8  # the header "涉及文件数" decides; "global"
    assert w["I"] == 6  # empty cells count 0: the header "所在函数"


@pytest.mark.parametrize("call, message", [
    (lambda t, w: t._write_variable_issues_sheet(w, (), "V", {}),
     "Argument 'variables' has incorrect type (expected list, got tuple)"),
    (lambda t, w: t._write_variable_issues_sheet(w, [], None, {}),
     "Argument 'sheet_name' has incorrect type (expected str, got NoneType)"),
    (lambda t, w: t._write_variable_issues_sheet(w, [], "V", []),
     "Argument 'references' has incorrect type (expected dict, got list)"),
    (lambda t, w: t._write_variable_issues_sheet(w, [], "V"),
     "Tabwick._write_variable_issues_sheet() missing 1 required positional argument: 'references'"),
    (lambda t, w: t._write_type_issues_sheet(w, None, "T"),
     "Argument 'types' has incorrect type (expected list, got NoneType)"),
    (lambda t, w: t._write_function_issues_sheet(w, [], "F"),
     "Argument 'functions' has incorrect type (expected dict, got list)"),
    (lambda t, w: t._write_summary_sheet(w, VBAParser().variable_references, VBAParser()),
     "Argument 'all_issues' has incorrect type (expected dict, got VariableReferenceMap)"),
    (lambda t, w: t._write_manual_check_sheet(w, VBAParser(), b"M"),
     "Argument 'sheet_name' has incorrect type (expected str, got bytes)"),
])
def test_argument_types(book, call, message):
    with pytest.raises(TypeError) as e:
        call(Tabwick(), book.writer)
    assert str(e.value) == message
    assert list(book.close()) == ["placeholder"]


def test_records_without_fields_raise(book):
    with pytest.raises(AttributeError):
        Tabwick()._write_variable_issues_sheet(book.writer, [var("a"), object()], "V", {})
    assert list(book.close()) == ["placeholder"]  # rows built before the failure are not written


# --- Summary and manual check --------------------------------------------------------------

def parser_with(globals_=(), functions=()):
    p = VBAParser()
    p.global_variables.extend(globals_)
    for k, f in enumerate(functions):
        p.functions[f"m.bas:{k}"] = f
    return p


def test_summary_counts(book):
    p = VBAParser()
    p.global_variables.extend([var("a"), var("b")])
    p.module_variables.update({"a.bas": [var("m")], "b.bas": [var("n"), var("o")]})
    p.local_variables.update({"a.bas:F": [var("i")] * 4})
    p.types["a.bas:T"] = TypeInfo("T", "T", "Type", "a.bas", 1)
    issues = {"global_variables": [1], "module_variables": [], "local_variables": [1, 2],
              "type_definitions": [1], "enum_definitions": [], "extra": [1, 2, 3]}
    Tabwick()._write_summary_sheet(book.writer, issues, p)
    assert book.close()["Summary"] == [
        ["检查项目", "发现问题数", "总数量"],
        ["全局变量", 1, 2], ["模块变量", 0, 3], ["局部变量", 2, 4], ["Type定义", 1, 1], ["Enum定义", 0, 0],
        ["总计", 7, "N/A"],  # every list of the map
    ]


def test_manual_check_findings(book):
    g = [
        var("site", var_type=T.VARIANT),                        # the reserved name: not a finding
        var("Site", var_type=T.VARIANT, file_path="b.bas", line_number=5),
        var("k", var_type=T.VARIANT, is_const=True),            # a constant: not a finding
        var("dup", line_number=1), var("dup", file_path="b.bas", line_number=2),
        var("dup", var_type=T.VARIANT, file_path="c.bas", line_number=3),
        var("Dup"),                                             # case differs: no clash
    ]
    f = [FunctionInfo("Long61", "Long61", F.VBT, "m.bas", 10, 70, [], []),
         FunctionInfo("Long60", "Long60", F.VBT, "m.bas", 10, 69, [], [])]
    Tabwick()._write_manual_check_sheet(book.writer, parser_with(g, f), "Manual Check Required")
    assert book.close()["Manual Check Required"] == [
        ["检查类型", "文件路径", "行号", "问题描述", "建议操作"],
        ["变量类型判断", "b.bas", 5, "变量 'Site' 为Variant类型，请确认是否为正确类型", "确认变量类型，如有需要请手动更改变量声明"],
        ["变量类型判断", "c.bas", 3, "变量 'dup' 为Variant类型，请确认是否为正确类型", "确认变量类型，如有需要请手动更改变量声明"],
        ["变量名冲突", "b.bas", 2, "变量名 'dup' 可能与其他变量冲突", "检查是否存在命名冲突，考虑重命名"],
        ["变量名冲突", "c.bas", 3, "变量名 'dup' 可能与其他变量冲突", "检查是否存在命名冲突，考虑重命名"],
        ["函数长度", "m.bas", 10, "函数 'Long61' 长度为 61 行，超过建议的60行", "考虑将函数分解为更小的函数"],
    ]
    assert widths_of(book.path, "Manual Check Required")["E"] == 22  # 20 characters + 2


def test_unknown_type_is_a_variant_finding(tmp_path, book):
    (tmp_path / "m.bas").write_text("Public g_Thing As NoSuchType\n")
    p = VBAParser()
    p.parse_files(str(tmp_path))
    Tabwick()._write_manual_check_sheet(book.writer, p, "M")
    assert [r[0] for r in book.close()["M"][1:]] == ["变量类型判断"]

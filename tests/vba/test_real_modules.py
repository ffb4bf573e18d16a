"""Modules as engineers' tools export them: code pages, CR LF, conditional compilation, Property procedures,
continued lines, and suggestions an engineer can apply as they stand."""
import contextlib
import io

import pytest

from tallowby.quillon.quillon import VariableType as T
from tallowby.quillon.quillon import VBAParser

CHINESE_MODULE = """Attribute VB_Name = "测试模块"
Option Explicit
Public g_计数_lng As Long
Private m_名称 As String ' 名称

Public Function 测量_VBT(ByVal 引脚 As String, _
                         Optional ByVal 上限 As Double = 1.5) As Long
    Dim 结果 As Long, 次数%
    Static 累计 As Double
    结果 = 次数 + g_计数_lng
    测量_VBT = 结果
End Function

Private Sub 报告()
    Const 最大值 As Long = 10
    MsgBox m_名称 & "：完成"
End Sub
"""


def parse(folder):
    p = VBAParser()
    with contextlib.redirect_stdout(io.StringIO()):
        p.parse_files(str(folder))
    return p


def model(p):
    """Everything the parser read, with the module paths left out."""
    strip = lambda key: key.split(":", 1)[1] if ":" in key else ""
    variables = [(v.name, v.scope, v.var_type, v.is_array, v.line_number, v.function_name, v.is_const,
                  v.correct_name, v.issue_description)
                 for v in list(p.global_variables) + [v for vs in p.module_variables.values() for v in vs]
                 + [v for vs in p.local_variables.values() for v in vs]]
    functions = {strip(k): (f.name, f.func_type, f.start_line, f.end_line, f.parameters, f.issues)
                 for k, f in p.functions.items()}
    references = {k: [(r.line_number, r.function_name, r.context) for r in v]
                  for k, v in p.variable_references.items()}
    return variables, functions, references, [list(p.files.values())]


@pytest.mark.parametrize("encoding, expected", [("gbk", "gb18030"), ("gb18030", "gb18030"),
                                                ("utf-8-sig", "utf-8-sig")])
def test_a_module_in_a_chinese_code_page_parses_as_its_utf8_twin(tmp_path, encoding, expected):
    (tmp_path / "utf8").mkdir()
    (tmp_path / "other").mkdir()
    (tmp_path / "utf8" / "m.bas").write_bytes(CHINESE_MODULE.encode("utf-8"))
    (tmp_path / "other" / "m.bas").write_bytes(CHINESE_MODULE.encode(encoding))
    twin, other = parse(tmp_path / "utf8"), parse(tmp_path / "other")
    assert model(other) == model(twin)
    assert list(other.file_encodings.values()) == [expected]
    names = {f.name for f in other.functions.values()}
    assert names == {"测量_VBT", "报告"}
    assert [v.name for v in other.local_variables[str(tmp_path / "other" / "m.bas") + ":测量_VBT"]] == \
        ["结果", "次数", "累计"]


def test_a_cr_lf_module_parses_as_its_lf_twin(tmp_path):
    (tmp_path / "lf").mkdir()
    (tmp_path / "crlf").mkdir()
    (tmp_path / "lf" / "m.bas").write_bytes(CHINESE_MODULE.encode("utf-8"))
    (tmp_path / "crlf" / "m.bas").write_bytes(CHINESE_MODULE.replace("\n", "\r\n").encode("utf-8"))
    lf, crlf = parse(tmp_path / "lf"), parse(tmp_path / "crlf")
    assert model(crlf) == model(lf)
    assert list(lf.file_newlines.values()) == ["\n"] and list(crlf.file_newlines.values()) == ["\r\n"]


def test_references_follow_property_procedures_and_skip_continued_headers(tmp_path):
    (tmp_path / "c.bas").write_text(
        "Private m_Size_lng As Long\n"
        "Public Property Get Size() As Long\n"
        "    Size = m_Size_lng\n"
        "End Property\n"
        "m_Size_lng = 0\n"
        "Public Sub Resize(ByVal m_Size_lng As Long, _\n"
        "                  ByVal x As Long)\n"
        "    Call Resize(m_Size_lng, 1)\n"
        "End Sub\n")
    p = parse(tmp_path)
    refs = [(r.line_number, r.function_name) for r in p.variable_references["m_Size_lng"]]
    assert refs == [(3, "Size"), (5, None), (8, "Resize")]


# declaration lines of one procedure -> [(name, suggestion, issue)]
SUGGESTIONS = [
    # differs from the rule's form only in letter case: VBA takes it as the same name
    (["Dim myvalue_dbl As Double"], [("myvalue_dbl", None, None)]),
    # a name of only non-Latin letters gives no identifier: no suggestion, the row says so
    (["Dim 计数 As Long"],
     [("计数", None, "名称 '计数' 不符合命名规范，且无法自动生成合法的VBA名称，请手动命名")]),
    # two names, one suggestion: the second gets a number before its type suffix
    (["Dim pin_count As Long", "Dim PinCount As Long"],
     [("pin_count", "PinCount_lng", "变量命名不符合规范，建议使用 'PinCount_lng' 或 'i_PinCount_lng'"),
      ("PinCount", "PinCount2_lng", "变量命名不符合规范，建议使用 'PinCount_lng' 或 'i_PinCount_lng'"
                                    "（'PinCount_lng' 与同一作用域中的其他名称重复，改为建议 'PinCount2_lng'）")]),
    # a suggestion that an existing name of the scope holds
    (["Dim Count_lng As Long", "Dim count As Long"],
     [("Count_lng", None, None),
      ("count", "Count2_lng", "变量命名不符合规范，建议使用 'Count_lng' 或 'i_Count_lng'"
                              "（'Count_lng' 与同一作用域中的其他名称重复，改为建议 'Count2_lng'）")]),
    # one name declared in two branches of conditional compilation is one variable: one suggestion
    (["#If VBA7 Then", "Dim handle As Long", "#Else", "Dim Handle As Long", "#End If"],
     [("handle", "Handle_lng", "变量命名不符合规范，建议使用 'Handle_lng' 或 'i_Handle_lng'"),
      ("Handle", "Handle_lng", "变量命名不符合规范，建议使用 'Handle_lng' 或 'i_Handle_lng'")]),
]


@pytest.mark.parametrize("lines, expected", SUGGESTIONS)
def test_suggestions_are_identifiers_that_rename(tmp_path, lines, expected):
    (tmp_path / "m.bas").write_text("Sub F()\n" + "\n".join(lines) + "\nEnd Sub\n")
    p = VBAParser()
    with contextlib.redirect_stdout(io.StringIO()):
        p.parse_files(str(tmp_path))
    path = str(tmp_path / "m.bas")
    assert [(v.name, v.correct_name, v.issue_description) for v in p.local_variables[f"{path}:F"]] == expected
    listed = [v.name for v in p.get_all_variable_issues()["local_variables"]]
    assert listed == [name for name, _, issue in expected if issue]


def test_suggestions_of_different_scopes_may_agree(tmp_path):
    (tmp_path / "m.bas").write_text("Sub F()\nDim count As Long\nEnd Sub\nSub G()\nDim count As Long\nEnd Sub\n")
    p = parse(tmp_path)
    assert [v.correct_name for vs in p.local_variables.values() for v in vs] == ["Count_lng", "Count_lng"]
    assert [v.var_type for vs in p.local_variables.values() for v in vs] == [T.LONG, T.LONG]

import contextlib
import io

import pytest

from tallowby.quillon.quillon import FunctionInfo, FunctionType, TypeInfo, VariableInfo, VariableScope, VariableType
from tallowby.quillon.quillon import VBAParser


def parser_with(*functions):
    p = VBAParser()
    for k, f in enumerate(functions):
        p.functions[f"m.bas:{k}"] = f
    return p


def proc(kind, *parameters):
    return FunctionInfo("P", "P", kind, "m.bas", 1, 2, list(parameters), [])


V = FunctionType


@pytest.mark.parametrize("kind, parameters, issues", [
    (V.VBT, [], []),
    (V.IP, [("x", "Long", ""), ("in_bad_name", "Long", "")], []),
    (V.DSP, [("count", "Long", "")], ["参数 'count': DSP/非VBT函数参数 'count' 必须指定ByVal或ByRef"]),
    (V.VBT, [("in_count", "Long", "ByVal")],
     ["参数 'in_count': VBT函数参数 'in_count' 不应有前缀，应为PascalCase格式：'Count' (建议改为: 'Count')"]),
    # a suggestion that differs from the name only in letter case renames nothing: no text
    (V.OTHER, [("out_result", "Long", "ByRef"), ("in_Ok", "Long", "ByVal"), ("x", "Variant", "byval")],
     ["参数 'x': DSP/非VBT函数参数 'x' 应有in_/out_/inout_前缀，建议：'in_X' (建议改为: 'in_X')"]),
    (V.OTHER, [("inout_buf_data", "Long", "ByRef")],
     ["参数 'inout_buf_data': DSP/非VBT函数参数 'inout_buf_data' 的基础名称应为PascalCase格式：'inout_BufData' (建议改为: 'inout_BufData')"]),
    # a suggestion that is no VBA identifier is not offered
    (V.VBT, [("in_", "Long", "ByVal")],
     ["参数 'in_': VBT函数参数 'in_' 不应有前缀，应为PascalCase格式：''（无法自动生成合法的VBA名称，请手动命名）"]),
    (V.DSP, [("in_", "Long", "ByVal")],  # the suggestion equals the name: no suffix
     ["参数 'in_': DSP/非VBT函数参数 'in_' 的基础名称应为PascalCase格式：'in_'"]),
    ("VBT", [("count", "Long", "")], []),  # not a FunctionType member: no rule applies
])
def test_parameter_texts(kind, parameters, issues):
    f = proc(kind, *parameters)
    parser_with(f)._check_function_parameters()
    assert f.issues == issues


def test_pass_appends_on_every_run():
    f = proc(V.DSP, ("count", "Long", ""))
    p = parser_with(f)
    p._check_function_parameters()
    p._check_function_parameters()
    assert len(f.issues) == 2 and f.issues[0] == f.issues[1]


@pytest.mark.parametrize("entry, error, message", [
    (("a", "Long"), ValueError, "not enough values to unpack (expected 3, got 2)"),
    (5, TypeError, "cannot unpack non-iterable int object"),
    (("a", 1, ""), TypeError, "Argument 'param_type' has incorrect type (expected str, got int)"),
    ((None, "Long", ""), TypeError, "Argument 'param_name' has incorrect type (expected str, got NoneType)"),
])
def test_bad_entries_stop_the_pass(entry, error, message):
    first = proc(V.DSP, ("count", "Long", ""))
    bad = proc(V.DSP, entry)
    p = parser_with(first, bad)
    with pytest.raises(error) as e:
        p._check_function_parameters()
    assert str(e.value) == message
    assert len(first.issues) == 1  # texts appended before the failure stay


def test_parse_files_runs_parameter_pass_after_references(tmp_path):
    (tmp_path / "A.bas").write_text("Sub Run_DSP(ByVal pin As Long)\nEnd Sub\n", encoding="utf-8")
    p = VBAParser()
    with contextlib.redirect_stdout(io.StringIO()):
        p.parse_files(str(tmp_path))
    (f,) = p.functions.values()
    assert f.issues == ["参数 'pin': DSP/非VBT函数参数 'pin' 应有in_/out_/inout_前缀，建议：'in_Pin' (建议改为: 'in_Pin')"]


def variable(name, issue, scope=VariableScope.LOCAL):
    return VariableInfo(name, name, scope, VariableType.LONG, False, "m.bas", 1, None, False, name, issue)


def test_issue_list():
    p = VBAParser()
    assert p.get_all_variable_issues() == {"global_variables": [], "module_variables": [], "local_variables": [],
                                           "type_definitions": [], "enum_definitions": []}
    g1, g2 = variable("a", "bad"), variable("b", None)
    m1, m2, m3 = variable("c", ""), variable("d", "same name, still listed"), variable("e", "x")
    l1 = variable("f", "y")
    t1, t2 = TypeInfo("T", "T", "Type", "m.bas", 1, issue_description="z"), TypeInfo("U", "U", "Type", "m.bas", 2)
    e1 = TypeInfo("E", "E", "Enum", "m.bas", 3, issue_description="w")
    p.global_variables.extend([g1, g2])
    p.module_variables["m.bas"] = [m1, m2]
    p.module_variables["n.bas"] = [m3]
    p.local_variables["m.bas:F"] = [l1]
    p.types.update({"m.bas:T": t1, "m.bas:U": t2})
    p.enums["m.bas:E"] = e1
    issues = p.get_all_variable_issues()
    assert list(issues) == ["global_variables", "module_variables", "local_variables", "type_definitions",
                            "enum_definitions"]
    assert [[id(r) for r in v] for v in issues.values()] == [[id(g1)], [id(m2), id(m3)], [id(l1)], [id(t1)],
                                                             [id(e1)]]
    assert p.get_all_variable_issues()["global_variables"] is not issues["global_variables"]

import pickle
import subprocess
import sys

import pytest

from tallowby.quillon import quillon as q
from tallowby.quillon.quillon import FunctionInfo, TypeInfo, VariableInfo, VariableReference
from tallowby.quillon.quillon import FunctionType as F
from tallowby.quillon.quillon import VariableScope as S
from tallowby.quillon.quillon import VariableType as T

VAR_REQUIRED = ("x", "x", S.LOCAL, T.LONG, False, "m.bas", 7)


def test_variable_info_defaults_and_repr():
    v = VariableInfo(*VAR_REQUIRED)
    assert (v.function_name, v.is_const, v.correct_name, v.issue_description) == (None, False, None, None)
    assert repr(v) == (
        "VariableInfo(name='x', original_name='x', scope=<VariableScope.LOCAL: 'local'>, "
        "var_type=<VariableType.LONG: 'Long'>, is_array=False, file_path='m.bas', line_number=7, "
        "function_name=None, is_const=False, correct_name=None, issue_description=None)"
    )
    kw = VariableInfo(
        name="x", original_name="x", scope=S.LOCAL, var_type=T.LONG, is_array=False, file_path="m.bas",
        line_number=7, issue_description="bad",
    )
    assert kw.issue_description == "bad" and kw != v
    kw.issue_description = None
    assert kw == v


def test_type_info_post_init_sets():
    a, b = TypeInfo("P", "P", "Type", "m.bas", 1), TypeInfo("P", "P", "Type", "m.bas", 1)
    assert (a.scope, a.reference_count, a.referenced_files) == ("public", 0, set())
    assert a.referenced_files is not b.referenced_files
    mine = {"m.bas"}
    c = TypeInfo("P", "P", "Type", "m.bas", 1, referenced_files=mine)
    assert c.referenced_files is mine and mine == {"m.bas"}
    c.referenced_files = None
    c.__post_init__()
    assert c.referenced_files == set()


@pytest.mark.parametrize(
    "cls, args, message",
    [
        (VariableInfo, VAR_REQUIRED[:6], "VariableInfo.__init__() missing 1 required positional argument: 'line_number'"),
        (FunctionInfo, ("f", "f", F.VBT), "FunctionInfo.__init__() missing 5 required positional arguments: "
                                          "'file_path', 'start_line', 'end_line', 'parameters', and 'issues'"),
        (TypeInfo, ("P", "P", "Type", "m.bas"), "TypeInfo.__init__() missing 1 required positional argument: 'line_number'"),
        (VariableReference, ("v", "m.bas", 1, None, "", "surplus"),
         "VariableReference.__init__() takes from 4 to 6 positional arguments but 7 were given"),
    ],
)
def test_construction_errors(cls, args, message):
    with pytest.raises(TypeError) as e:
        cls(*args)
    assert str(e.value) == message


def test_reference_equality_and_shape():
    a = VariableReference("v", "m.bas", 3, "F", "v = 1")
    b = VariableReference(var_name="v", file_path="m.bas", line_number=3, function_name="F", context="v = 1")
    assert a == b and not (a != b)
    b.line_number = 4
    assert a != b
    assert VariableReference("v", "m.bas", 3).context == ""
    # same fields, other kind: never equal
    assert FunctionInfo("v", "m.bas", 3, None, "", 0, [], []) != VariableReference("v", "m.bas", 3, None, "")
    with pytest.raises(TypeError, match="unhashable type: 'VariableReference'"):
        hash(a)
    # compact: fixed slots, no per-record dict
    assert not hasattr(a, "__dict__")
    with pytest.raises(AttributeError):
        a.extra = 1
    assert sys.getsizeof(a) <= 96
    assert pickle.loads(pickle.dumps(a)) == a


def test_descriptions_and_module():
    docs = {VariableInfo: "变量信息", FunctionInfo: "函数信息", TypeInfo: "Type/Enum信息", VariableReference: "变量引用信息"}
    for cls, doc in docs.items():
        assert cls.__doc__ == doc
        assert cls.__module__ == "tallowby.quillon.quillon"
    assert [m.name for m in T][-4:] == ["CSL", "USERCLASS", "PINLIST", "PATTERN"]


def test_records_holding_themselves_repr():
    r = VariableReference("v", "m.bas", 1)
    r.context = r
    assert repr(r).endswith("context=...)")


LOADER = """
import sys
{setup}
from tallowby.quillon import quillon as q
print("pd", q.pd is None, getattr(q.pd, "__name__", None))
v = q.VariableInfo("x", "x", q.VariableScope.LOCAL, q.VariableType.LONG, False, "m.bas", 1)
print(v.is_const, q.VBAParser()._is_variable_declaration("Dim x As Long"), q.VBTNamingRules.RESERVED_VARS == {{"i", "j", "k", "m", "n", "site"}})
"""


def run_loader(setup):
    out = subprocess.run([sys.executable, "-c", LOADER.format(setup=setup)], capture_output=True, text=True,
                         check=True, cwd="/")
    return out.stdout


def test_load_without_pandas_warns_once():
    out = run_loader('sys.modules["pandas"] = None')
    assert out == ("警告: pandas未安装，Excel相关功能将不可用。请运行: pip install pandas openpyxl\n"
                   "pd True None\nFalse True True\n")


def test_load_with_pandas():
    assert run_loader("") == "pd False pandas\nFalse True True\n"

import random
import re
from types import SimpleNamespace

import pytest

from tallowby.quillon.quillon import FunctionType as F
from tallowby.quillon.quillon import VariableScope as S
from tallowby.quillon.quillon import VariableType as T
from tallowby.quillon.quillon import VBTNamingRules as R

L, MP, G = S.LOCAL, S.MODULE_PRIVATE, S.GLOBAL


def record(name, scope, var_type, is_array=False, is_const=False):
    return SimpleNamespace(name=name, scope=scope, var_type=var_type, is_array=is_array, is_const=is_const)


def bad(s):
    return f"变量命名不符合规范，建议使用 '{s}' 或 'i_{s}'"


VARIABLES = [
    # reserved names
    ("i", L, T.INTEGER, False, ("i", "预留变量名 'i' 必须为 Long 类型")),
    ("I", L, T.LONG, False, ("I", None)),
    ("site", L, T.LONG, False, ("site", "预留变量名 'site' 必须为 Variant 类型")),
    ("Site", L, T.VARIANT, False, ("Site", None)),
    ("k", MP, T.LONG, False, ("g_k_lng", "预留变量名 'k' 不能在 module_private 作用域使用")),
    ("n", G, T.DOUBLE, True, ("g_n_adbl", "预留变量名 'n' 不能在 global 作用域使用")),
    ("SITE", MP, T.VARIANT, False, ("g_SITE_var", "预留变量名 'SITE' 不能在 module_private 作用域使用")),
    ("m", S.CLASS_EXTERNAL, T.USERCLASS, False, ("g_m", "预留变量名 'm' 不能在 class_external 作用域使用")),
    # the Kelvin sign lower-cases to "k"; dotted capital I does not give "i"
    ("\u212a", L, T.INTEGER, False, ("\u212a", "预留变量名 '\u212a' 必须为 Long 类型")),
    ("\u0130", L, T.LONG, False, ("\u0130_lng", bad("\u0130_lng"))),
    # general rule, local
    ("counter", L, T.LONG, False, ("Counter_lng", bad("Counter_lng"))),
    ("Counter_lng", L, T.LONG, False, ("Counter_lng", None)),
    ("i_Counter_lng", L, T.LONG, False, ("i_Counter_lng", None)),
    ("myValue", L, T.DOUBLE, False, ("Myvalue_dbl", bad("Myvalue_dbl"))),
    ("pin_count", L, T.LONG, True, ("PinCount_alng", bad("PinCount_alng"))),
    ("Count_alng", L, T.LONG, False, ("Count_lng", bad("Count_lng"))),
    ("Count_alng", L, T.LONG, True, ("Count_alng", None)),
    ("m_Count_lng", L, T.LONG, False, ("MCount_lng", bad("MCount_lng"))),
    ("My_Value", L, T.VARIANT, True, ("My_Value_var", bad("My_Value_var"))),
    ("_lng", L, T.LONG, False, ("_lng", None)),
    ("Ärger_str", L, T.STRING, False, ("Ärger_str", None)),
    ("ärger", L, T.STRING, False, ("Rger_str", bad("Rger_str"))),
    # general rule, other scopes
    ("testName", G, T.STRING, False, ("g_Testname_str", "变量命名不符合规范，应为 'g_Testname_str'")),
    ("g_TestName_str", G, T.STRING, False, ("g_TestName_str", None)),
    ("m_Count_lng", G, T.LONG, False, ("g_Count_lng", "变量命名不符合规范，应为 'g_Count_lng'")),
    ("G_Name_str", G, T.STRING, False, ("g_G_Name_str", "变量命名不符合规范，应为 'g_G_Name_str'")),
    ("m_Value_str_int", MP, T.INTEGER, False, ("m_Value_int", "变量命名不符合规范，应为 'm_Value_int'")),
    ("v_Wave_DSP", S.CLASS_EXTERNAL, T.DSPWAVE, True, ("v_Wave_DSP", None)),
    # object types
    ("myPins", L, T.PINLIST, False, ("Mypins", "PinList 类型变量名 'myPins' 应为 PascalCaseStyle 格式")),
    ("i_MyPins", L, T.PINLIST, False, ("i_MyPins", None)),
    ("MyPins", L, T.PINLIST, False, ("MyPins", None)),
    ("AllPins", G, T.PINLIST, False, ("g_AllPins", "PinList 类型变量需要作用域前缀 'g_'")),
    ("obj", MP, T.USERCLASS, False, ("m_obj", "UserClass 类型变量需要作用域前缀 'm_'")),
    ("m_obj", MP, T.USERCLASS, True, ("m_obj", None)),
]


def const_issue(name, correct, rebuilt):
    wording = "应使用下划线全大写格式" if rebuilt else "应使用全大写和下划线格式"
    return f"常量名 '{name}' {wording}，建议改为：'{correct}'"


CONSTANTS = [
    ("g_MAX_COUNT_lng", G, T.LONG, False, None),
    ("m_PI_dbl", MP, T.DOUBLE, False, None),
    ("m_TIMEOUT_2S_lng", MP, T.LONG, False, None),
    ("i_LIMIT_int", L, T.INTEGER, False, None),
    ("m_VALUE2MAX", MP, T.USERCLASS, False, None),
    ("LIMIT_int", L, T.INTEGER, False, ("i_LIMIT_int", True)),
    ("MaxCount", G, T.LONG, False, ("g_MAX_COUNT_lng", True)),
    ("g_MaxCount_lng", G, T.LONG, False, ("g_MAX_COUNT_lng", True)),
    ("g_max2Count", G, T.LONG, False, ("g_MAX2_COUNT_lng", False)),
    ("g_MAX_COUNT", G, T.LONG, False, ("g_MAX_COUNT_lng", False)),
    ("g_maxCount", G, T.LONG, False, ("g_MAXCOUNT_lng", False)),
    ("g_MAX_int", G, T.LONG, False, ("g_MAX_INT_lng", False)),
    ("i_MAX_lng", L, T.LONG, True, ("i_MAX_LNG_alng", False)),
    ("m_HTTPServer_str", MP, T.STRING, False, ("m_HTTP_SERVER_str", True)),
    ("m_HTTPServer", MP, T.STRING, False, ("m_HTTPSERVER_str", False)),
    ("m_Name_var", MP, T.VARIANT, False, ("m_NAME_var", True)),
    ("m_valueMax", MP, T.PINLIST, False, ("m_VALUEMAX", True)),
    ("g_123_lng", G, T.LONG, False, ("g_123_lng", True)),
    ("i", L, T.INTEGER, False, ("i_I_int", True)),
    # full upper-case mapping of the base: 'ß' becomes 'SS'
    ("g_maß", G, T.LONG, False, ("g_MASS_lng", False)),
    # non-ASCII capitals are not all-capitals
    ("g_ÄRGER_lng", G, T.LONG, False, ("g_RGER_lng", True)),
]


@pytest.mark.parametrize("name, scope, var_type, is_array, expected", VARIABLES)
def test_variable_rule(name, scope, var_type, is_array, expected):
    rec = record(name, scope, var_type, is_array)
    assert R.get_correct_variable_name(rec) == expected
    if expected[1] is None:
        assert R.get_correct_variable_name(rec)[0] is name


@pytest.mark.parametrize("name, scope, var_type, is_array, expected", CONSTANTS)
def test_constant_rule(name, scope, var_type, is_array, expected):
    want = (name, None) if expected is None else (expected[0], const_issue(name, *expected))
    assert R.get_correct_variable_name(record(name, scope, var_type, is_array, is_const=True)) == want
    # the constant rule itself needs no is_const field
    bare = SimpleNamespace(name=name, scope=scope, var_type=var_type, is_array=is_array)
    assert R._get_correct_constant_name(bare) == want


def test_rules_leave_the_record_alone_and_tolerate_unknown_members():
    rec = record("counter", L, T.LONG)
    before = dict(vars(rec))
    R.get_correct_variable_name(rec)
    assert vars(rec) == before
    # a type without a suffix entry and a scope without a prefix entry
    assert R.get_correct_variable_name(record("X", "local", None)) == ("X", None)
    assert R.get_correct_variable_name(record("x_lng", "local", None)) == ("X", "变量命名不符合规范，应为 'X'")
    assert R.get_correct_variable_name(record("x", None, T.LONG)) == ("X_lng", "变量命名不符合规范，应为 'X_lng'")


PARAMETERS = [
    ("Count", "", F.VBT, ("Count", None)),
    ("Count", "ByVal", F.VBT, ("Count", None)),
    ("count", "ByVal", F.VBT, ("Count", "VBT函数参数 'count' 应为PascalCase格式：'Count'")),
    ("in_count", "ByVal", F.VBT, ("Count", "VBT函数参数 'in_count' 不应有前缀，应为PascalCase格式：'Count'")),
    ("inout_Data", "ByRef", F.VBT, ("Data", "VBT函数参数 'inout_Data' 不应有前缀，应为PascalCase格式：'Data'")),
    ("in_", "ByVal", F.VBT, ("", "VBT函数参数 'in_' 不应有前缀，应为PascalCase格式：''")),
    ("Größe", "", F.VBT, ("Größe", None)),
    ("count", "", F.DSP, ("count", "DSP/非VBT函数参数 'count' 必须指定ByVal或ByRef")),
    ("count", "ByVal", F.DSP, ("in_Count", "DSP/非VBT函数参数 'count' 应有in_/out_/inout_前缀，建议：'in_Count'")),
    ("Count", "ByVal", F.OTHER, ("in_Count", "DSP/非VBT函数参数 'Count' 应有in_/out_/inout_前缀，建议：'in_Count'")),
    ("in_Count", "ByVal", F.DSP, ("in_Count", None)),
    ("out_result", "ByRef", F.OTHER,
     ("out_Result", "DSP/非VBT函数参数 'out_result' 的基础名称应为PascalCase格式：'out_Result'")),
    ("inout_buf_data", "ByRef", F.DSP,
     ("inout_BufData", "DSP/非VBT函数参数 'inout_buf_data' 的基础名称应为PascalCase格式：'inout_BufData'")),
    ("in_", "ByVal", F.DSP, ("in_", "DSP/非VBT函数参数 'in_' 的基础名称应为PascalCase格式：'in_'")),
    ("In_Count", "ByVal", F.DSP, ("in_InCount", "DSP/非VBT函数参数 'In_Count' 应有in_/out_/inout_前缀，建议：'in_InCount'")),
    ("x", "", F.IP, ("x", None)),
    ("x", "", "VBT", ("x", None)),
]


@pytest.mark.parametrize("name, byval_byref, kind, expected", PARAMETERS)
def test_parameter_rule(name, byval_byref, kind, expected):
    assert R.check_function_parameter(name, "Long", byval_byref, kind) == expected


@pytest.mark.parametrize(
    "op, name, expected",
    [
        ("_to_camel_style", "my_value", "MyValue"),
        ("_to_camel_style", "MY_VALUE", "MyValue"),
        ("_to_camel_style", "myValue", "Myvalue"),
        ("_to_camel_style", "MyValue", "MyValue"),
        ("_to_camel_style", "2nd_try", "2ndTry"),
        ("_to_camel_style", "__", ""),
        ("_to_camel_style", "", ""),
        ("_to_camel_style", "straßeNr", "StraEnr"),
        ("_is_camel_style", "My_Value", True),
        ("_is_camel_style", "A", True),
        ("_is_camel_style", "myValue", False),
        ("_is_camel_style", "A-B", False),
        ("_is_camel_style", "", False),
        ("_is_camel_style", "Ⅰ_١", True),
        ("_is_camel_style", "ǅx", False),
        ("_camel_to_snake_case", "HTTPServerName", "HTTP_Server_Name"),
        ("_camel_to_snake_case", "VALUE2MAX", "VALUE2_MAX"),
        ("_camel_to_snake_case", "myValue2X", "my_Value2_X"),
        ("_camel_to_snake_case", "Ab1Cd", "Ab1_Cd"),
        ("_camel_to_snake_case", "MAX2COUNT", "MAX2_COUNT"),
        ("_camel_to_snake_case", "ABC", "ABC"),
        ("_camel_to_snake_case", "", ""),
        ("_camel_to_snake_case", "äÖ١Ü", "ä_Ö١_Ü"),
    ],
)
def test_text_operations(op, name, expected):
    assert getattr(R, op)(name) == expected


@pytest.mark.parametrize(
    "var_type, is_array, expected",
    [(T.VARIANT, True, "_var"), (T.LONG, True, "_alng"), (T.LONG, 0, "_lng"), (T.USERCLASS, True, ""),
     (T.PINLIST, False, ""), ("Long", False, "")],
)
def test_type_suffix(var_type, is_array, expected):
    assert R._get_type_suffix(var_type, is_array) == expected


def test_tables():
    assert R.RESERVED_VARS == {"i", "j", "k", "m", "n", "site"} and isinstance(R.RESERVED_VARS, set)
    assert list(R.TYPE_SUFFIXES.items()) == [
        (T.INTEGER, ("_int", "_aint")), (T.LONG, ("_lng", "_alng")), (T.SINGLE, ("_sgl", "_asgl")),
        (T.DOUBLE, ("_dbl", "_adbl")), (T.STRING, ("_str", "_astr")), (T.BOOLEAN, ("_bool", "_abool")),
        (T.VARIANT, ("_var",)), (T.SITELONG, ("_SLNG", "_aSLNG")), (T.SITEDOUBLE, ("_SDBL", "_aSDBL")),
        (T.SITEBOOLEAN, ("_SBOOL", "_aSBOOL")), (T.DSPWAVE, ("_DSP",)), (T.ENUM, ("_enum",)),
        (T.TYPE, ("_type",)), (T.PINDATA, ("_PD",)), (T.PINLISTDATA, ("_PLD",)), (T.CSL, ("_CSL",)),
        (T.PATTERN, ("_PT",)),
    ]
    assert list(R.SCOPE_PREFIXES.items()) == [
        (S.LOCAL, "i_"), (S.MODULE_PRIVATE, "m_"), (S.GLOBAL, "g_"),
        (S.CLASS_PRIVATE, "i_"), (S.CLASS_PUBLIC, "m_"), (S.CLASS_EXTERNAL, "v_"),
    ]


class Text(str):
    pass


@pytest.mark.parametrize(
    "call, argument",
    [
        (lambda v: R._is_camel_style(v), "name"),
        (lambda v: R._to_camel_style(name=v), "name"),
        (lambda v: R._camel_to_snake_case(v), "camel_str"),
        (lambda v: R.check_function_parameter(v, "Long", "ByVal", F.DSP), "param_name"),
        (lambda v: R.check_function_parameter("P", v, "ByVal", F.DSP), "param_type"),
        (lambda v: R.check_function_parameter("P", "Long", v, F.DSP), "byval_byref"),
    ],
)
@pytest.mark.parametrize("value, kind", [(None, "NoneType"), (1, "int"), (Text("x"), "Text")])
def test_text_parameters_reject_other_kinds(call, argument, value, kind):
    with pytest.raises(TypeError) as err:
        call(value)
    assert str(err.value) == f"Argument '{argument}' has incorrect type (expected str, got {kind})"


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: R._is_camel_style(), "VBTNamingRules._is_camel_style() missing 1 required positional argument: 'name'"),
        (lambda: R.get_correct_variable_name(1, 2),
         "VBTNamingRules.get_correct_variable_name() takes 1 positional argument but 2 were given"),
        (lambda: R._camel_to_snake_case(name="x"),
         "VBTNamingRules._camel_to_snake_case() got an unexpected keyword argument 'name'"),
    ],
)
def test_bad_calls(call, message):
    with pytest.raises(TypeError) as err:
        call()
    assert str(err.value) == message


# ---------------------------------------------------------------------------
# Differential check against the algorithms written out directly in Python.

def ref_is_camel(name):
    return bool(name) and name[0].isupper() and name.replace("_", "").isalnum()


def ref_to_camel(name):
    if not name:
        return ""
    if re.search(r"[^a-zA-Z0-9]", name):
        return "".join(p.capitalize() for p in re.split(r"[^a-zA-Z0-9]+", name) if p)
    return name if name[0].isupper() else name.capitalize()


def ref_snake(s):
    out = []
    for i, c in enumerate(s):
        if c.isupper() and i > 0 and (s[i - 1].islower() or s[i - 1].isdigit()
                                      or (i + 1 < len(s) and s[i + 1].islower())):
            out.append("_")
        out.append(c)
    return "".join(out)


SUFFIXES = [("_int", "_aint"), ("_lng", "_alng"), ("_sgl", "_asgl"), ("_dbl", "_adbl"), ("_str", "_astr"),
            ("_bool", "_abool"), ("_var",), ("_SLNG", "_aSLNG"), ("_SDBL", "_aSDBL"), ("_SBOOL", "_aSBOOL"),
            ("_DSP",), ("_enum",), ("_type",), ("_PD",), ("_PLD",), ("_CSL",), ("_PT",)]


def ref_strip(base):
    for entry in SUFFIXES:
        for s in entry:
            if base.endswith(s):
                base = base[: -len(s)]
                break
    return base


def ref_prefix_strip(name):
    for p in ("i_", "m_", "g_", "i_", "m_", "v_"):
        if name.startswith(p):
            return name[len(p):]
    return name


def ref_all_caps(w):
    return bool(re.match(r"^[A-Z0-9_]+$", w)) and w.isupper()


def ref_constant(n, prefix, suffix):
    if n.startswith(prefix):
        base = n[len(prefix):]
        if suffix and base.endswith(suffix):
            if ref_all_caps(base[: -len(suffix)]):
                return n, None
        elif not suffix:
            if ref_all_caps(base):
                return n, None
        else:
            correct = prefix + ref_snake(base.upper()) + suffix
            return correct, f"常量名 '{n}' 应使用全大写和下划线格式，建议改为：'{correct}'"
    correct = prefix + ref_snake(ref_to_camel(ref_strip(ref_prefix_strip(n)))).upper() + suffix
    return correct, f"常量名 '{n}' 应使用下划线全大写格式，建议改为：'{correct}'"


def ref_pascal(b):
    return b if ref_is_camel(b) else ref_to_camel(b)


def ref_local(n):
    if n.lower() in ("i", "j", "k", "m", "n"):
        return n, f"预留变量名 '{n}' 必须为 Long 类型"
    if n.lower() == "site":
        return n, f"预留变量名 '{n}' 必须为 Variant 类型"
    bare = ref_pascal(ref_strip(n[2:] if n.startswith("i_") else n)) + "_dbl"
    if n in (bare, "i_" + bare):
        return n, None
    return bare, f"变量命名不符合规范，建议使用 '{bare}' 或 'i_{bare}'"


ALPHABET = ("aZq09_-_ \n" "ÄäßİıǅǆǄ١²ⅠⅰΣσſ\u212a中ᾼ" "sAtIi")


def generated_names(count=3000, seed=20261210):
    rng = random.Random(seed)
    names = ["", "_", "i", "I", "K", "ǅ", "SITE\n", "A\n", "A\n\n", "ß", "İ"]
    for _ in range(count):
        names.append("".join(rng.choice(ALPHABET) for _ in range(rng.randint(1, 9))))
    return names


def test_text_operations_match_direct_algorithms():
    for name in generated_names():
        assert R._is_camel_style(name) == ref_is_camel(name), repr(name)
        assert R._to_camel_style(name) == ref_to_camel(name), repr(name)
        assert R._camel_to_snake_case(name) == ref_snake(name), repr(name)


def test_rules_match_direct_algorithms_on_unicode_names():
    for name in generated_names(1500, seed=7):
        for n in (name, "g_" + name, "g_" + name + "_lng"):
            rec = record(n, G, T.LONG, is_const=True)
            assert R.get_correct_variable_name(rec) == ref_constant(n, "g_", "_lng"), repr(n)
        n = "m_" + name
        assert R._get_correct_constant_name(record(n, MP, T.USERCLASS)) == ref_constant(n, "m_", ""), repr(n)
        for n in (name, "i_" + name + "_dbl"):
            assert R.get_correct_variable_name(record(n, L, T.DOUBLE)) == ref_local(n), repr(n)

import math
import subprocess
import sys

import pytest

GLOB = {"A": "2", "B": "3", "VDDCORE": "0.75"}


@pytest.fixture
def resolve(engine):
    def run(target, spec=None, glob=None, version="1.0", category="CAT", selector="TYP"):
        engine.glob_spec_dict = dict(GLOB if glob is None else glob)
        engine.spec_version = version
        return engine._Marlet__spec_calculation(target, spec or {}, category, selector)

    return run


@pytest.mark.parametrize(
    "target, expected",
    [
        ("=1.2", "1.2"),
        ("1.2==", "1.2"),
        ("=_A", "2"),
        ("_A+_A", "2+2"),
        ("_A*_A*_A", "2*2*2"),
        ("(_A)", "(2)"),
        (" _A + _B", "2+3"),
        ("=(_A+1)*_B/4", "(2+1)*3/4"),
        ("VDD_CORE", "0.75"),
        ("-_A", "-2"),
        ("X+1", "X+1"),
        ("", ""),
    ],
)
def test_global_variables_replace_their_operands(resolve, target, expected):
    assert resolve(target) == expected


def test_first_operand_replaced_once_and_later_ones_with_their_operators(resolve):
    # the first operand's search takes only the first occurrence; the others
    # are found together with their neighbouring operators
    assert resolve("_A+1+_A+_A") == "2+1+2+2"
    assert resolve("1+_A+_A") == "1+2+2"


SPEC = {
    "VDD": {"SELECTOR VAL": "TYP", "CAT TYP": "0.9", "CAT MIN": "0.8", "SELECTORS MIN": "MIN"},
    "VIO": {"SELECTOR VAL": "MIN", "CAT MIN": "_VDD*2", "SELECTORS MIN": "MIN"},
    "A": {"SELECTOR VAL": "TYP", "CAT TYP": "9"},
    "SUM": {"SELECTOR VAL": "TYP", "CAT TYP": "1+2"},
}


@pytest.mark.parametrize(
    "target, version, category, selector, expected",
    [
        ("_VDD", "1.0", "cat", "ignored", "0.9"),  # selector type from "SELECTOR VAL"
        ("_VDD", "3.0", "Cat", "min", "0.8"),  # selector type from "SELECTORS " + selector
        ("_VIO", "1.0", "CAT", "", "0.9*2"),  # a value with variables is resolved first
        ("_A", "1.0", "CAT", "", "2"),  # the global spec wins over the spec map
        ("_SUM*2", "1.0", "CAT", "", "(1+2)*2"),  # an expression goes in parentheses
        ("_SUM", "1.0", "CAT", "", "1+2"),  # unless it is the whole text
    ],
)
def test_spec_map_values_by_category_and_selector(resolve, target, version, category, selector, expected):
    assert resolve(target, SPEC, version=version, category=category, selector=selector) == expected


def test_missing_selector_in_version_3_is_logged_and_takes_the_earlier_selector_type(resolve, log):
    spec = {"P": {"SELECTORS MIN": "MIN", "CAT MIN": "1"}, "Q": {"CAT MIN": "5"}}
    assert resolve("_P+_Q", spec, glob={}, version="3.0", selector="min") == "1+5"
    assert log == ["Error: Can not parse spec variable: Q"]


def test_missing_selector_in_version_3_without_an_earlier_one_fails(resolve, log):
    spec = {"Q": {"CAT MIN": "5"}}
    with pytest.raises(Exception):
        resolve("_Q", spec, glob={}, version="3.0", selector="min")
    assert log == ["Error: Can not parse spec variable: Q"]


@pytest.mark.parametrize(
    "target, spec",
    [
        ("_NOPE", SPEC),  # no such symbol
        ("_VDD", {"VDD": {"CAT TYP": "1"}}),  # no "SELECTOR VAL"
        ("_VDD", {"VDD": {"SELECTOR VAL": "MAX"}}),  # no header for category + selector type
        ("_vdd", {"VDD": {"SELECTOR VAL": "TYP"}, "vdd": {}}),  # the value is looked up by the name as written
        ("_A+_VIO", {"VIO": {"SELECTOR VAL": "MIN", "CAT MIN": "_NOPE"}}),  # a failure inside a value
    ],
)
def test_failed_lookups_raise(resolve, log, target, spec):
    with pytest.raises(KeyError):
        resolve(target, spec, glob={"A": "1"})
    assert log == []


@pytest.mark.parametrize(
    "glob",
    [
        {"A": "_A"},
        {"A": "_B+1", "B": "2*_A"},
        # no cycle, but every level doubles the variables: 2**40 of them
        {f"L{i}": f"_L{i + 1}+_L{i + 1}" for i in range(40)} | {"L40": "1"},
    ],
)
def test_values_that_never_resolve_end_with_an_error(resolve, glob):
    with pytest.raises(RecursionError):
        resolve("_A" if "A" in glob else "_L0", glob=glob)


@pytest.mark.parametrize(
    "target, glob, expected",
    [
        ("_A*2", {"A": "1+2"}, "(1+2)*2"),
        ("2*_A", {"A": "-1"}, "2*(-1)"),  # a sign makes an expression: -1**2 is not (-1)**2
        ("_A**2", {"A": "-1"}, "(-1)**2"),
        ("(_A)", {"A": "1+2"}, "((1+2))"),
        ("_A/_B", {"A": " 1.5 ", "B": "2E-3"}, " 1.5 /2E-3"),  # single numbers as they are
        ("_A+_B", {"A": "_B*2", "B": "1-1"}, "((1-1)*2)+(1-1)"),
        ("_A*3", {"A": ""}, "()*3"),  # an empty value no longer passes for a missing term
    ],
)
def test_values_that_are_not_single_numbers_go_in_parentheses(resolve, target, glob, expected):
    assert resolve(target, glob=glob) == expected


def test_many_references_to_a_value_resolve_it_once(resolve):
    # every reference to the same value takes the resolved text from the cache;
    # 4,000 references to a value of 100 variables resolve at once
    glob = {"BIG": "+".join(["_ONE"] * 100), "ONE": "1"}
    text = resolve("*".join(["_BIG"] * 4000), glob=glob)
    assert text == "*".join(["(" + "+".join(["1"] * 100) + ")"] * 4000)


def test_resolved_texts_beyond_a_megabyte_fail_before_they_are_built():
    # 4,000 references to a 10 KB value would make a 40 MB text
    code = """
import pytest
from tallowby.marlet import Marlet
m = Marlet(".")
m.glob_spec_dict = {"BIG": "+".join(["1"] * 5000)}
m.spec_version = ""
with pytest.raises(RecursionError, match="more than 1048576 characters"):
    m._Marlet__spec_calculation("*".join(["_BIG"] * 4000), {}, "CAT", "TYP")
"""
    subprocess.run([sys.executable, "-c", code], check=True, timeout=60)


def test_spec_calculation_arguments_as_the_host_binds_them(engine):
    engine.glob_spec_dict = {"A": "1"}
    engine.spec_version = ""
    calc = engine._Marlet__spec_calculation
    assert calc(target="_A", spec_dict={}, category_name="", selector_name="") == "1"
    with pytest.raises(TypeError, match=r"^Marlet.__spec_calculation\(\) missing 1 required positional argument: 'selector_name'$"):
        calc("_A", {}, "")
    with pytest.raises(TypeError, match=r"takes 5 positional arguments but 6 were given"):
        calc("_A", {}, "", "", "")


@pytest.mark.parametrize(
    "val, expected",
    [
        (1e9, "1.000G"),
        (1.25e7, "12.500M"),
        (1000, "1.000K"),
        (999.9995, "999999.500m"),
        (5, "5000.000m"),
        (0.5, "500.000m"),
        (0.001, "1.000m"),
        (1.25e-5, "12.500u"),
        (2.5e-8, "25.000n"),
        (1e-8, "10.000n"),
        (1.0005e-9, "1.000n"),  # three decimals of the quotient's exact value (1.000499...)
        (1062.5, "1.062K"),  # exact ties to even
        (1187.5, "1.188K"),
        (1e-12, "1.000p"),
        (9.99e-13, None),
        (0, None),
        (-5, None),
        (math.nan, None),
        (10**30, "1000000000000000000000.000G"),
    ],
)
def test_add_unit(engine, val, expected):
    assert engine.add_unit(val) == expected


def test_add_unit_rejects_what_does_not_compare_with_a_number(engine):
    with pytest.raises(TypeError):
        engine.add_unit("1e-9")
    with pytest.raises(TypeError, match=r"missing 1 required positional argument: 'val'"):
        engine.add_unit()

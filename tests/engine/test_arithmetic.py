"""The evaluation of resolved spec texts gives exactly what the host's own
arithmetic gives: compared with Python on generated expressions."""
import math
import random

import pytest

from tallowby import marlet

PAT = "./patterns/a.patx"


class Recorder(marlet.Marlet):
    """An engine that keeps each evaluated number instead of showing it with a unit."""

    def add_unit(self, val):
        self.numbers.append(val)
        return "shown"


@pytest.fixture
def evaluate(tmp_path):
    """evaluate([text, ...]) -> [number, or None where the evaluation failed], in one clock pass."""
    m = Recorder(str(tmp_path))
    m.text = lambda line: None

    def run(texts):
        m.numbers = []
        m.pattern_path = str(tmp_path)
        m.cycle_mode = "Period"
        m.tset_dict = {PAT: {"T1": ""}}
        m.glob_spec_dict = {}
        m.spec_version = ""
        m.ac_spec_dict = {}
        m.tsb_dict = {"TS": {"T1": "1"}}
        m.clock_dic = {"TS": {"T1": {f"C{i}": t for i, t in enumerate(texts)}}}
        _, (clocks,) = m._Marlet__extract_per_clk(PAT, "TS", "CAT", "TYP")
        numbers = iter(m.numbers[1:])  # the first is the period
        cells = [cell.split(":", 1)[1] for cell in clocks.split(";")[:-1]]
        assert len(cells) == len(texts)
        return [None if cell.startswith("Error:") else next(numbers) for cell in cells]

    return run


def python_value(text):
    try:
        return eval(text, {"__builtins__": {}})
    except (ArithmeticError, ValueError, TypeError):  # TypeError: complex operands
        return None


def same(ours, host):
    if host is None or ours is None:
        return ours is host
    if type(ours) is not type(host):
        return False
    if isinstance(host, float) and math.isnan(host):
        return math.isnan(ours)
    return repr(ours) == repr(host)


def generated(rng, depth=0):
    """A random expression of ints (some large), reals, the six binary operators,
    unary signs and parentheses, with blanks here and there."""
    blank = lambda: rng.choice(["", "", " "])
    if depth > 3 or rng.random() < 0.3:
        kind = rng.random()
        if kind < 0.35:
            text = str(rng.randint(0, 20))
        elif kind < 0.5:
            text = str(rng.randint(10**15, 10**40))
        else:
            text = rng.choice(["1.5", ".5", "5.", "0.1", "2.5e3", "1E-3", "3e-9", "0.0", "7.25", "1e300"])
        return rng.choice(["", "", "-", "+", "--", "-+"]) + text
    op = rng.choice(["+", "-", "*", "/", "//", "%", "**"])
    left = generated(rng, depth + 1)
    # powers keep to small exponents, so that the host finishes quickly too
    right = rng.choice(["2", "3", "-1", "0.5", "(1+1)", "-2"]) if op == "**" else generated(rng, depth + 1)
    text = f"{left}{blank()}{op}{blank()}{right}"
    return f"({text})" if rng.random() < 0.4 else text


def test_generated_expressions_give_the_hosts_result(evaluate):
    rng = random.Random(13)
    texts = [generated(rng) for _ in range(3000)]
    results = evaluate(texts)
    wrong = [(t, r, python_value(t)) for t, r in zip(texts, results) if not same(r, python_value(t))]
    assert wrong == []
    assert sum(r is not None for r in results) > 1500  # most of them have a value


@pytest.mark.parametrize(
    "text, expected",
    [
        ("1/2+0.5", 1.0),
        ("3", 3),
        ("1/2", 0.5),
        ("2*1.5", 3.0),
        ("7//2", 3),
        ("-7//2", -4),
        ("7.5//2", 3.0),
        ("-7%3", 2),
        ("7%-3", -2),
        ("5.5%2", 1.5),
        ("-2**2", -4),
        ("2**-1", 0.5),
        ("2**3**2", 512),
        ("2**-3**2", 2**-9),
        ("(-2)**2", 4),
        ("10**20+1", 10**20 + 1),
        ("123456789012345678901234567890*10", 1234567890123456789012345678900),
        ("0.9*(1+5/100)", 0.9 * (1 + 5 / 100)),
        ("1e400", math.inf),
    ],
)
def test_host_results(evaluate, text, expected):
    (value,) = evaluate([text])
    assert type(value) is type(expected) and value == expected


@pytest.mark.parametrize(
    "text",
    ["1/0", "1//0", "1%0", "0.0**-1", "10.0**400", "10**400*1.5", "2 * * 3", "2**", "1 / / 2", "9**9**9", "x**2"],
)
def test_failures(evaluate, text):
    # the host fails on each of these too (the last but one it would take
    # hours over: a power of a million bits or more is refused at once)
    assert evaluate([text]) == [None]

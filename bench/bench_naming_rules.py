"""Throughput of the naming rules over a mix of declarations and parameters.

Usage: python bench/bench_naming_rules.py [count]
"""
import sys
import time
from types import SimpleNamespace

from tallowby.quillon.quillon import FunctionType as F
from tallowby.quillon.quillon import VariableScope as S
from tallowby.quillon.quillon import VariableType as T
from tallowby.quillon.quillon import VBTNamingRules as R


def main(count):
    names = ["counter", "i_Counter_lng", "m_Value_str_int", "g_TestName_str", "pin_count", "i", "myPins",
             "g_MAX_COUNT_lng", "m_HTTPServer", "Größe_dbl"]
    scopes = [S.LOCAL, S.MODULE_PRIVATE, S.GLOBAL]
    types = [T.LONG, T.STRING, T.DOUBLE, T.PINLIST, T.VARIANT]
    records = [SimpleNamespace(name=f"{names[k % 10]}{k % 7 or ''}", scope=scopes[k % 3], var_type=types[k % 5],
                               is_array=k % 4 == 0, is_const=k % 6 == 0) for k in range(count)]
    params = [(f"{['in_count', 'Count', 'out_buf_data', 'x'][k % 4]}{k % 5 or ''}", ["", "ByVal"][k % 2],
               [F.VBT, F.DSP, F.OTHER, F.IP][k % 4]) for k in range(count)]

    start = time.perf_counter()
    for rec in records:
        R.get_correct_variable_name(rec)
    mid = time.perf_counter()
    for name, how, kind in params:
        R.check_function_parameter(name, "Long", how, kind)
    end = time.perf_counter()
    print(f"variables: {count} in {mid - start:.3f}s ({(mid - start) / count * 1e6:.2f} us each)")
    print(f"parameters: {count} in {end - mid:.3f}s ({(end - mid) / count * 1e6:.2f} us each)")


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else 200_000)

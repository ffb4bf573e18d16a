"""Writes the example device into examples/device: the exported sheets of a
small mixed-signal test program (three jobs), its pattern folder and its power
order workbook. The device's VBT modules (examples/device/*.bas) are written
by hand and not touched here.

The sheets are written the way the tester software exports them: one
tab-separated text file per sheet, named after the sheet, with the sheet's own
header lines above the data. Run it again after changing the program below;
the files it writes are committed, so the example needs nothing but them.

Usage: python examples/make_device.py [target folder]
"""
import pathlib
import shutil
import struct
import sys

HERE = pathlib.Path(__file__).resolve().parent


def line(fields):
    return "\t".join(fields) + "\n"


def cells(width, pairs):
    row = [""] * width
    for index, text in pairs.items():
        row[index] = text
    return row


# ---------------------------------------------------------------------------
# Job list: three jobs. CP1 (wafer sort) and the two final-test jobs share the
# AC spec, global spec and first test-instance and pattern-set sheets; FT_ROOM
# also shares CP1's DC spec sheet, FT_HOT has its own hot levels.

JOBS = [
    # name, instance sheets, flow table, AC spec, DC spec, pattern-set sheets, comment
    ("CP1", "Test Instances", "Flow_CP", "AC Specs", "DC Specs", "PatSets", "wafer sort, 25C"),
    ("FT_ROOM", "Test Instances,Test Instances FT", "Flow_FT", "AC Specs", "DC Specs", "PatSets,PatSets_FT",
     "final test, 25C"),
    ("FT_HOT", "Test Instances,Test Instances FT", "Flow_FT", "AC Specs", "DC Specs Hot", "PatSets,PatSets_FT",
     "final test, 125C"),
]


def job_list():
    text = [
        "DTJobListSheet,version=2.0:platform=Jaguar:toprow=-1:leftcol=-1:rightcol=-1\tJob List\n",
        "\n",
        line(["", "", "", "Sheet Parameters"]),
        line(["", "Job Name", "Pin Map", "Test Instances", "Flow Table", "AC Specs", "DC Specs", "Pattern Sets",
              "Pattern Groups", "Bin Table", "Characterization", "Test Procedures", "Mixed Signal Timing",
              "Wave Definitions", "Psets", "Signals", "Port Map", "Fractional Bus", "Concurrent Sequence",
              "Comment"]),
    ]
    for name, instances, flow, ac, dc, patsets, comment in JOBS:
        text.append(line(["", name, "PinMap", instances, flow, ac, dc, patsets, "", "", "", "", "", "", "", "", "",
                          "", "", comment]))
    return "".join(text)


# ---------------------------------------------------------------------------
# Flow tables. Columns: 1 Label, 2 Enable, 3 Job, 4 Part, 5 Env, 6 Opcode,
# 7 Parameter, 8 TName, 9 TNum, 10 LoLim, 11 HiLim, 12 Scale, 13 Units,
# 14 Format, 15 Bin Pass, 16 Bin Fail, 17 Sort Pass, 18 Sort Fail, 19 Result.

FLOW_HEADER = [
    "DTFlowtableSheet,version=2.2:platform=Jaguar:toprow=-1:leftcol=-1:rightcol=-1\tFlow Table\n",
    "\n",
    line(["", "", "Flow Domain:", "", "", "", "", "", "", "", "", "", "", "", "", "Bin Number", "", "Sort Number"]),
    line(["", "Label", "Enable", "Job", "Part", "Env", "Opcode", "Parameter", "TName", "TNum", "LoLim", "HiLim",
          "Scale", "Units", "Format", "Pass", "Fail", "Pass", "Fail", "Result", "Comment"]),
]


def flow(opcode, parameter="", number="", hard="", sort="", result="", comment="", env=""):
    return cells(21, {5: env, 6: opcode, 7: parameter, 9: number, 16: hard, 18: sort, 19: result, 20: comment})


FLOWS = {
    "Flow_CP": [
        flow("Test", "Continuity", "1000", "2", "10", "Fail", "opens and shorts"),
        flow("Test", "Leakage", "1100", "3", "11", "Fail"),
        flow("call", "Flow_Power", comment="supply currents"),
        flow("Test", "Func_Main", comment="bins from the Use-Limit row below"),
        flow("Use-Limit", "", "1300", "5", "30"),
        flow("Test", "Func_Vmin_Vmax", "1310", "5", "31", "Fail"),
        flow("Test", "Scan_Stuck", "1400", "6", "40", "Fail"),
        flow("Test", "Scan_Chain_Integrity", "1410", "6", "41", "Fail", "instance not written yet"),
        flow("nop", "Func_Debug", "1900", "9", "90", "None", "engineering only"),
        flow("Test", "Leakage_Hot", "1110", "3", "12", "Fail", env="Hot", comment="hot only, not run at sort"),
        flow("set-device", "", "", "1", "1", "", "good die"),
    ],
    "Flow_FT": [
        flow("Test", "Continuity", "2000", "2", "10", "Fail"),
        flow("call", "Flow_Power"),
        flow("call", "Flow_Func"),
        flow("Test", "Scan_Stuck", "2400", "6", "40", "Fail"),
        flow("Test", "Scan_AtSpeed", "2410", "6", "42", "Fail"),
        flow("Test", "Scan_Chain_Integrity", "2420", "6", "41", "Fail"),
        flow("nop", "Func_Debug", "2900", "9", "90", "None"),
        flow("set-device", "", "", "1", "1", "", "good unit"),
    ],
    "Flow_Power": [
        flow("Test", "Idd_Static", "3000", "4", "20", "Fail"),
        flow("Test", "Idd_Standby", "3010", "4", "20", "", "same sort bin as Idd_Static"),
    ],
    "Flow_Func": [
        flow("Test", "Func_Main", "2300", "5", "30", "Fail"),
        flow("Test", "Func_AtSpeed"),
        flow("Use-Limit", "", "2320", "5", "32"),
        flow("Test", "Func_Vmin_Vmax", "2310", "5", "31", "Fail"),
    ],
}


def flow_sheet(rows):
    # the empty row after the data is what the exported sheet ends with
    return "".join(FLOW_HEADER) + "".join(line(r) for r in rows) + line([""] * 21)


# ---------------------------------------------------------------------------
# Test instances. Columns: 1 Test Name, 2 Type, 3 Name (the VBT procedure),
# 4 Called As, 5 DC Category, 6 DC Selector, 7 AC Category, 8 AC Selector,
# 9 Time Sets, 10 Edge Sets, 11 Pin Levels, 12 Mixed Signal Timing,
# 13 Overlay, 14 Arg list, 15 and on the argument values.

INSTANCE_HEADER = [
    "DTTestInstancesSheet,version=2.3:platform=Jaguar:toprow=-1:leftcol=-1:rightcol=-1\tTest Instances\n",
    "\n",
    line(["", "", "Test Procedure", "", "", "DC Specs", "", "AC Specs", "", "Sheet Parameters", "", "", "", "",
          "Other Parameters"]),
    line(["", "Test Name", "Type", "Name", "Called As", "Category", "Selector", "Category", "Selector",
          "Time Sets", "Edge Sets", "Pin Levels", "Mixed Signal Timing", "Overlay", "Arg0"] +
         [f"Arg{k}" for k in range(1, 25)] + ["Comment"]),
]


def instance(name, method, dc=("", ""), ac=("", ""), timeset="", levels="", args=(), values=()):
    row = cells(40, {1: name, 2: "VBT", 3: method, 4: "Excel Macro", 5: dc[0], 6: dc[1], 7: ac[0], 8: ac[1],
                     9: timeset, 11: levels, 14: ",".join(args)})
    for k, value in enumerate(values):
        row[15 + k] = value
    return row


INSTANCES = {
    "Test Instances": [
        instance("Continuity", "Continuity_VBT", dc=("Cont", "Typ"), levels="Levels",
                 args=("PinList", "ForceCurrent", "LowLimit", "HighLimit"),
                 values=("AllSignals", "-100e-6", "-0.9", "-0.2")),
        instance("Leakage", "Leakage_VBT", dc=("Leak", "Typ"), ac=("Func", "Typ"), timeset="Timing", levels="Levels",
                 args=("Patterns", "MeasurePins", "ForceVoltage", "HighLimit"),
                 values=("PS_Leak", "AllInputs", "1.8", "1e-6")),
        instance("Idd_Static", "IddTest_VBT", dc=("Idd", "Typ"), ac=("Func", "Typ"), timeset="Timing", levels="Levels",
                 args=("Patterns", "SupplyPins", "SettleTime", "HighLimit"),
                 values=("PS_Idd", "VDD_CORE", "0.002", "0.05")),
        instance("Idd_Standby", "IddTest_VBT", dc=("Idd_Stby", "Typ"), ac=("Func", "Typ"), timeset="Timing",
                 levels="Levels", args=("Patterns", "SupplyPins", "SettleTime", "HighLimit"),
                 values=("PS_Idd", "VDD_CORE", "0.005", "")),
        instance("Func_Main", "Functional_VBT", dc=("Func", "Typ"), ac=("Func", "Typ"), timeset="Timing",
                 levels="Levels", args=("Patterns", "StartLabel", "StopLabel", "ReportFails"),
                 values=("PS_Func", "", "", "True")),
        # two rows of one instance: the same patterns at low and at high supply
        instance("Func_Vmin_Vmax", "Functional_VBT", dc=("Func_Vmin", "Typ"), ac=("Func", "Typ"), timeset="Timing",
                 levels="Levels", args=("Patterns", "StartLabel", "StopLabel", "ReportFails"),
                 values=("PS_Func_Core", "", "", "True")),
        instance("Func_Vmin_Vmax", "Functional_VBT", dc=("Func_Vmax", "Typ"), ac=("Func", "Typ"), timeset="Timing",
                 levels="Levels", args=("Patterns", "StartLabel", "StopLabel", "ReportFails"),
                 values=("PS_Func_Core", "", "", "True")),
        instance("Scan_Stuck", "ScanTest_VBT", dc=("Func", "Typ"), ac=("Scan", "Typ"), timeset="Timing",
                 levels="Levels_Scan", args=("Patterns", "ChainCount", "FailLimit"),
                 values=("PS_Scan", "4", "100")),
        instance("Func_Debug", "Functional_VBT", dc=("Func", "Typ"), ac=("Func", "Typ"), timeset="Timing",
                 levels="Levels", args=("Patterns", "StartLabel", "StopLabel", "ReportFails"),
                 values=("PS_Func_Core", "debug_st", "", "True")),
    ],
    "Test Instances FT": [
        instance("Func_AtSpeed", "Functional_VBT", dc=("Func", "Typ"), ac=("Func_Fast", "Typ"), timeset="Timing",
                 levels="Levels", args=("Patterns", "StartLabel", "StopLabel", "ReportFails"),
                 values=("PS_AtSpeed", "", "", "True")),
        # a pattern file named directly in the arguments, not through a pattern set
        instance("Scan_AtSpeed", "ScanTest_VBT", dc=("Func", "Typ"), ac=("Scan", "Typ"), timeset="Timing",
                 levels="Levels_Scan", args=("Patterns", "ChainCount", "FailLimit"),
                 values=(r".\patterns\scan\scan_transition.pat", "4", "100")),
    ],
}


def instance_sheet(rows):
    return "".join(INSTANCE_HEADER) + "".join(line(r) for r in rows) + line([""] * 40)


# ---------------------------------------------------------------------------
# Pattern sets. Columns: 1 Pattern Set, 2 Enable, 3 Burst, 4 Group, 5 File/Group
# Name, 6 Start Label, 7 Stop Label, 8 Comment. An item names a pattern file or
# another set.

PATSET_HEADER = [
    "DTPatternSetSheet,version=2.0:platform=Jaguar:toprow=-1:leftcol=-1:rightcol=-1\tPattern Sets\n",
    line(["", "", "", "", "", "", "", "", ""]),
    line(["", "Pattern Set", "Enable", "Burst", "Group", "File/Group Name", "Start Label", "Stop Label",
          "Comment"]),
]

PATTERN_SETS = {
    "PatSets": [
        ("PS_Leak", r".\patterns\dc\leak_hiz.pat", "leakage with all inputs at high impedance"),
        ("PS_Idd", r".\patterns\dc\idd_static.pat", ""),
        ("PS_Func_Core", r".\patterns\func\func_alu.pat", ""),
        ("PS_Func_Core", r".\patterns\func\func_regfile.pat", ""),
        ("PS_Func", "PS_Func_Core", "the core set, then the memory march"),
        ("PS_Func", r".\patterns\func\func_mem_march.pat", ""),
        ("PS_Scan", r".\patterns\scan\scan_stuck_chain.pat", ""),
        ("PS_Scan", r".\patterns\scan\scan_stuck_capture.pat", ""),
    ],
    "PatSets_FT": [
        ("PS_AtSpeed", r".\patterns\func\func_alu_fast.pat", ""),
        ("PS_AtSpeed", r".\patterns\func\func_mem_fast.pat", ""),
    ],
}


def patset_sheet(rows):
    body = [line(["", name, "", "", "", item, "", "", comment]) for name, item, comment in rows]
    return "".join(PATSET_HEADER) + "".join(body) + line([""] * 9)


# ---------------------------------------------------------------------------
# Spec sheets. AC and DC specs: 1 Symbol, 2 Value, 3-4 Selector (Name, Val),
# then Typ / Min / Max per category. The selector value says which of the three
# a symbol takes. Global specs: 1 Symbol, 2 Job, 3 Value.

def spec_sheet(kind, categories, symbols):
    title = {"AC": ("DTACSpecSheet", "AC Specs"), "DC": ("DTDCSpecSheet", "DC Specs")}[kind]
    category_line = ["", "", "", "Selector", ""]
    selector_line = ["", "Symbol", "Value", "Name", "Val"]
    for category in categories:
        category_line += [category, "", ""]
        selector_line += ["Typ", "Min", "Max"]
    text = [f"{title[0]},version=2.1:platform=Jaguar:toprow=-1:leftcol=-1:rightcol=-1\t{title[1]}\n", "\n",
            line(category_line + ["Comment"]), line(selector_line + [""])]
    for symbol, values, comment in symbols:
        row = ["", symbol, "", "Typ", "Typ"]
        for category in categories:
            typ, low, high = values[category]
            row += [typ, low, high]
        text.append(line(row + [comment]))
    return "".join(text)


AC_CATEGORIES = ["Func", "Func_Fast", "Scan"]
AC_SYMBOLS = [
    ("PER_FUNC", {"Func": ("=_T_REF", "=_T_REF*0.95", "=_T_REF*1.05"),
                  "Func_Fast": ("=_T_REF/2", "=_T_REF/2*0.95", "=_T_REF/2*1.05"),
                  "Scan": ("=_T_REF", "=_T_REF", "=_T_REF")}, "main clock period"),
    ("PER_SCAN", {"Func": ("=_T_REF*5", "", ""), "Func_Fast": ("=_T_REF*5", "", ""),
                  "Scan": ("=_T_REF*5", "=_T_REF*4", "=_T_REF*8")}, "scan shift period"),
    ("PER_SLOW", {"Func": ("=_T_REF*100", "", ""), "Func_Fast": ("=_T_REF*100", "", ""),
                  "Scan": ("=_T_REF*100", "", "")}, "static patterns"),
    ("CLK_DUTY", {"Func": ("0.5", "0.45", "0.55"), "Func_Fast": ("0.5", "0.45", "0.55"),
                  "Scan": ("0.5", "0.45", "0.55")}, "clock high time over period"),
]

DC_CATEGORIES = ["Cont", "Leak", "Idd", "Idd_Stby", "Func", "Func_Vmin", "Func_Vmax"]


def dc_symbols(core_scale, fold_scale):
    """The DC symbols; the hot sheet has its own supply guard band and clamps."""
    def per_category(**by_category):
        return {c: (by_category.get(c, by_category["default"]), "", "") for c in DC_CATEGORIES}

    return [
        ("VDD_LVL", per_category(default="=_VDD_NOM", Cont="0", Leak=f"=_VDD_NOM*{core_scale}",
                                 Func_Vmin="=_VDD_NOM*0.9", Func_Vmax="=_VDD_NOM*1.1"), "core supply"),
        ("VIO_LVL", per_category(default="=_VIO_NOM", Cont="0", Func_Vmin="=_VIO_NOM*0.95",
                                 Func_Vmax="=_VIO_NOM*1.05"), "I/O supply"),
        ("VPLL_LVL", per_category(default="=_VDD_NOM", Cont="0", Idd_Stby="0"), "PLL supply (off in standby)"),
        ("IFOLD_CORE", per_category(default=f"=_IFOLD_MAX*{fold_scale}", Cont="0.01", Idd="=_IFOLD_MAX",
                                    Idd_Stby="=_IFOLD_MAX/10"), "core clamp"),
        ("IFOLD_IO", per_category(default=f"0.05*{fold_scale}", Cont="0.002"), "I/O clamp"),
        ("IFOLD_PLL", per_category(default="0.02"), "PLL clamp"),
    ]


GLOBAL_SPECS = [
    ("T_REF", "10e-9", "reference period, 100 MHz"),
    ("VDD_NOM", "0.9", "nominal core supply"),
    ("VIO_NOM", "1.8", "nominal I/O supply"),
    ("IFOLD_MAX", "0.2", "largest core clamp"),
]


def global_sheet():
    text = ["DTGlobalSpecSheet,version=1.0:platform=Jaguar:toprow=-1:leftcol=-1:rightcol=-1\tGlobal Specs\n", "\n",
            "\n", line(["", "Symbol", "Job", "Value", "Comment"])]
    text += [line(["", symbol, "", "=" + value, comment]) for symbol, value, comment in GLOBAL_SPECS]
    return "".join(text)


# ---------------------------------------------------------------------------
# Pin levels: 1 Pin/Group, 2 Seq, 3 Parameter, 4 Value, 5 Comment.

def levels_sheet(pins):
    text = ["DTLevelSheet,version=2.2:platform=Jaguar:toprow=-1:leftcol=-1:rightcol=-1\tPin Levels\n", "\n",
            line(["", "Pin/Group", "Seq", "Parameter", "Value", "Comment"])]
    for pin, level_kind, level, clamp in pins:
        text.append(line(["", pin, "", level_kind, level, ""]))
        text.append(line(["", pin, "", "IFOLDLEVEL", clamp, ""]))
        text.append(line(["", pin, "", "TDELAY", "0", ""]))
    text.append(line(["", "AllSignals", "", "VIL", "0", ""]))
    text.append(line(["", "AllSignals", "", "VIH", "=_VIO_NOM", ""]))
    return "".join(text) + line([""] * 6)


LEVELS = {
    "Levels": [("VDD_CORE", "Vmain", "=_VDD_LVL", "=_IFOLD_CORE"), ("VDDIO", "Vps", "=_VIO_LVL", "=_IFOLD_IO"),
               ("VDD_PLL", "Vmain", "=_VPLL_LVL", "=_IFOLD_PLL")],
    # scan runs with the PLL bypassed: no PLL supply on this sheet
    "Levels_Scan": [("VDDIO", "Vps", "=_VIO_LVL", "=_IFOLD_IO"), ("VDD_CORE", "Vmain", "=_VDD_LVL", "=_IFOLD_CORE")],
}


# ---------------------------------------------------------------------------
# Time sets: 1 Time Set, 2 Cycle Period, 3 Pin/Group, 4 clock edge or data
# format, 5 row kind ("clock" for the clock rows), 6 Comment.

TIMING_SETS = [
    ("TS_FUNC", "=_PER_FUNC", [("CLK_SYS", "=_PER_FUNC*_CLK_DUTY"), ("CLK_REF", "=_PER_FUNC*2")]),
    ("TS_FAST", "=_PER_FUNC", [("CLK_SYS", "=_PER_FUNC*_CLK_DUTY")]),
    ("TS_SCAN_SHIFT", "=_PER_SCAN", [("SCAN_CLK", "=_PER_SCAN/2")]),
    ("TS_SCAN_CAP", "=_PER_FUNC", [("SCAN_CLK", "=_PER_FUNC/2"), ("CLK_SYS", "=_PER_FUNC*_CLK_DUTY")]),
    ("TS_SLOW", "=_PER_SLOW", [("CLK_REF", "=_PER_SLOW/2")]),
]


def timing_sheet():
    # seven header lines; none of them may be empty, since an empty line ends the sheet
    text = ["DTTimesetBasicSheet,version=2.3:platform=Jaguar:toprow=-1:leftcol=-1:rightcol=-1\tTime Sets (Basic)\n",
            "\t\n", "\tTiming Mode:\tSingle\n", "\tMaster Timeset Name:\t\n", "\t\n",
            line(["", "", "Cycle", "Pin/Group", "Data", "", ""]),
            line(["", "Time Set", "Period", "Pin/Group", "Edge", "Kind", "Comment"])]
    for tset, period, clocks in TIMING_SETS:
        for pin, edge in clocks:
            text.append(line(["", tset, period, pin, edge, "clock", ""]))
        text.append(line(["", tset, period, "AllInputs", "NR", "data", ""]))
        text.append(line(["", tset, period, "AllOutputs", "Edge", "compare", ""]))
    return "".join(text) + "\n"


# ---------------------------------------------------------------------------
# Pattern files (ASCII source, as the pattern compiler reads them). Each
# imports the time sets its vectors use; the stand-in patinfo reads them from
# there.

PATTERNS = {
    "dc/leak_hiz.pat": (["TS_SLOW"], 6),
    "dc/idd_static.pat": (["TS_SLOW", "TS_FUNC"], 8),
    "func/func_alu.pat": (["TS_FUNC"], 24),
    "func/func_regfile.pat": (["TS_FUNC"], 16),
    "func/func_mem_march.pat": (["TS_FUNC", "TS_SLOW"], 32),
    "func/func_alu_fast.pat": (["TS_FAST"], 24),
    "func/func_mem_fast.pat": (["TS_FAST", "TS_FUNC"], 32),
    "scan/scan_stuck_chain.pat": (["TS_SCAN_SHIFT"], 40),
    "scan/scan_stuck_capture.pat": (["TS_SCAN_SHIFT", "TS_SCAN_CAP"], 40),
    "scan/scan_transition.pat": (["TS_SCAN_SHIFT", "TS_SCAN_CAP", "TS_FAST"], 48),
}


def pattern_file(name, tsets, vectors):
    pins = "CLK_SYS, CLK_REF, SCAN_CLK, RST_N, SE, SI[3:0], SO[3:0], D[7:0]"
    text = [f"// {name}: example pattern, {vectors} vectors\n", "opcode_mode = single;\n",
            f"import tset {', '.join(tsets)};\n", f"vector ($tset, {pins})\n", "{\n",
            f"start_label {pathlib.PurePosixPath(name).stem}_st:\n"]
    for k in range(vectors):
        tset = tsets[(k * len(tsets)) // vectors]
        data = format(k % 256, "08b")
        text.append(f"> {tset:<14} 1 0 0 1 {k % 2} {format(k % 16, '04b')} XXXX {data} ;\n")
    text.append(f"halt > {tsets[-1]:<9} 0 0 0 1 0 0000 XXXX 00000000 ;\n")
    text.append("}\n")
    return "".join(text)


# ---------------------------------------------------------------------------
# Power order workbook: power pin name in column A, the name the check
# workbook shows (alias) in column B; an empty alias keeps the pin name. The
# file is shared by the device family, so it also lists a supply this die
# does not have.

POWER_ORDER = [("Power Pin", "Alias"), ("VDDIO", "VIO_1V8"), ("VDD_CORE", "VCORE_0V9"), ("VDD_PLL", ""),
               ("VDD_ANA", "VANA")]


def xls_bytes(rows):
    """A one-sheet Excel 2.1 workbook of text cells, which xlrd reads."""
    def record(op, data=b""):
        return struct.pack("<HH", op, len(data)) + data

    ncols = max(len(r) for r in rows)
    out = [record(0x0009, struct.pack("<HH", 0x0002, 0x0010)),  # BOF, worksheet
           record(0x0042, struct.pack("<H", 1252)),  # CODEPAGE
           record(0x0000, struct.pack("<HHHH", 0, len(rows), 0, ncols))]  # DIMENSIONS
    for r, row in enumerate(rows):
        for c, value in enumerate(row):
            text = value.encode("cp1252")
            out.append(record(0x0004, struct.pack("<HH", r, c) + b"\0\0\0" + bytes([len(text)]) + text))  # LABEL
    out.append(record(0x000A))  # EOF
    return b"".join(out)


# ---------------------------------------------------------------------------

def write(target):
    """Writes the device's sheets, patterns and power order workbook into `target`.

    The VBT modules (".bas") are the device's own files and stay as they are;
    the sheets and patterns written by an earlier run are removed first.
    """
    target = pathlib.Path(target)
    target.mkdir(parents=True, exist_ok=True)
    for old in target.glob("*.txt"):
        old.unlink()
    shutil.rmtree(target / "patterns", ignore_errors=True)

    def sheet(name, text):
        (target / f"{name}.txt").write_text(text, encoding="utf-8", newline="\n")

    sheet("Job List", job_list())
    for name, rows in FLOWS.items():
        sheet(name, flow_sheet(rows))
    for name, rows in INSTANCES.items():
        sheet(name, instance_sheet(rows))
    for name, rows in PATTERN_SETS.items():
        sheet(name, patset_sheet(rows))
    sheet("AC Specs", spec_sheet("AC", AC_CATEGORIES, AC_SYMBOLS))
    sheet("DC Specs", spec_sheet("DC", DC_CATEGORIES, dc_symbols("1.1", "1")))
    sheet("DC Specs Hot", spec_sheet("DC", DC_CATEGORIES, dc_symbols("1.05", "1.5")))
    sheet("Global Specs", global_sheet())
    for name, pins in LEVELS.items():
        sheet(name, levels_sheet(pins))
    sheet("Timing", timing_sheet())
    for name, (tsets, vectors) in PATTERNS.items():
        path = target / "patterns" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(pattern_file(name, tsets, vectors), encoding="utf-8", newline="\n")
    (target / "power_order.xls").write_bytes(xls_bytes(POWER_ORDER))
    return target


if __name__ == "__main__":
    print("written:", write(sys.argv[1] if len(sys.argv) > 1 else HERE / "device"))

"""A small exported test program for the engine tests: every sheet a job names."""
import pathlib


def _line(fields):
    return "\t".join(fields) + "\n"


def _row(width, **cells):
    fields = [""] * width
    for key, text in cells.items():
        fields[int(key[1:])] = text
    return fields


def flow_row(opcode, name, number="", hard="", sort="", result=""):
    return _row(21, f6=opcode, f7=name, f9=number, f16=hard, f18=sort, f19=result)


def instance_row(name, pattern="", dc_category="", dc_selector="", ac_category="", ac_selector="", timeset="",
                 pin_level="", args="", details=()):
    fields = _row(40, f1=name, f3="Method_" + name, f5=dc_category, f6=dc_selector, f7=ac_category, f8=ac_selector,
                  f9=timeset, f11=pin_level, f13=pattern, f14=args)
    for k, d in enumerate(details):
        fields[15 + k] = d
    return fields


def write_device(folder, jobs=None, flows=None, instances=None, dc=None, ac=None, glob=None, pin_levels=None,
                 timing=None, pattern_sets=None):
    """Writes the sheets into `folder` and returns it as a pathlib.Path.

    jobs: {name: {"flow": ..., "instances": ..., "dc": ..., "ac": ..., "patsets": ...}}
    flows: {sheet: [flow_row(...)]}; instances: {sheet: [instance_row(...)]}
    dc / ac: {sheet: {symbol: {"SELECTOR VAL"-style key: value}}} as (category, selector) -> value
    glob: {symbol: value}; pin_levels: {sheet: [(pin, kind, value)]}
    timing: {sheet: [(tset, period, clock_name, clock_value)]}; pattern_sets: {sheet: [(set, item)]}
    """
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    header = ["header\t0\n", "header\t1\n", "header\t2\n", "header\t3\n"]
    jobs = jobs or {}
    lines = list(header)
    for name, j in jobs.items():
        lines.append(_line(["", name, "", j.get("instances", "Test Instances"), j.get("flow", "Flow_Main"),
                            j.get("ac", "AC Specs"), j.get("dc", "DC Specs"), j.get("patsets", "PatSets"), ""]))
    (folder / "Job List.txt").write_text("".join(lines))
    for sheet, rows in (flows or {}).items():
        end = _line([""] * 21)  # the end-of-data row, also what a row without bins looks ahead at
        (folder / f"{sheet}.txt").write_text("".join(header) + "".join(_line(r) for r in rows) + end)
    for sheet, rows in (instances or {}).items():
        (folder / f"{sheet}.txt").write_text("".join(header) + "".join(_line(r) for r in rows))
    for sheets in (dc or {}), (ac or {}):
        for sheet, symbols in sheets.items():
            keys = []
            for cells in symbols.values():
                for key in cells:
                    if key not in keys:
                        keys.append(key)
            text = ["x\tversion=2.1:\n", "ignored\n", _line(["", "", ""] + [k[0] for k in keys] + [""]),
                    _line(["", "Symbol", "Value"] + [k[1] for k in keys] + [""])]
            for symbol, cells in symbols.items():
                text.append(_line(["", symbol, ""] + [cells.get(k, "") for k in keys] + [""]))
            (folder / f"{sheet}.txt").write_text("".join(text))
    g = ["x\tversion=1.0:\n", "h1\n", "h2\n", "h3\n"] + [_line(["", s, "", v, ""]) for s, v in (glob or {}).items()]
    (folder / "Global Specs.txt").write_text("".join(g))
    for sheet, pins in (pin_levels or {}).items():
        text = ["h0\n", "h1\n", "h2\n"] + [_line(["", pin, "", kind, value, ""]) for pin, kind, value in pins]
        (folder / f"{sheet}.txt").write_text("".join(text))
    for sheet, rows in (timing or {}).items():
        text = [f"h{i}\n" for i in range(7)]
        for tset, period, clock, value in rows:
            text.append(_line(["", tset, period, clock, value, "clock" if clock else "", ""]))
        (folder / f"{sheet}.txt").write_text("".join(text))
    for sheet, rows in (pattern_sets or {}).items():
        text = ["x\tversion=2.0:\n", "h1\n", "h2\n"] + [_line(["", s, "", "", "", item, ""]) for s, item in rows]
        (folder / f"{sheet}.txt").write_text("".join(text))
    return folder

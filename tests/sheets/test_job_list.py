import pytest

from tallowby.hestor import Hestor, get_job_list_content


ROW = ["x", "JOB1", "", "I1,I2", "FLOW", "AC", "DC", "P1"]


def test_record_shape_and_order(write_sheet, headers):
    path = write_sheet("Job List.txt", headers(4) + [ROW])
    parser = Hestor()
    assert parser.read_job_list(path) is None
    jobs = parser.get_test_job_list_info()
    assert list(jobs) == ["JOB1"]
    record = jobs["JOB1"]
    assert list(record.items()) == [
        ("TestInstanceList", ["I1", "I2"]),
        ("Flow Table", "FLOW"),
        ("DC Spec", "DC"),
        ("AC Spec", "AC"),
        ("PatternSet", ["P1\n"]),
        ("Global Spec", "Global Specs"),
    ]


@pytest.mark.parametrize(
    "fields, instances, patterns",
    [
        (ROW + ["more"], ["I1", "I2"], ["P1"]),
        (["x", "J", "", "", "F", "A", "D", "a,,b", ""], [""], ["a", "", "b"]),
        (["x", "J", "", " a , b", "F", "A", "D", "p", ""], [" a ", " b"], ["p"]),
    ],
)
def test_comma_lists_keep_every_piece(fields, instances, patterns):
    record = get_job_list_content(fields)
    assert record["TestInstanceList"] == instances
    assert record["PatternSet"] == patterns


def test_rows_order_duplicates_case_and_accumulation(write_sheet, headers, capsys):
    rows = headers(4) + [
        ["x", "JOB1", "", "A", "F1", "AC", "DC", "P", ""],
        ["x", "job1", "", "B", "F2", "AC", "DC", "P", ""],
        ["x", "JOB1", "", "C", "F3", "AC", "DC", "P", ""],
        ["x", "", "", "z"],  # short row without a job name: warned (fewer than 5 fields)
        ["x", "", "", "z", "q"],  # empty job name, 5 fields: skipped silently
        "",  # blank line
    ]
    path = write_sheet("jl.txt", rows)
    parser = Hestor()
    parser.read_job_list(path)
    jobs = parser.get_test_job_list_info()
    assert list(jobs) == ["JOB1", "job1"]
    assert jobs["JOB1"]["Flow Table"] == "F3"
    out = capsys.readouterr().out
    assert out == (
        "Warning: No flow table found in this line: x\t\t\tz\n\n"
        "Warning: No flow table found in this line: \n\n"
    )
    second = write_sheet("jl2.txt", headers(4) + [["x", "JOB2", "", "A", "F", "AC", "DC", "P", ""]])
    held = parser.get_test_job_list_info()
    parser.read_job_list(second)
    assert list(held) == ["JOB1", "job1", "JOB2"]
    assert held is parser.get_test_job_list_info()


def test_short_job_row_fails_and_keeps_earlier_jobs(write_sheet, headers):
    rows = headers(4) + [ROW + [""], ["x", "JOB2", "", "A", "F", "AC", "DC"], ROW[:1] + ["JOB3"] + ROW[2:]]
    parser = Hestor()
    with pytest.raises(IndexError, match="list index out of range"):
        parser.read_job_list(write_sheet("jl.txt", rows))
    assert list(parser.get_test_job_list_info()) == ["JOB1"]


def test_few_lines_and_open_errors(write_sheet, headers, tmp_path, capsys):
    parser = Hestor()
    parser.read_job_list(write_sheet("short.txt", headers(4)))
    assert parser.get_test_job_list_info() == {}
    assert capsys.readouterr().out == ""
    with pytest.raises(FileNotFoundError):
        parser.read_job_list(str(tmp_path / "missing.txt"))
    with pytest.raises(IsADirectoryError):
        parser.read_job_list(str(tmp_path))


def test_line_ends_are_read_as_the_host_reads_them(write_sheet, headers):
    results = []
    for newline in ("\n", "\r\n", "\r"):
        parser = Hestor()
        parser.read_job_list(write_sheet(f"jl{len(newline)}{newline == chr(13)}.txt", headers(4) + [ROW], newline))
        results.append(parser.get_test_job_list_info())
    assert results[0] == results[1] == results[2]
    assert results[0]["JOB1"]["PatternSet"] == ["P1\n"]

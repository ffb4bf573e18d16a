"""Calls with missing, surplus or unknown arguments fail as the host's own functions do."""
import pytest

from tallowby.hestor import Hestor, get_job_list_content


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: Hestor().read_job_list(), "Hestor.read_job_list() missing 1 required positional argument: 'job_list_path'"),
        (lambda: Hestor().read_job_list("a", "b"), "Hestor.read_job_list() takes 2 positional arguments but 3 were given"),
        (lambda: Hestor().read_job_list(path="a"), "Hestor.read_job_list() got an unexpected keyword argument 'path'"),
        (
            lambda: Hestor().read_job_list("a", job_list_path="a"),
            "Hestor.read_job_list() got multiple values for argument 'job_list_path'",
        ),
        (lambda: Hestor().get_test_job_list_info(1), "Hestor.get_test_job_list_info() takes 1 positional argument but 2 were given"),
        (lambda: get_job_list_content(), "get_job_list_content() missing 1 required positional argument: 'line_list'"),
    ],
)
def test_host_wording(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def _sheet_writer():
    from tallowby.quillon.tabwick import Tabwick

    return Tabwick()._write_variable_issues_sheet


def _parser():
    from tallowby.quillon.quillon import VBAParser

    return VBAParser()


# Several wrong arguments at once: the first wrong one in parameter order is
# the one named, as a host function checking them one by one would.
@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: _sheet_writer()(None, 1, 2, 3), "Argument 'variables' has incorrect type (expected list, got int)"),
        (lambda: _sheet_writer()(None, [], 2, 3), "Argument 'sheet_name' has incorrect type (expected str, got int)"),
        (lambda: _sheet_writer()(None, [], "s", 3), "Argument 'references' has incorrect type (expected dict, got int)"),
        (
            lambda: _sheet_writer()(references=3, sheet_name=2, variables=1, writer=None),
            "Argument 'variables' has incorrect type (expected list, got int)",
        ),
        (
            lambda: _parser()._parse_variable_declaration("Dim x", "a.bas", "1", 2),
            "Argument 'line_num' has incorrect type (expected int, got str)",
        ),
        (
            lambda: _parser()._parse_variable_declaration("Dim x", "a.bas", 1.5, 2),
            "Argument 'function_name' has incorrect type (expected str, got int)",
        ),
        (
            lambda: _parser()._parse_enum_definition("Enum E", 2, "3", 4),
            "Argument 'all_lines' has incorrect type (expected list, got int)",
        ),
    ],
)
def test_checked_in_parameter_order(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message

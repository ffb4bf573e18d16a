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

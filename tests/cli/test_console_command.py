"""The installed `quillon` console command."""
import glob
import os
import subprocess
import sys

import pytest

USAGE_FIRST = "用法: python quillon.py <目录路径> [模式] [报告路径]"
QUILLON = os.path.join(os.path.dirname(sys.executable), "quillon")


def quillon(*args, cwd=None):
    if not os.path.exists(QUILLON):
        pytest.skip("the package is not installed with its console command")
    run = subprocess.run([QUILLON, *args], capture_output=True, text=True, encoding="utf-8", cwd=cwd)
    return run.returncode, run.stdout.splitlines()


def test_writes_the_dry_run_workbook(tmp_path):
    (tmp_path / "m.bas").write_text("Public counter As Long\n")
    status, lines = quillon(str(tmp_path))
    assert status == 0
    (report,) = glob.glob(str(tmp_path / "Quillon_Report_*.xlsx"))
    assert f"✓ Dry-run报告已生成: {report}" in lines


@pytest.mark.parametrize("args, status", [((), 1), (("--help",), 0), (("-h",), 0)])
def test_usage(args, status):
    code, lines = quillon(*args)
    assert code == status
    assert lines[0] == USAGE_FIRST and len(lines) == 6


def test_a_folder_named_like_the_option_stays_reachable(tmp_path):
    (tmp_path / "--help").mkdir()
    (tmp_path / "--help" / "m.bas").write_text("Public counter As Long\n")
    status, lines = quillon("./--help", cwd=tmp_path)
    assert status == 0 and "开始处理目录: ./--help" in lines
    # "--help" with further arguments is a folder name as before
    status, lines = quillon("--help", "dry-run", cwd=tmp_path)
    assert status == 0 and "开始处理目录: --help" in lines

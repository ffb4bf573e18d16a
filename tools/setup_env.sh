# Sourced by the run scripts: creates ${TALLOWBY_VENV:-.venv}, installs the
# workbook libraries and the test runner, and builds and installs the package.
venv="${TALLOWBY_VENV:-.venv}"
if [ ! -x "$venv/bin/python" ]; then
  python3 -m venv "$venv"
fi
# shellcheck disable=SC1091
source "$venv/bin/activate"
python -m pip install -q --disable-pip-version-check pandas openpyxl XlsxWriter xlrd pytest
python -m pip install -q --disable-pip-version-check ${TALLOWBY_PIP_ARGS:-} .

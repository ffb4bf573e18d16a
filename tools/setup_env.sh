# Sourced by the run scripts: creates ${TALLOWBY_VENV:-.venv}, installs what
# pyproject.toml lists (build requirements, run-time dependencies and the
# "test" extra), and builds and installs the package.
#
# Set-up is done once: the dependencies are installed again only when
# pyproject.toml changes, and the package is built again only when its sources
# do (a hash of them is kept in the venv). The build runs without pip's
# isolation in a fixed folder (${TALLOWBY_BUILD_DIR:-build/release}), so CMake
# rebuilds only what changed. TALLOWBY_PIP_ARGS adds options to the build
# (the sanitizer run of .ci/run sets them).
venv="${TALLOWBY_VENV:-.venv}"
build_dir="${TALLOWBY_BUILD_DIR:-build/release}"
if [ ! -x "$venv/bin/python" ]; then
  python3 -m venv "$venv"
fi
# shellcheck disable=SC1091
source "$venv/bin/activate"

# What pyproject.toml asks for, one requirement a line.
requirements="$(python tools/requirements.py)"
deps_stamp="$(printf '%s\n' "$requirements" | python -c 'import hashlib, sys; print(hashlib.sha256(sys.stdin.buffer.read()).hexdigest())')"
if [ "$(cat "$venv/.tallowby-deps" 2>/dev/null)" != "$deps_stamp" ]; then
  # shellcheck disable=SC2086
  printf '%s\n' "$requirements" | python -m pip install -q --disable-pip-version-check -r /dev/stdin
  echo "$deps_stamp" > "$venv/.tallowby-deps"
fi

source_stamp="$(python tools/source_hash.py ${TALLOWBY_PIP_ARGS:-} "$build_dir")"
if [ "$(cat "$venv/.tallowby-build" 2>/dev/null)" != "$source_stamp" ] || \
   ! python -c 'import importlib.util as u, sys; sys.exit(u.find_spec("tallowby.quillon.quillon") is None)' 2>/dev/null; then
  # shellcheck disable=SC2086
  python -m pip install -q --disable-pip-version-check --no-deps --no-build-isolation \
    -C build-dir="$build_dir" ${TALLOWBY_PIP_ARGS:-} .
  echo "$source_stamp" > "$venv/.tallowby-build"
fi

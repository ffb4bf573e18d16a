#!/usr/bin/env bash
# Sets everything up and runs the whole test suite against the installed package.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup_env.sh
python -m pytest -q "$@"

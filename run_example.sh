#!/usr/bin/env bash
# Sets everything up (a virtual environment with the package built and
# installed) and runs the main job on the bundled example.
set -euo pipefail
cd "$(dirname "$0")"
source tools/setup_env.sh
python examples/check_device.py "$@"

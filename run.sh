#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
# Arguments are passed to the program (for example --port /dev/ttyUSB0).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
exec build/bin/gaitpanel "$@"

#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
#   ./run.sh                      the panel on the virtual servo controller
#   ./run.sh --port /dev/ttyUSB0  the panel on a real controller
#   ./run.sh --simulate GAITFILE  the gait on the virtual robot, headless
# Any other arguments are passed to the program as they are.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

args=("$@")
wants_port=no
for a in "$@"; do
  case "$a" in --port|--port=*|--simulate|--simulate=*) wants_port=yes ;; esac
done
[ "$wants_port" = yes ] || args=(--simulator "${args[@]}")
exec build/bin/gaitpanel "${args[@]}"

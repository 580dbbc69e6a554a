#!/usr/bin/env bash
# Installs what is missing, builds the program (and only the program), and
# starts it.
#   ./run.sh                      the panel on the virtual servo controller and
#                                 robot, with the lateral-undulation preset typed in
#   ./run.sh --port /dev/ttyUSB0  the panel on a real controller, design values
#   ./run.sh --simulate GAITFILE  the gait on the virtual robot, headless
# Any other arguments are passed to the program as they are.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
cmake --preset default >/dev/null
# The tests and benchmarks are ./test.sh's to build: the first window should
# not wait for them.
cmake --build --preset default --target gaitpanel -j "$(nproc)"
mapfile -d '' args < <(scripts/run-arguments.sh "$@")
exec build/bin/gaitpanel "${args[@]}"

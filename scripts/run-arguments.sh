#!/usr/bin/env bash
# The program's arguments for ./run.sh, one after another, each ended by a
# NUL byte. Without a robot the panel gets the virtual controller and robot,
# and the lateral-undulation preset typed in, so that ticking the modules and
# pressing "Move" makes the snake crawl (the caterpillar and the pitch-yaw
# snake get the presets made for them). With --port or a headless mode the
# arguments go through as they are; a --gait of the user's own is kept.
set -euo pipefail
args=("$@")
as_given=no
has_gait=no
preset=lateral-undulation
previous=
for a in "$@"; do
  robot=
  case "$a" in --robot=*) robot=${a#--robot=} ;; esac
  [ "$previous" = --robot ] && robot=$a
  case "$robot" in caterpillar) preset=caterpillar ;; pitch-yaw) preset=sidewinding ;; esac
  previous=$a
  case "$a" in
    --port|--port=*|--simulate|--simulate=*|--replay|--replay=*|--search|--search=*|--list-ports|--help|-h|--version|-v)
      as_given=yes ;;
    --gait|--gait=*) has_gait=yes ;;
  esac
done
if [ "$as_given" = no ]; then
  [ "$has_gait" = yes ] || args=(--gait "$preset" "${args[@]}")
  args=(--simulator "${args[@]}")
fi
[ ${#args[@]} -eq 0 ] || printf '%s\0' "${args[@]}"

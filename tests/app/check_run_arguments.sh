#!/usr/bin/env bash
# ./run.sh's choice of arguments: the virtual robot with a preset that moves
# it, unless the user asked for a real port, a headless mode or a gait.
set -euo pipefail
root=$1
pick() { "$root/scripts/run-arguments.sh" "$@" | tr '\0' '|'; }
expect() {
  local want=$1; shift
  local got; got=$(pick "$@")
  [ "$got" = "$want" ] || { echo "run.sh $*: got '$got', want '$want'"; exit 1; }
}
expect '--simulator|--gait|lateral-undulation|'
expect '--simulator|--gait|caterpillar|--robot|caterpillar|' --robot caterpillar
expect '--simulator|--gait|sidewinding|--robot=pitch-yaw|' --robot=pitch-yaw
expect '--simulator|--gait|mine.json|' --gait mine.json
expect '--port|/dev/ttyUSB0|' --port /dev/ttyUSB0
expect '--simulate|a file.json|' --simulate 'a file.json'
expect '--replay=r.txt|' --replay=r.txt
expect '--help|' --help
# Every preset it names is one the program ships.
for preset in lateral-undulation caterpillar sidewinding; do
  [ -f "$root/files/gaits/$preset.json" ] || { echo "no preset $preset.json"; exit 1; }
done
echo "run.sh arguments as expected"

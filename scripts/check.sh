#!/bin/bash
# Sets up the machine, builds, and runs every test: the table tests, the
# fuzzers of the text handling, and the acceptance matrix on planted machines.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
"$here/setup.sh"
"$here/build.sh"
. "$here/wine-env.sh"
echo "testing $QT58_TESTED: $QT58_BUILD/QT58Uninstall.exe"
"$here/test.sh"
# The fuzzers run beside the matrix, which mostly waits on Wine (measured: 12
# scenarios took 2:05 alone and 2:13 beside them).
log="$here/../build/fuzz.log"
"$here/fuzz.sh" >"$log" 2>&1 &
fuzzing=$!
matrix=0
python3 "$here/acceptance.py" --matrix || matrix=$?
fuzzed=0
wait $fuzzing || fuzzed=$?
cat "$log"
# The size of the test side beside the program, where the team's tool is at hand.
ratio="$here/../../shared/tools/test-ratio"
[ ! -x "$ratio" ] || "$ratio" "$here/.." || true
[ $matrix = 0 ] && [ $fuzzed = 0 ]

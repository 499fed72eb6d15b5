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
python3 "$here/acceptance.py" --matrix
# The size of the test side beside the program, where the team's tool is at hand.
ratio="$here/../../shared/tools/test-ratio"
[ ! -x "$ratio" ] || "$ratio" "$here/.." || true

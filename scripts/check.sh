#!/bin/bash
# Sets up the machine, builds, and runs every test on the Wine test machine.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
"$here/setup.sh"
"$here/build.sh"
"$here/test.sh" "$here/../build/win64"
# The painting, once, on a real (virtual) display.
"$here/screenshot.sh" "$here/../build/win64" --check
# Whole machines: the product planted on every family beside each kind of
# printer, with its files idle and in use, removed, and the machine restarted.
"$here/acceptance.py" --build "$here/../build/win64" --matrix

#!/bin/bash
# Demonstration: plants the product on a fresh Windows XP test machine, with
# some of its files in use, runs the removal program with its boxes answered
# (OK, then No to the restart), and shows what the run removed and scheduled
# before the restart and the whole account after it (scripts/acceptance.py).
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
exec python3 "$here/acceptance.py" --build "$here/../build/win64" --family winxp --printers alone --load inuse \
    --stages "$@"

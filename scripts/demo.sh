#!/bin/bash
# Demonstration: the product planted on a fresh Windows XP test machine with
# some of its files in use, the removal program run with its boxes answered
# (OK, then No to the restart), the restart played, and every item's fate.
set -euo pipefail
exec python3 "$(dirname "$(readlink -f "$0")")/acceptance.py" --only xp-alone-inuse --verbose "$@"

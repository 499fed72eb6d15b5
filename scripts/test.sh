#!/bin/bash
# Runs the test suite of a build folder (default: build/win64) on a fresh copy of a
# prepared Wine test machine; further arguments go to ctest (e.g. -R sweeps).
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/wine-env.sh"
build=$(readlink -m "${1:-$here/../build/win64}")
shift || true
template="$build/wine-template"
machine="$build/wine-machine"
# The template is made once and again whenever the script that makes it changes.
if [ ! -f "$template/.made" ] || [ "$here/make-prefix.sh" -nt "$template/.made" ]; then
    "$here/make-prefix.sh" "$template" >/dev/null
    touch "$template/.made"
fi
export WINEPREFIX="$machine"
"$WINESERVER" -k 2>/dev/null || true
rm -rf "$machine"
cp -a "$template" "$machine"
# One server for the whole run keeps process start-up fast; it and the
# machine's services are started here so that they hold none of ctest's pipes.
"$WINESERVER" -p >/dev/null 2>&1 </dev/null &
"$WINE" wineboot -u >/dev/null 2>&1 </dev/null || true
status=0
ctest --test-dir "$build" --output-on-failure "$@" || status=$?
"$WINESERVER" -k 2>/dev/null || true
exit $status

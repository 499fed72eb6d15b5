#!/bin/bash
# Runs the table tests of the build on a fresh copy of the prepared Wine test
# machine; arguments go to ctest (e.g. -R progress).
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/wine-env.sh"
build=$(readlink -m "$here/../$QT58_BUILD")
template="$build/wine-template"
"$here/make-prefix.sh" --once "$template" >/dev/null
export WINEPREFIX="$build/wine-machine"
"$WINESERVER" -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
cp -a "$template" "$WINEPREFIX"
# The server and the machine's services are started here, holding none of
# ctest's pipes, and one server serves the whole run.
"$WINESERVER" -p >/dev/null 2>&1 </dev/null &
"$WINE" wineboot -u >/dev/null 2>&1 </dev/null || true
echo "table tests of $QT58_TESTED ($QT58_BUILD)"
status=0
ctest --test-dir "$build" --output-on-failure "$@" || status=$?
"$WINESERVER" -k 2>/dev/null || true
exit $status

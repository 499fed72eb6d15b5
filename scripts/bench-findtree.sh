#!/bin/bash
# Benchmark, not a test: tools/bench-findtree.exe over 101 111 folders on drive
# D: of a copy of the prepared Wine test machine.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/wine-env.sh"
build=$(readlink -m "$here/../$QT58_BUILD")
export WINEPREFIX=$build/wine-bench
trap '"$WINESERVER" -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
"$here/make-prefix.sh" --once "$build/wine-template" >/dev/null
rm -rf "$WINEPREFIX" && cp -a "$build/wine-template" "$WINEPREFIX"
"$WINESERVER" -p >/dev/null 2>&1 </dev/null &
cd "$WINEPREFIX/drive_d" && for a in {0..9}; do mkdir -p bench/a$a/b{0..9}/c{0..9}/leaf{00..99}; done
# Listings come sorted and both walks take the folder listed last first: this one comes last.
mkdir bench/a0/b0/c0/leaf00/QuenmarT58
"$here/wine-run.sh" "$build/tools/bench-findtree.exe" 'D:\bench' QuenmarT58

#!/bin/bash
# Benchmark, not a test: the program's folder-tree walk (FindNameInTree) over
# a tree of 101 110 folders on the fixed drive D: of a copy of the Wine test
# machine, side by side with a bare FindFirstFileA walk (the floor for any
# Win32 program under Wine), "cmd /c dir /s /b" under the same Wine, and
# "find" on the Linux side of the same tree. Prints the four times and their
# ratios to the bare walk.
#   scripts/bench-findtree.sh [64-bit build folder]
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/wine-env.sh"
build=$(readlink -m "${1:-$here/../build}")
template="$build/wine-template"
machine="$build/wine-bench"
name=QuenmarT58
if [ ! -f "$template/.made" ] || [ "$here/make-prefix.sh" -nt "$template/.made" ]; then
    "$here/make-prefix.sh" "$template" >/dev/null
    touch "$template/.made"
fi
export WINEPREFIX="$machine"
cleanup() {
    "$WINESERVER" -k 2>/dev/null || true
    rm -rf "$machine"
}
trap cleanup EXIT
cleanup
cp -a "$template" "$machine"
"$WINESERVER" -p >/dev/null 2>&1 </dev/null &

# 10 x 10 x 10 folders, each holding 100 leaf folders.
tree="$machine/drive_d/bench"
python3 - "$tree" <<'PYTHON'
import os, sys
root = sys.argv[1]
for a in range(10):
    for b in range(10):
        for c in range(10):
            base = os.path.join(root, "a%d" % a, "b%d" % b, "c%d" % c)
            for d in range(100):
                os.makedirs(os.path.join(base, "leaf%02d" % d))
PYTHON

results=$("$here/wine-run.sh" "$build/tools/bench-findtree.exe" 'D:\bench' "$name")
echo "$results"
start=$(date +%s.%N)
found=$(find "$tree" -iname "$name")
end=$(date +%s.%N)
[ -n "$found" ] || { echo "find did not see the sought folder" >&2; exit 1; }
{ echo "$results"; awk -v s="$start" -v e="$end" 'BEGIN { print "find", e - s }'; } | awk '
    $1 == "bare" || $1 == "ours" || $1 == "dir" || $1 == "find" { t[$1] = $2 }
    END {
        printf "%-32s %8s %8s\n", "method", "seconds", "ratio"
        printf "%-32s %8.2f %8.2f\n", "bare FindFirstFileA walk", t["bare"], 1
        printf "%-32s %8.2f %8.2f\n", "FindNameInTree", t["ours"], t["ours"] / t["bare"]
        printf "%-32s %8.2f %8.2f\n", "cmd /c dir /s /b", t["dir"], t["dir"] / t["bare"]
        printf "%-32s %8.2f %8.3f\n", "Linux find", t["find"], t["find"] / t["bare"]
    }'

#!/bin/bash
# Shows the progress window at 42 % under Xvfb with Wine's normal X11 display
# driver (on a copy of the test machine), takes a screenshot and checks that
# the bar is blue over its left 42 % and white to the right.
#   scripts/screenshot.sh [build folder] [--check]
# Without --check the window's picture is also written to docs/progress-window.png.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/wine-env.sh"
build=$(readlink -m "${1:-$here/../build/win64}")
check_only=0
[ "${2:-}" = "--check" ] && check_only=1
tool="$build/tools/progressshot.exe"
[ -f "$tool" ] || { echo "screenshot: $tool is missing (build first)" >&2; exit 1; }

work=$(mktemp -d /tmp/qt58-shot.XXXXXX)
xvfb=""
cleanup() {
    WINEPREFIX="$work/machine" "$WINESERVER" -k 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A copy of the prepared test machine (or a new one), with the display driver back.
if [ -f "$build/wine-template/.made" ]; then
    cp -a "$build/wine-template" "$work/machine"
else
    "$here/make-prefix.sh" "$work/machine" >/dev/null
fi
export WINEPREFIX="$work/machine"
"$WINESERVER" -p >/dev/null 2>&1 </dev/null &
"$WINE" reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1
# No window manager runs: Wine draws the window frames itself.
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

mkdir -p "$WINEPREFIX/drive_c/qt58test"
cp "$tool" "$WINEPREFIX/drive_c/qt58test/"
"$WINE" 'C:\qt58test\progressshot.exe' 'C:\qt58test\bar.txt' >/dev/null 2>&1 </dev/null &
rects="$WINEPREFIX/drive_c/qt58test/bar.txt"
for _ in $(seq 600); do [ -s "$rects" ] && break; sleep 0.1; done
[ -s "$rects" ] || { echo "screenshot: the progress window did not appear" >&2; exit 1; }
sleep 1
import -display "$DISPLAY" -window root "$work/screen.png"

read -r wl wt wr wb bl bt br bb <"$rects"
if [ $check_only = 0 ]; then
    convert "$work/screen.png" -crop "$((wr - wl))x$((wb - wt))+$wl+$wt" +repage "$here/../docs/progress-window.png"
fi
convert "$work/screen.png" "$work/screen.ppm"
python3 - "$work/screen.ppm" "$bl" "$bt" "$br" "$bb" <<'PYTHON'
import sys

path, left, top, right, bottom = sys.argv[1], *map(int, sys.argv[2:])
data = open(path, "rb").read()
fields, offset = [], 0
while len(fields) < 4:
    while data[offset:offset + 1].isspace():
        offset += 1
    start = offset
    while not data[offset:offset + 1].isspace():
        offset += 1
    fields.append(data[start:offset])
offset += 1
width = int(fields[1])

def pixel(x, y):
    at = offset + 3 * (y * width + x)
    return tuple(data[at:at + 3])

split = left + (right - left) * 42 // 100
faults = []
# The lower half of the bar, below the percentage label.
for y in range(top + (bottom - top) // 2, bottom - 1):
    for x in range(left + 1, right - 1):
        if split - 1 <= x <= split:
            continue
        want = (0, 0, 255) if x < split else (255, 255, 255)
        if pixel(x, y) != want:
            faults.append((x - left, y - top, pixel(x, y), want))
if faults:
    print("screenshot: %d bar pixels wrong, first: %s" % (len(faults), faults[:5]))
    sys.exit(1)
print("screenshot: bar blue over %d of %d pixels, white to the right" % (split - left, right - left))
PYTHON

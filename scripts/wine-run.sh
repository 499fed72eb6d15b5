#!/bin/bash
# Runs a Windows program of the build on the test machine in $WINEPREFIX:
# copies it (with the removal program and the test tools named in
# QT58_PROGRAM and QT58_TOOLS) into C:\qt58test and starts it from there.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/wine-env.sh"
: "${WINEPREFIX:?set WINEPREFIX to a test machine made by scripts/make-prefix.sh}"
if [ -e "$WINEPREFIX/dosdevices/z:" ]; then
    echo "wine-run: $WINEPREFIX is not cut off from the host (drive Z: exists)" >&2
    exit 125
fi
bin="$WINEPREFIX/drive_c/qt58test"
mkdir -p "$bin"
program=$1; shift
cp -f "$program" "$bin/"
[ -n "${QT58_PROGRAM:-}" ] && [ -f "$QT58_PROGRAM" ] && cp -f "$QT58_PROGRAM" "$bin/"
if [ -n "${QT58_TOOLS:-}" ] && [ -d "$QT58_TOOLS" ]; then
    find "$QT58_TOOLS" -maxdepth 1 -name '*.exe' -exec cp -f {} "$bin/" \;
fi
# A test executable named "*_win98_test.exe" (winme, win2k, winxp likewise)
# runs with Wine playing that version.
name=$(basename "$program")
appkey="HKCU\\Software\\Wine\\AppDefaults\\$name"
if [[ $name =~ _(win98|winme|win2k|winxp)_test\.exe$ ]]; then
    "$WINE" reg add "$appkey" /v Version /d "${BASH_REMATCH[1]}" /f >/dev/null 2>&1
fi
cd "$bin"
exec "$WINE" "C:\\qt58test\\$(basename "$program")" "$@"

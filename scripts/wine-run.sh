#!/bin/bash
# Runs a test executable of the build on the test machine in $WINEPREFIX, from
# C:\qt58test; "*_win98_test.exe" (winme, win2k, winxp likewise) with Wine
# playing that version.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/wine-env.sh"
: "${WINEPREFIX:?set WINEPREFIX to a test machine made by scripts/make-prefix.sh}"
[ ! -e "$WINEPREFIX/dosdevices/z:" ] || { echo "wine-run: $WINEPREFIX is not cut off from the host" >&2; exit 125; }
mkdir -p "$WINEPREFIX/drive_c/qt58test"
cp -f "$1" "$WINEPREFIX/drive_c/qt58test/"
name=$(basename "$1"); shift
if [[ $name =~ _(win98|winme|win2k|winxp)_test\.exe$ ]]; then
    "$WINE" reg add "HKCU\\Software\\Wine\\AppDefaults\\$name" /v Version /d "${BASH_REMATCH[1]}" /f >/dev/null 2>&1
fi
cd "$WINEPREFIX/drive_c/qt58test"
exec "$WINE" "C:\\qt58test\\$name" "$@"

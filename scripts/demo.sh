#!/bin/bash
# Runs the removal program on a ready-made Windows XP test machine with its
# boxes answered, and prints what it showed.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/wine-env.sh"
build=$(readlink -f "$here/../build/win64")
export WINEPREFIX="$build/demo-machine"
"$here/make-prefix.sh" "$WINEPREFIX" >/dev/null
"$WINESERVER" -p >/dev/null 2>&1 </dev/null &
"$WINE" wineboot -u >/dev/null 2>&1 </dev/null || true
QT58_PROGRAM="$build/QT58Uninstall.exe" QT58_TOOLS="$build/tools" "$here/wine-run.sh" "$build/tools/boxbot.exe" 'C:\qt58test\QT58Uninstall.exe' winxp \
    'VORSICHT!=OK' 'Deinstallation abgeschlossen=NO' 'Neustart erforderlich=OK' < /dev/null
"$WINESERVER" -k

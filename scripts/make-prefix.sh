#!/bin/bash
# Creates a Wine machine for the removal program in the folder $1: headless,
# and cut off from the host, since the program searches every fixed drive and
# deletes what it finds there. With --once, a machine that this version of
# the script has already made is kept as it is.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
if [ "${1:-}" = --once ]; then
    shift
    [ -f "$1/.made" ] && [ ! "$here/make-prefix.sh" -nt "$1/.made" ] && exit 0
fi
. "$here/wine-env.sh"
prefix=$(readlink -m "$1")
export WINEPREFIX=$prefix
rm -rf "$prefix"
"$WINE" wineboot -i >/dev/null 2>&1
"$WINESERVER" -w
# No drive for the Linux root, and real folders in place of the links into the home.
rm -f "$prefix/dosdevices/z:"
find "$prefix/drive_c" -type l | while read -r link; do
    rm -f "$link"
    mkdir -p "$link"
done
"$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
"$WINE" reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /d '' /f >/dev/null 2>&1
# The machine plays Windows XP unless a test or a program asks for another version.
"$WINE" reg add 'HKCU\Software\Wine' /v Version /d winxp /f >/dev/null 2>&1
# Three more drives for the tests of the drive searches, each an empty folder
# of the machine: D: fixed (drive_d), E: removable (drive_e), F: network
# (drive_f). Wine takes a drive's type from HKLM\Software\Wine\Drives.
for drive in d=hd e=floppy f=network; do
    letter=${drive%%=*}
    mkdir -p "$prefix/drive_$letter"
    ln -sfn "../drive_$letter" "$prefix/dosdevices/$letter:"
    "$WINE" reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d "${drive#*=}" /f >/dev/null 2>&1
done
"$WINESERVER" -w
[ ! -e "$prefix/dosdevices/z:" ] && [ -z "$(find "$prefix/drive_c" -type l)" ] || { echo "prefix not cut off" >&2; exit 1; }
touch "$prefix/.made"
echo "$prefix"

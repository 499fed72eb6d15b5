# Sourced by the scripts: the 64-bit Wine loader and quiet debug output.
# This machine's kernel cannot execute 32-bit programs, so the test build of
# the program is a 64-bit one running under 64-bit Wine (see README).
WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mshtml=;mscoree="

# Sourced by the scripts: which Wine runs the tests, and which build it runs.
# Where the kernel runs 32-bit programs (the 32-bit Wine loader starts), the
# shipped 32-bit program is tested on 32-bit Windows machines (WINEARCH=win32);
# elsewhere the 64-bit build of the same sources stands in on 64-bit Wine
# (QT58_WINE64=1 takes that path on any machine).
if [ -z "${QT58_WINE64:-}" ] && [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    WINE=${WINE:-/usr/lib/wine/wine} WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver32}
    export WINEARCH=win32 QT58_BUILD=build/win32 QT58_TESTED="the shipped 32-bit program on 32-bit Wine"
else
    WINE=${WINE:-/usr/lib/wine/wine64} WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
    export WINEARCH=win64 QT58_BUILD=build/win64 QT58_TESTED="the 64-bit build on 64-bit Wine, standing in for the shipped 32-bit program"
fi
export WINE WINESERVER WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mshtml=;mscoree="

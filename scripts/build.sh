#!/bin/bash
# Builds the shipped 32-bit program (build/win32/QT58Uninstall.exe) and the
# tests and tools for the machines the tests run on: in build/win32 too where
# 32-bit Wine runs, else in build/win64, the same sources for 64-bit Windows.
set -euo pipefail
top=$(readlink -f "$(dirname "$0")/..")
. "$top/scripts/wine-env.sh"
for arch in i686:win32 x86_64:win64; do
    folder=build/${arch#*:}
    targets=""
    if [ "$folder" != "$QT58_BUILD" ]; then
        [ "$folder" = build/win32 ] && targets="--target QT58Uninstall" || continue
    fi
    cmake -S "$top" -B "$top/$folder" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-${arch%%:*}.cmake" >/dev/null
    cmake --build "$top/$folder" -j"$(nproc)" $targets >/dev/null
done
echo "built: $top/build/win32/QT58Uninstall.exe (shipped); the tests run $QT58_TESTED ($QT58_BUILD)"

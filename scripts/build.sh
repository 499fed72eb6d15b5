#!/bin/bash
# Builds the program twice: the shipped 32-bit program (build/win32) and the
# 64-bit build of the same sources that the tests run under Wine (build/win64).
set -euo pipefail
top=$(readlink -f "$(dirname "$0")/..")
for arch in i686:win32 x86_64:win64; do
    folder="$top/build/${arch#*:}"
    cmake -S "$top" -B "$folder" -DCMAKE_BUILD_TYPE=Release \
          -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-${arch%%:*}.cmake" >/dev/null
    cmake --build "$folder" -j"$(nproc)" >/dev/null
done
echo "built: $top/build/win32/QT58Uninstall.exe (shipped), $top/build/win64 (tests)"

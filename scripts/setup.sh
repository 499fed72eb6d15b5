#!/bin/bash
# Installs what the build, the tests and the demonstration need on a Debian
# machine; quick when everything is there already.
set -euo pipefail
packages="cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
          binutils-mingw-w64-x86-64 mingw-w64-i686-dev mingw-w64-x86-64-dev googletest
          wine64 xvfb imagemagick python3"
missing=""
for package in $packages; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "installing:$missing"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

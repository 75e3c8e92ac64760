#!/bin/sh
# Installs the Debian packages that the build and the tests need, when missing.
# Runs as root on a fresh Debian machine; does nothing when all are present.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)

missing=""
need() {  # need <package> <file that shows it is installed>
    [ -e "$2" ] || missing="$missing $1"
}
need cmake /usr/bin/cmake
need git /usr/bin/git
need g++ /usr/bin/g++
need libgtest-dev /usr/include/gtest/gtest.h
need libgmock-dev /usr/include/gmock/gmock.h
need python3 /usr/bin/python3
need util-linux /usr/bin/setpriv
need g++-mingw-w64-x86-64 /usr/bin/x86_64-w64-mingw32-g++
need g++-mingw-w64-i686 /usr/bin/i686-w64-mingw32-g++
need wine /usr/bin/wine
need wine64 /usr/lib/wine/wine64
need python3-pefile /usr/lib/python3/dist-packages/pefile.py
need locales /usr/share/i18n/locales/zh_TW

if [ -n "$missing" ]; then
    echo "installing:$missing" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q >&2
    apt-get install -y -q $missing >&2
fi

# Wine's 32-bit half runs the i686 build, but only where the kernel can run
# 32-bit programs at all; elsewhere the 32-bit scenarios are skipped.
if "$root/scripts/can-run-32bit.sh" && [ ! -e /usr/lib/wine/wine ]; then
    echo "installing: wine32:i386" >&2
    export DEBIAN_FRONTEND=noninteractive
    dpkg --add-architecture i386
    apt-get update -q >&2
    apt-get install -y -q wine32:i386 >&2
fi

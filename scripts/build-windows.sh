#!/bin/sh
# Cross-builds nodrel.exe for 64-bit and 32-bit Windows with MinGW-w64,
# into build/win64 and build/win32, and prints the paths of both programs.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

build() {  # build <folder> <toolchain arch>
    folder="$root/build/$1"
    cmake -S "$root" -B "$folder" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$2.cmake" \
        -DCMAKE_BUILD_TYPE=Release >&2
    cmake --build "$folder" --target nodrel -j "$jobs" >&2
    # Linked statically, the program needs only the system's own DLLs; a MinGW
    # runtime DLL (libstdc++-6.dll, libgcc_s_*.dll, libwinpthread-1.dll) would
    # not be on the user's machine.
    dlls=$("$2-w64-mingw32-objdump" -p "$folder/nodrel.exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
    if echo "$dlls" | grep -qi '^lib'; then
        echo "$folder/nodrel.exe needs a runtime DLL:" $dlls >&2
        exit 1
    fi
}

build win64 x86_64
build win32 i686

echo "$root/build/win64/nodrel.exe"
echo "$root/build/win32/nodrel.exe"

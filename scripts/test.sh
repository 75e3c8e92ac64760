#!/bin/sh
# Builds everything and runs every test: the native suite (unit tests,
# scenarios and random trees on the stand-in), then the Windows builds
# (version record, every scenario under Wine in each of its modes, and random
# trees under Wine checked against the native run).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)
"$root/scripts/install-deps.sh"

echo "== native build and tests"
cmake -S "$root" -B "$root/build/native" >/dev/null
cmake --build "$root/build/native" -j "$jobs"
(cd "$root/build/native" && ctest --output-on-failure -j "$jobs")

echo "== Windows builds"
"$root/scripts/build-windows.sh" >/dev/null
cd "$root"  # the Wine summaries name the exes by these relative paths
win64=build/win64/nodrel.exe
win32=build/win32/nodrel.exe
/usr/bin/python3 "$root/tests/version_record.py" "$win64" "$win32"

echo "== Wine test harness"
/usr/bin/python3 "$root/tests/wine_executor_selftest.py"
echo "== scenarios under Wine, x86_64"
/usr/bin/python3 "$root/tests/scenarios.py" wine "$win64"
echo "== scenarios under Wine, i686"
/usr/bin/python3 "$root/tests/scenarios.py" wine "$win32"
echo "== random trees under Wine"
# The same trees natively and under both builds (C.UTF-8/pipes); about 90 s.
/usr/bin/python3 "$root/tests/random_trees.py" "$root/build/native/nodrel" --seeds 25 --wine "$win64" --wine "$win32"
echo "== release"
/usr/bin/python3 "$root/tests/release_check.py"
echo "== all tests passed"

#!/bin/sh
# The main job: builds nodrel.exe and runs it under Wine on a sample infected
# stick, showing the console text and the stick before and after.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build-windows.sh" >/dev/null
/usr/bin/python3 "$root/scripts/demo.py" "$root/build/win64/nodrel.exe"

#!/bin/sh
# Exits 0 when this kernel runs 32-bit x86 programs: it writes and runs a
# minimal i386 program that only exits.
set -eu
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
/usr/bin/python3 - "$probe" <<'PY'
import struct, sys
code = bytes([0xb8, 1, 0, 0, 0, 0x31, 0xdb, 0xcd, 0x80])  # exit(0) through int 0x80
base, ehdr, phdr = 0x08048000, 52, 32
size = ehdr + phdr + len(code)
elf = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8)
elf += struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, base + ehdr + phdr, ehdr, 0, 0, ehdr, phdr, 1, 0, 0, 0)
elf += struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
open(sys.argv[1], "wb").write(elf + code)
PY
chmod +x "$probe"
"$probe" 2>/dev/null

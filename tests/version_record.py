#!/usr/bin/python3
"""Reads the version record back from each nodrel.exe given and checks every field.

Usage: /usr/bin/python3 tests/version_record.py build/win64/nodrel.exe [build/win32/nodrel.exe ...]
Exits 1 and prints each difference when any field is not as shipped.
"""
import sys

import pefile

# The fixed part: 1,6,0,0 is stored as MS = 1<<16 | 6, LS = 0<<16 | 0.
FIXED = {
    "Signature": 0xFEEF04BD,
    "FileVersionMS": 0x00010006,
    "FileVersionLS": 0x00000000,
    "ProductVersionMS": 0x00010006,
    "ProductVersionLS": 0x00000000,
    "FileFlags": 0,
    "FileOS": 0x00040004,  # VOS_NT_WINDOWS32
    "FileType": 0x1,  # VFT_APP
}

# One string table, US English in code page 1252, with exactly these values.
STRING_TABLE_ID = b"040904E4"
STRINGS = {
    b"CompanyName": b"Nodrel",
    b"FileDescription": b"Nodrel",
    b"FileVersion": b"1.6",
    b"InternalName": b"nodrel",
    b"LegalCopyright": b"Copyright (C) 2009 Nodrel",
    b"OriginalFilename": b"nodrel.exe",
    b"ProductName": b"Nodrel",
    b"ProductVersion": b"1.6",
}

# 0x0409 = US English, 0x04e4 = 1252.
TRANSLATION = {b"Translation": "0x0409 0x04e4"}


def differences(path):
    """Returns a list of texts, one per field that is not as expected."""
    try:
        pe = pefile.PE(path)
    except (OSError, pefile.PEFormatError) as error:
        return [f"cannot read as a PE file: {error}"]
    found = []
    if not hasattr(pe, "VS_FIXEDFILEINFO"):
        return ["no version record"]
    if len(pe.VS_FIXEDFILEINFO) != 1:
        found.append(f"{len(pe.VS_FIXEDFILEINFO)} version records, expected 1")

    fixed = pe.VS_FIXEDFILEINFO[0]
    for name, expected in FIXED.items():
        actual = getattr(fixed, name)
        if actual != expected:
            found.append(f"{name}: {actual:#x}, expected {expected:#x}")

    blocks = {}
    for block in pe.FileInfo[0]:
        if block.Key in blocks:
            found.append(f"block {block.Key!r} appears twice")
        blocks[block.Key] = block
    if set(blocks) != {b"StringFileInfo", b"VarFileInfo"}:
        found.append(f"blocks {sorted(blocks)}, expected StringFileInfo and VarFileInfo")

    if b"StringFileInfo" in blocks:
        tables = blocks[b"StringFileInfo"].StringTable
        ids = [table.LangID for table in tables]
        if ids != [STRING_TABLE_ID]:
            found.append(f"string tables {ids}, expected [{STRING_TABLE_ID!r}]")
        for table in tables:
            if table.LangID != STRING_TABLE_ID:
                continue
            for key in sorted(set(STRINGS) | set(table.entries)):
                actual, expected = table.entries.get(key), STRINGS.get(key)
                if actual != expected:
                    found.append(f"{key.decode()}: {actual!r}, expected {expected!r}")

    if b"VarFileInfo" in blocks:
        entries = [var.entry for var in blocks[b"VarFileInfo"].Var]
        if entries != [TRANSLATION]:
            found.append(f"VarFileInfo {entries}, expected [{TRANSLATION}]")
    return found


def main(paths):
    if not paths:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    failed = False
    for path in paths:
        found = differences(path)
        if found:
            failed = True
            print(f"{path}: version record differs")
            for text in found:
                print(f"  {text}")
        else:
            print(f"{path}: version record as expected")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

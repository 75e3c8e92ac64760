#!/usr/bin/env python3
"""Runs nodrel.exe under Wine on a sample infected stick made on the fly, and
shows the console text in UTF-8 and the stick's files before and after."""

import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
from scenarios import build_tree, split_start  # noqa: E402
from wine_executor import WineExecutor  # noqa: E402

STICK = [
    {"path": "autorun.inf", "attrs": "h", "content": "[autorun]\r\nopen=RECYCLER\\svchost.exe\r\n"},
    "svchost.exe [hs]",
    "boot.cmd [h]",
    "Photos/ [h]",
    "Photos/beach.jpg",
    "Photos/Photos.exe",
    "Photos/helper.com [h]",
    "Photos/album/",
    "Photos/album/viewer.exe",
    "Photos.exe",
    "setup.exe",
    "report.docx",
    "Music/",
    "Music/song.mp3",
    "功課/ [h]",
    "功課/作業.doc",
    "功課.exe",
]
ATTRS = [(0x2, "H"), (0x4, "S"), (0x1, "R")]


def attributes(path):
    try:
        bits = int(os.getxattr(path, "user.DOSATTRIB").strip(b'"\0'), 16)
    except OSError:
        bits = 0
    if not os.path.isdir(path) and not os.access(path, os.W_OK) and os.geteuid() != 0:
        bits |= 0x1
    return "".join(letter if bits & bit else "-" for bit, letter in ATTRS)


def show_tree(title, folder):
    print("== %s" % title)
    for top, dirs, files in sorted(os.walk(folder)):
        dirs.sort()
        for name in sorted(dirs) + sorted(files):
            path = os.path.join(top, name)
            rel = os.path.relpath(path, folder).replace("/", "\\")
            print("  %s  E:\\%s%s" % (attributes(path), rel, "\\" if os.path.isdir(path) else ""))
    print()


def main(exe):
    base = tempfile.mkdtemp(prefix="nodrel-demo-")
    try:
        stick = os.path.join(base, "stick")
        work = os.path.join(base, "work")
        os.makedirs(work)
        build_tree(stick, STICK)
        show_tree("the stick before (H hidden, S system, R read-only)", stick)
        executor = WineExecutor(exe, os.path.join(base, "wine"))
        try:
            stdout, commands = executor.run({"E": ("removable", stick)}, work, b"\r\n")
        finally:
            executor.close()
        print("== console (Big5 converted to UTF-8)")
        # Through a pipe every byte is Big5, PAUSE's prompt at the end included.
        print(stdout.decode("cp950", errors="replace").replace("\r\n", "\n"))
        print()
        print("== commands sent to cmd.exe, one start of it per paragraph")
        for start in commands:
            for command in split_start(start):
                print("  " + command)
            print()
        print()
        show_tree("the stick after", stick)
    finally:
        shutil.rmtree(base, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1])

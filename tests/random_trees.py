#!/usr/bin/env python3
"""Randomized check of what the program deletes from a stick.

  random_trees.py PATH/TO/nodrel [--seeds N] [--seed S] [--wine PATH/TO/nodrel.exe ...]

For each seed (1..N, default 40; or only S) a drive tree full of awkward names is
generated (command characters, names no code page holds, Big5 characters whose second
byte is \\ or |, device names such as COM1.exe), built under a throwaway folder as drive
E:, and the native program is run on it. The entries it deleted must be exactly the ones
the cleaning rules condemn, which this script works out from the tree on its own; so must
its del commands and its "removed" lines. The working folder must end up holding only the
decoys put there (the program removes its own work files).

With --wine (once per exe), every seed also runs under Wine (mode C.UTF-8/pipes, COM1 mapped
to a canary file that must stay as it is) on the same tree, built afresh: the entries left,
the del commands and the stdout lines (line ends removed; the order inside one listing is
free, as Wine sorts what Windows lists pattern by pattern) must agree with the native run,
and both with the rules. A failing seed prints the tree, the differences and the outputs,
and its folder is kept.

Some trees hold symbolic links: hidden folders and programs linked to a folder "outside" that
is on no drive, and hidden folders linked to another hidden folder of the stick. The rules never
touch a link, nor anything through it: the links must stay, pointing where they did, and the
outside folder must stay exactly as it was.

Needs root for read-only folders (as on Windows, their files can still be deleted); other
users get trees without them.
"""

import argparse
import difflib
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

from scenarios import split_start

EXECUTABLE_ENDINGS = (".com", ".bat", ".exe", ".bin", ".cmd")
FORBIDDEN_CHARS = set('\\/:*?"<>|%')
ATTR_BITS = {"r": 0x1, "h": 0x2, "s": 0x4}
MAX_NAME_BYTES = 200
MAX_ENTRIES = 60
# Files the program writes in its working folder, which decoys must not use: step 3 numbers its pairs,
# dir_1_<n>.txt and dir_2_<n>.txt.
WORK_FILE_PATTERN = re.compile(r"(file|file_cmp|dir_1|dir_2|dir_[12]_[0-9]+)\.txt")
# Complaints of the command interpreter that only a mangled command line produces (the stand-in's and
# Windows' wording, and Wine's).
BROKEN_COMMAND_SIGNS = ("is not recognized", "Invalid switch", "Parameter format not correct",
                        "syntax of the command is incorrect", "Can't recognize", "Invalid parameter")
# Names Windows opens as devices (the part before the first dot, trailing blanks removed, any case).
DEVICE_BASES = {"con", "prn", "aux", "nul", "conin$", "conout$"} | {
    "%s%s" % (port, digit) for port in ("com", "lpt") for digit in "123456789\u00b9\u00b2\u00b3"}
REMOVED = " \u5df2\u79fb\u9664"  # "... 已移除"
NOT_REMOVED = " \u7121\u6cd5\u79fb\u9664\uff0c\u8acb\u81ea\u884c\u6aa2\u67e5\u3002"  # "... 無法移除，請自行檢查。"


# ---------------------------------------------------------------------------
# The rules: which entries of drive E: a cleaning run removes.

def is_device_name(name):
    return name.split(".", 1)[0].rstrip(" ").lower() in DEVICE_BASES


def is_plain(name):
    """A name the program may put into a command as itself (any character a listing carries exactly)."""
    if name in ("", ".", ".."):
        return False
    for ch in name:
        if ch in FORBIDDEN_CHARS or ord(ch) < 0x20 or 0xD800 <= ord(ch) <= 0xDFFF:
            return False  # a lone surrogate is no Unicode character
    if name.endswith(" ") or name.endswith("."):
        return False
    return not is_device_name(name)


def has_executable_ending(name):
    return name.lower().endswith(EXECUTABLE_ENDINGS)


def attempts(tree, del_keeps_system=True):
    """The files the program tries to delete: {path (a tuple of names): (the path as its del command and its
    report write it, whether the file goes)}; tree maps path -> Entry. del_keeps_system: del without /a
    leaves a system file, as on Windows and in the stand-in; Wine's del /f deletes it."""
    out = {}
    # A link is never touched, nor anything through it: it leads off the drive, or is a reparse point.
    root = [e for p, e in tree.items() if len(p) == 1 and e.link is None]
    root_files = {e.name: e for e in root if not e.is_dir}
    for f in root_files.values():
        # A hidden autorun.inf file, whatever its letter case, deleted by that name.
        if f.name.lower() == "autorun.inf" and f.hidden:
            out[f.path] = ("E:\\autorun.inf", True)
        # Hidden executables at the root, except the exact system loader name.
        if f.hidden and has_executable_ending(f.name) and is_plain(f.name) and f.name != "NTDETECT.COM":
            out[f.path] = (windows_path(f.path), True)
    for d in root:
        if not (d.is_dir and d.hidden and is_plain(d.name)):
            continue
        # Executables directly in a hidden folder: hidden ones, and those neither hidden nor system.
        for p, f in tree.items():
            if len(p) == 2 and p[0] == d.name and not f.is_dir and f.link is None \
                    and has_executable_ending(f.name) and is_plain(f.name) and (f.hidden or not f.system):
                out[p] = (windows_path(p), True)
        # The root program named exactly like the hidden folder, if the step before left it (it was not
        # hidden): del /f cannot delete it when it is a system file.
        twin = root_files.get(d.name + ".exe")
        if twin is not None and twin.path not in out:
            out[twin.path] = (windows_path(twin.path), not (twin.system and del_keeps_system))
    return out


def condemned(tree, del_keeps_system=True):
    """Paths (tuples of names) the rules delete; tree maps path -> Entry."""
    return {p for p, (_, goes) in attempts(tree, del_keeps_system).items() if goes}


def wine_only_removals(tree):
    """The files that go under Wine only: system files that del /f deletes there and not on Windows."""
    return condemned(tree, False) - condemned(tree)


def windows_path(path):
    return "E:\\" + "\\".join(path)


def shown(windows):
    """A path as the program shows it: Big5, "?" for each character Big5 lacks."""
    return windows.encode("cp950", errors="replace").decode("cp950")


# ---------------------------------------------------------------------------
# The tree generator.

class Entry:
    """A file or folder; or, with link ("outside" or "E", path of the target there), a symbolic link to one,
    whose attributes are its target's."""

    def __init__(self, path, is_dir, attrs, link=None):
        self.path = path
        self.is_dir = is_dir
        self.attrs = attrs
        self.link = link

    @property
    def name(self):
        return self.path[-1]

    @property
    def hidden(self):
        return "h" in self.attrs

    @property
    def system(self):
        return "s" in self.attrs

    def show(self):
        text = "/".join(self.path) + ("/" if self.is_dir else "")
        target = " -> %s:%s" % (self.link[0], "/".join(self.link[1])) if self.link else ""
        return "%-6s %r%s" % ("[%s]" % self.attrs if self.attrs else "", text, target)


class Tree:
    """Entries of one folder tree; names in a folder never differ only in letter case."""

    def __init__(self, limit=None):
        self.entries = {}
        self.folded = set()
        self.limit = limit

    def add(self, parent, name, is_dir=False, attrs="", link=None):
        if self.limit is not None and len(self.entries) >= self.limit:
            return None
        if not name or name in (".", "..") or name.startswith(".") or "/" in name or "\0" in name:
            return None
        if len(name.encode("utf-8")) > MAX_NAME_BYTES:
            return None
        if parent and parent not in self.entries:
            return None
        key = parent + (name.lower(),)
        if key in self.folded:
            return None
        self.folded.add(key)
        entry = Entry(parent + (name,), is_dir, attrs, link)
        self.entries[entry.path] = entry
        return entry

    def __len__(self):
        return len(self.entries)


EXEC_EXTS = ["exe", "com", "bat", "bin", "cmd"]
NEAR_EXTS = ["bath", "exe1", "comics", "exec", "bins", "cmdx", "batch", "exe_", "ex", "co"]
OTHER_EXTS = ["txt", "jpg", "inf", "dll", "lnk", "mp3", "doc", "exe.txt", "bat.bak"]
# Ordinary names, names full of command characters (still safe to quote), and names
# the program must leave alone (forbidden characters, control characters, device names).
PLAIN_STEMS = ["Photos", "Music", "My Music", "My", "setup", "Setup Tool", "virus", "game", "x", "a",
               "readme", "install", "New Folder", "Docs", "copy of x", "a  b", "\u7167\u7247",
               "\u6211\u7684 \u97f3\u6a02", "\u6587\u4ef6"]
# Plain too: Big5 characters whose second byte is 0x5C (功 許 蓋) or 0x7C (四 會), accented and fullwidth
# letters, and characters Big5 lacks (ō, é, ï, Hangul, ☃), shown as "?" on the console.
UNICODE_STEMS = ["\u529f\u8ab2", "\u8a31\u84cb", "\u84cb\u5b50", "\u56db\u5e74\u7d1a", "\u6703\u8b70",
                 "\u529f", "\u56db", "caf\u00e9", "Ph\u014dtos", "na\u00efve", "\uff24ocs", "\ud55c\uae00",
                 "\u529f\u8ab2 Ph\u014dtos", "P\u2603Q", "\u2603"]
# COM1..COM9 and LPT1..LPT9 in any case, one with a blank before its dot; never NUL, CON, AUX or PRN.
DEVICE_STEMS = ["COM1", "com3", "Com9", "LPT1", "lpt4", "LpT9", "COM7 ", "COM\u00b2", "lpt\u00b3"]
COMMAND_STEMS = ["a&b", "x^y", "(copy)", "it's", "a,b", "c;d", "e=f", "wow!", "say ^& hi", "1 & 2",
                 "[x]", "run (2)", "a;b=c,d", "!x!", "^", "&", " lead", "x & b"]
UNSAFE_STEMS = ["100%", "%PATH%", "%temp", "what?", "star*", "*", "tab\there", "ctl\x01x", 'q"uote',
                "lt<gt>", "pi|pe", "co:lon", "back\\slash", "x\nDocs", "cr\rlf"]
TAILS = [" ", ".", " .", ". ", "  "]
LONG_CHARS = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 &^()',;=!-_"


def case_variant(rng, text):
    """The text with a random letter-case pattern."""
    pick = rng.random()
    if pick < 0.5:
        return text
    if pick < 0.7:
        return text.upper()
    return "".join(c.upper() if rng.random() < 0.5 else c.lower() for c in text)


def long_stem(rng, length):
    stem = "".join(rng.choice(LONG_CHARS) for _ in range(length))
    return "L" + stem[1:].rstrip(" ") + "z"


def random_stem(rng):
    pick = rng.random()
    if pick < 0.07:
        return long_stem(rng, rng.randint(150, 190))
    if pick < 0.4:
        return rng.choice(PLAIN_STEMS)
    if pick < 0.6:
        return rng.choice(UNICODE_STEMS)
    if pick < 0.78:
        return rng.choice(COMMAND_STEMS)
    if pick < 0.86:
        return case_variant(rng, rng.choice(DEVICE_STEMS))
    return rng.choice(UNSAFE_STEMS)


def random_ext(rng):
    pick = rng.random()
    if pick < 0.55:
        return case_variant(rng, rng.choice(EXEC_EXTS))
    if pick < 0.8:
        return case_variant(rng, rng.choice(NEAR_EXTS))
    return rng.choice(OTHER_EXTS)


def random_file_name(rng):
    if rng.random() < 0.03:
        return case_variant(rng, rng.choice(DEVICE_STEMS)).rstrip(" ")  # a device name without extension
    name = random_stem(rng) + "." + random_ext(rng)
    if rng.random() < 0.08:
        name += rng.choice(TAILS)
    return name


def random_folder_name(rng):
    name = random_stem(rng)
    pick = rng.random()
    if pick < 0.1:
        name += rng.choice(TAILS)
    elif pick < 0.2:
        name += "." + case_variant(rng, rng.choice(EXEC_EXTS))  # a folder named like a program
    return name


def file_attrs(rng):
    return rng.choice(["", "", "h", "h", "h", "hs", "s", "r", "hr", "hsr", "sr"])


def folder_attrs(rng, hidden, read_only_ok):
    if hidden:
        choices = ["h", "h", "h", "hs"] + (["hr", "hsr"] if read_only_ok else [])
    else:
        choices = ["", "", "s"] + (["r"] if read_only_ok else [])
    return rng.choice(choices)


def fill_folder(rng, tree, folder, count):
    """Adds about `count` files, mostly executables, directly to the folder."""
    for _ in range(count):
        tree.add(folder, random_file_name(rng), False, file_attrs(rng))


def add_lookalike(rng, tree, folder_name):
    """Adds a root program named like the folder: exact, or differing in case."""
    pick = rng.random()
    if pick < 0.5:
        name = folder_name + ".exe"
    elif pick < 0.65:
        name = folder_name + case_variant(rng, ".EXE")
    elif pick < 0.8:
        name = folder_name.lower() + ".exe"
    else:
        name = folder_name.upper() + rng.choice([".exe", ".EXE"])
    tree.add((), name, False, rng.choice(["", "", "h", "s", "hs", "r", "sr", "hr"]))


def add_folder(rng, tree, name, hidden, read_only_ok):
    folder = tree.add((), name, True, folder_attrs(rng, hidden, read_only_ok))
    if folder is None:
        return None
    fill_folder(rng, tree, folder.path, rng.randint(1, 5))
    # Subfolders, some named like programs; whatever they hold stays.
    for _ in range(rng.choice([0, 0, 1, 2])):
        sub = tree.add(folder.path, random_folder_name(rng), True, folder_attrs(rng, rng.random() < 0.5, read_only_ok))
        if sub is not None:
            fill_folder(rng, tree, sub.path, rng.randint(1, 2))
    return folder


def generate(seed, read_only_ok):
    """Returns (tree of drive E:, tree of the working folder)."""
    rng = random.Random(seed)
    tree = Tree(MAX_ENTRIES)

    # autorun.inf in one of its guises.
    guise = rng.choice(["h", "hs", "hr", "", "s", "dir-h", "dir", "none"])
    if guise != "none":
        name = rng.choice(["autorun.inf", "AUTORUN.INF", "AutoRun.inf", "autorun.INF"])
        if guise.startswith("dir"):
            folder = tree.add((), name, True, "h" if guise == "dir-h" else "")
            if folder is not None:
                fill_folder(rng, tree, folder.path, rng.randint(0, 2))
        else:
            tree.add((), name, False, guise)

    # The system loader under its exact name or another letter case.
    if rng.random() < 0.6:
        name = rng.choice(["NTDETECT.COM", "NTDETECT.COM", "ntdetect.com", "NtDetect.Com", "NTDETECT.com"])
        tree.add((), name, False, rng.choice(["h", "hs", "hsr", ""]))

    # Hidden folders with their programs, some with a look-alike program beside them.
    for _ in range(rng.randint(2, 4)):
        folder = add_folder(rng, tree, random_folder_name(rng), True, read_only_ok)
        if folder is not None and rng.random() < 0.7:
            add_lookalike(rng, tree, folder.name)

    # Hidden "My Music" beside visible "My" and "Music" holding programs.
    if rng.random() < 0.4:
        folder = tree.add((), "My Music", True, rng.choice(["h", "hs"]))
        if folder is not None:
            fill_folder(rng, tree, folder.path, rng.randint(1, 3))
            tree.add((), "My Music.exe", False, rng.choice(["", "h", "s"]))
        for name in ("My", "Music"):
            visible = tree.add((), name, True, "")
            if visible is not None:
                tree.add(visible.path, rng.choice(["x.exe", "app.exe", "tool.bat"]), False, "")

    # A hidden folder whose name ends in a blank or dot, beside the visible plain one.
    if rng.random() < 0.4:
        base = rng.choice(["Music", "Photos", "Docs"])
        odd = tree.add((), base + rng.choice(TAILS), True, "h")
        if odd is not None:
            fill_folder(rng, tree, odd.path, rng.randint(1, 3))
            tree.add((), odd.name + ".exe", False, rng.choice(["", "h"]))
        plain = tree.add((), base, True, "")
        if plain is not None:
            fill_folder(rng, tree, plain.path, rng.randint(1, 2))

    # Visible and system folders: nothing in them goes.
    for _ in range(rng.randint(1, 2)):
        folder = add_folder(rng, tree, random_folder_name(rng), False, read_only_ok)
        if folder is not None and rng.random() < 0.4:
            add_lookalike(rng, tree, folder.name)

    if rng.random() < 0.6:
        add_links(rng, tree)

    # COM1 as a program at the root or in a hidden folder: under Wine, COM1 is the canary file.
    if rng.random() < 0.5:
        hidden = sorted(e.path for e in tree.entries.values()
                        if e.is_dir and e.hidden and len(e.path) == 1 and e.link is None)
        parent = rng.choice(hidden) if hidden and rng.random() < 0.5 else ()
        tree.add(parent, case_variant(rng, "COM1") + "." + case_variant(rng, rng.choice(EXEC_EXTS)), False,
                 rng.choice(["", "h", "hs"]))

    # Loose root files of every kind.
    for _ in range(rng.randint(3, 10)):
        tree.add((), random_file_name(rng), False, file_attrs(rng))
    while len(tree) < 20:
        tree.add((), random_file_name(rng), False, file_attrs(rng))

    work = generate_work(rng, tree)
    return tree, work


# The folder on no drive that links lead to: (path, is a folder, attrs). The attributes of a link are its
# target's, so each kind of link has a target of its own.
OUTSIDE = [(("lib",), True, "h"), (("lib", "tool.exe"), False, ""), (("lib", "run.bat"), False, "h"),
           (("lib", "keep.txt"), False, ""), (("prog.exe",), False, "h"), (("prog2.com",), False, ""),
           (("prog3.bat",), False, "h")]


def outside_tree():
    tree = Tree()
    for path, is_dir, attrs in OUTSIDE:
        tree.add(path[:-1], path[-1], is_dir, attrs)
    return tree


def add_links(rng, tree):
    """Links that lead off the drive, and hidden folders linked to another hidden folder of the stick."""
    if rng.random() < 0.7:
        link = tree.add((), random_folder_name(rng), True, "h", ("outside", ("lib",)))
        if link is not None and rng.random() < 0.6:
            add_lookalike(rng, tree, link.name)
    if rng.random() < 0.6:
        tree.add((), rng.choice(["svchost.exe", "autorun.exe", "x.bat", "\u529f\u8ab2.exe"]), False, "h",
                 ("outside", ("prog.exe",)))
    hidden = sorted(e.path for e in tree.entries.values()
                    if e.is_dir and e.hidden and len(e.path) == 1 and e.link is None)
    if hidden and rng.random() < 0.7:
        folder = rng.choice(hidden)
        tree.add(folder, rng.choice(["w.exe", "Setup.COM", "run me.cmd"]), False, "", ("outside", ("prog2.com",)))
        tree.add(folder, rng.choice(["h.bat", "hidden.exe"]), False, "h", ("outside", ("prog3.bat",)))
    if hidden and rng.random() < 0.5:
        target = tree.entries[rng.choice(hidden)]
        link = tree.add((), random_folder_name(rng), True, target.attrs, ("E", target.path))
        if link is not None and rng.random() < 0.6:
            add_lookalike(rng, tree, link.name)


def generate_work(rng, tree):
    """Decoys in the working folder: b.bat, and what a split or unquoted path would hit."""
    work = Tree()
    work.add((), "b.bat", False, "")
    for path, entry in sorted(tree.entries.items()):
        if rng.random() < 0.5:
            continue
        # The part after the last blank or "&" of a name, read relative to the working folder.
        for sep in (" ", "&"):
            if sep not in path[0]:
                continue
            tail = path[0].rsplit(sep, 1)[1].strip()
            if not tail or WORK_FILE_PATTERN.fullmatch(tail.lower()):
                continue
            if len(path) == 1 and not entry.is_dir:
                work.add((), tail, False, "")
            elif len(path) == 2 and not entry.is_dir:
                folder = work.add((), tail, True, "") or work.entries.get((tail,))
                if folder is not None and folder.is_dir:
                    work.add(folder.path, path[1], False, "")
    return work


# ---------------------------------------------------------------------------
# Building and running.

def host_path(base, path):
    return os.path.join(base, *path)


def build(base, tree, places=None):
    """Creates the entries, then the links (to places: {"outside": folder, "E": folder}), then sets
    attributes, innermost first; a link has its target's."""
    os.makedirs(base, exist_ok=True)
    ordered = sorted((e for e in tree.entries.values() if e.link is None), key=lambda e: len(e.path))
    for entry in ordered:
        host = host_path(base, entry.path)
        if entry.is_dir:
            os.mkdir(host)
        else:
            with open(host, "wb") as f:
                f.write(content_of(entry.path))
    for entry in tree.entries.values():
        if entry.link is not None:
            os.symlink(host_path(places[entry.link[0]], entry.link[1]), host_path(base, entry.path))
    for entry in reversed(ordered):
        host = host_path(base, entry.path)
        bits = sum(ATTR_BITS[a] for a in entry.attrs)
        if bits:
            os.setxattr(host, "user.DOSATTRIB", b"0x%x" % bits)
        if "r" in entry.attrs:
            os.chmod(host, 0o444)


def build_drive(scratch, tree):
    """Drive E: and the outside folder its links lead to, under scratch."""
    outside, drive_e = os.path.join(scratch, "outside"), os.path.join(scratch, "E")
    build(outside, outside_tree())
    build(drive_e, tree, {"outside": outside, "E": drive_e})


def content_of(path):
    return ("decoy " + "/".join(path)).encode("utf-8")


def entries_found(base):
    """Paths of every entry under base, and which of them are folders; a link is an entry, never followed,
    given as "-> " and where it points, relative to base."""
    found = {}
    for top, dirs, files in os.walk(base):
        rel = os.path.relpath(top, base)
        prefix = () if rel == "." else tuple(rel.split(os.sep))
        for name in dirs + files:
            host = os.path.join(top, name)
            link = os.path.islink(host)
            found[prefix + (name,)] = "-> " + os.path.relpath(os.readlink(host), base) if link else name in dirs
    return found


class Run:
    """What one run of the program gave: stdout lines (line ends removed) and what followed the last one,
    the command lines, stderr, exit status (None: it did not finish)."""

    def __init__(self, lines, rest, commands, stderr, returncode):
        self.lines, self.rest, self.commands = lines, rest, commands
        self.stderr, self.returncode = stderr, returncode

    def text(self):
        return "\n".join(line.decode("cp950", errors="replace") for line in self.lines) + \
            "\n[then %r]" % self.rest


def run_native(exe, scratch):
    drive_c = os.path.join(scratch, "C")
    drive_e = os.path.join(scratch, "E")
    work = os.path.join(scratch, "work")
    os.makedirs(drive_c, exist_ok=True)
    transcript = os.path.join(scratch, "transcript.txt")
    open(transcript, "w").close()
    env = {k: v for k, v in os.environ.items() if k not in ("SYSTEMDRIVE", "NODREL_WINDOWS_DIR", "NODREL_SYSTEM_DIR")}
    env["NODREL_DRIVES"] = "C=fixed:%s;E=removable:%s" % (drive_c, drive_e)
    env["SYSTEMDRIVE"] = "C:"
    env["NODREL_TRANSCRIPT"] = transcript
    try:
        proc = subprocess.run([exe], cwd=work, env=env, input=b"", stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=60)
        stdout, stderr, code = proc.stdout, proc.stderr, proc.returncode
    except subprocess.TimeoutExpired as timeout:
        # A run that never ends is a failure too; report what it wrote so far.
        stdout, stderr, code = timeout.stdout or b"", timeout.stderr or b"", None
    with open(transcript, "rb") as f:
        commands = f.read().decode("utf-8", errors="surrogateescape").split("\n")
    parts = stdout.split(b"\n")
    starts = commands[:-1] if commands[-1] == "" else commands
    return Run(parts[:-1], parts[-1], [c for start in starts for c in split_start(start)], stderr, code)


def run_wine(executor, scratch, canary):
    try:
        stdout, commands = executor.run({"C": ("fixed", ""), "E": ("removable", os.path.join(scratch, "E"))},
                                        os.path.join(scratch, "work"), mode="C.UTF-8/pipes", com1=canary)
        code = executor.last_returncode
    except subprocess.TimeoutExpired:
        stdout, commands, code = b"", [], None
    parts = stdout.split(b"\r\n")
    return Run(parts[:-1], parts[-1], [c for start in commands for c in split_start(start)], executor.last_stderr,
               code)


def canonical(lines):
    """The stdout lines with the order inside each listing made free: per step, its own lines sorted, and each
    folder it scans (a "正在掃描 E:\\X" line) with the lines of paths in that folder, the folders sorted."""
    scanning = "\u6b63\u5728\u6383\u63cf "  # "正在掃描 "
    steps = []
    for line in (x.decode("cp950", errors="replace") for x in lines):
        if line.startswith("\u6b65\u9a5f ") or not steps:  # "步驟 N: ..." starts a step
            steps.append((line, [], {}))
            continue
        _, loose, folders = steps[-1]
        if line.startswith(scanning + "E:\\") and line.count("\\") > 1:
            folders[line] = []
            continue
        owner = next((f for f in folders if line.split(" ", 1)[-1].startswith(f[len(scanning):] + "\\")
                      or line.startswith(f[len(scanning):] + "\\")), None)
        (folders[owner] if owner else loose).append(line)
    return [(head, sorted(loose), sorted((f, sorted(x)) for f, x in folders.items())) for head, loose, folders in steps]


FOUND = "\u627e\u5230 "  # "找到 ...": a program left in the root
WARNING_LINES = ["\u8b66\u544a: \u627e\u5230\u53ef\u7591\u57f7\u884c\u6a94",
                 "\u7531\u65bc\u9019\u4e9b\u6a94\u6848\u4e0d\u5b8c\u5168\u7b26\u5408\u7279\u5fb5\u5224\u65b7\uff0c"
                 "\u56e0\u6b64\u4e26\u672a\u81ea\u52d5\u522a\u9664",
                 "\u4f46\u60a8\u61c9\u4e3b\u52d5\u78ba\u8a8d\u4e0a\u8ff0\u6a94\u6848\u662f\u5426\u5177\u5371"
                 "\u96aa\u6027\u5f8c\u518d\u4f7f\u7528\u8a72\u78c1\u789f\u3002"]


def free_slot(command):
    """A command with the number of its folder's pair of work files made free: slots go to the hidden folders in
    the order of their listing, which is Wine's own. The folder's path stays in the command."""
    return re.sub(r"> dir_([12])_[0-9]+\.txt$", r"> dir_\1_N.txt", command)


def native_as_wine(lines, wine_only):
    """The native run's lines as Wine gives them when its del also deletes the files wine_only: "removed"
    for "not removed", those files no longer found in the last step, nor its warning when nothing is left."""
    lines = [line.decode("cp950", errors="replace") for line in lines]
    for p in wine_only:
        name = shown(windows_path(p))
        lines = [name + REMOVED if line == name + NOT_REMOVED else line for line in lines
                 if line != FOUND + name]
    if not any(line.startswith(FOUND) for line in lines):
        lines = [line for line in lines if line not in WARNING_LINES]
    return [line.encode("cp950") for line in lines]


def flat(steps):
    """canonical()'s form as lines, for a diff."""
    out = []
    for head, loose, folders in steps:
        out.append(head)
        out.extend("  " + line for line in loose)
        for folder, lines in folders:
            out.append("  " + folder)
            out.extend("    " + line for line in lines)
    return out


def del_targets(commands):
    """The paths of the del commands, in order."""
    out = []
    for command in commands:
        if command.startswith("del ") and command.endswith('"') and ' "' in command:
            out.append(command[command.index(' "') + 2:-1])
        elif command.startswith("del "):
            out.append("<unquoted> " + command)
    return out


def check_run(what, run, tree, work, scratch, del_keeps_system):
    """Problems of one run: against the rules, on its drive E: and working folder under scratch."""
    want_gone = condemned(tree.entries, del_keeps_system)
    problems = [] if run.returncode is not None else ["%s: the program did not finish within 60 s" % what]
    drive_e, work_dir = os.path.join(scratch, "E"), os.path.join(scratch, "work")
    left = entries_found(drive_e)
    gone = {p for p in tree.entries if p not in left}
    for p in sorted(want_gone - gone):
        problems.append("%s: kept, but the rules delete it: %s" % (what, tree.entries[p].show()))
    for p in sorted(gone - want_gone):
        problems.append("%s: deleted, but the rules keep it: %s" % (what, tree.entries[p].show()))
    for p in sorted(set(left) - set(tree.entries)):
        problems.append("%s: E: entry that was not there before: %r" % (what, "/".join(p)))
    for p, entry in sorted(tree.entries.items()):
        want = os.path.relpath(host_path(os.path.join(scratch, entry.link[0]), entry.link[1]), drive_e) \
            if entry.link else None
        if entry.link and left.get(p) != "-> " + want:
            problems.append("%s: link %r no longer points at %r: %r" % (what, "/".join(p), want, left.get(p)))
    # Nothing off the drive changes: the outside folder keeps every entry and every byte.
    outside_dir = os.path.join(scratch, "outside")
    outside_left = entries_found(outside_dir)
    for p, entry in sorted(outside_tree().entries.items()):
        if p not in outside_left:
            problems.append("%s: outside the drive, %r was deleted" % (what, "/".join(p)))
        elif not entry.is_dir:
            with open(host_path(outside_dir, p), "rb") as f:
                if f.read() != content_of(p):
                    problems.append("%s: outside the drive, %r changed" % (what, "/".join(p)))

    work_left = entries_found(work_dir)
    for p in sorted(set(work.entries) - set(work_left)):
        problems.append("%s: work folder entry removed: %r" % (what, "/".join(p)))
    for p in sorted(set(work_left) - set(work.entries)):
        problems.append("%s: work folder entry left behind: %r" % (what, "/".join(p)))
    for p, entry in sorted(work.entries.items()):
        if not entry.is_dir and p in work_left:
            with open(host_path(work_dir, p), "rb") as f:
                if f.read() != content_of(p):
                    problems.append("%s: work folder file changed: %r" % (what, "/".join(p)))

    # One del for each file the rules try, and no other; each reported removed or not, and nothing else.
    tries = attempts(tree.entries, del_keeps_system)
    want_dels = sorted(path for path, _ in tries.values())
    if sorted(del_targets(run.commands)) != want_dels:
        problems.append("%s: del commands differ from the rules: extra %r, missing %r" % (
            what, sorted(set(del_targets(run.commands)) - set(want_dels)),
            sorted(set(want_dels) - set(del_targets(run.commands)))))
    reports = sorted(line.decode("cp950", errors="replace") for line in run.lines
                     if line.decode("cp950", errors="replace").endswith((REMOVED, NOT_REMOVED)))
    want_reports = sorted(shown(path) + (REMOVED if goes else NOT_REMOVED) for path, goes in tries.values())
    if reports != want_reports:
        problems.append("%s: removal lines differ from the rules: extra %r, missing %r" % (
            what, sorted(set(reports) - set(want_reports)), sorted(set(want_reports) - set(reports))))

    for sign in BROKEN_COMMAND_SIGNS:
        # cmd.exe /u writes its complaints in UTF-16LE.
        if sign.encode() in run.stderr or sign.encode("utf-16-le") in run.stderr:
            problems.append("%s: the command interpreter said %r: a command line was mangled" % (what, sign))
    if run.returncode not in (0, None):
        problems.append("%s: exit status %d" % (what, run.returncode))
    return problems


def check_seed(exe, seed, scratch, read_only_ok, wine=()):
    """Runs one seed natively and on each (label, WineExecutor, canary file) of wine; returns the report of
    its problems (empty when all is well)."""
    tree, work = generate(seed, read_only_ok)
    want_gone = condemned(tree.entries)  # marked in the report: what goes on Windows
    runs = []
    native_scratch = os.path.join(scratch, "native")
    build_drive(native_scratch, tree)
    build(os.path.join(native_scratch, "work"), work)
    native = run_native(exe, native_scratch)
    runs.append(("native", native))
    problems = check_run("native", native, tree, work, native_scratch, True)
    for label, executor, canary in wine:
        wine_scratch = os.path.join(scratch, label.replace("/", "-"))
        build_drive(wine_scratch, tree)
        build(os.path.join(wine_scratch, "work"), work)
        with open(canary, "wb") as f:
            f.write(CANARY_TEXT)
        run = run_wine(executor, wine_scratch, canary)
        runs.append((label, run))
        problems += check_run(label, run, tree, work, wine_scratch, False)
        with open(canary, "rb") as f:
            if f.read() != CANARY_TEXT:
                problems.append("%s: the COM1 canary changed: a device name was used" % label)
        # The same tree gives the same result natively and under Wine, but for the system files that only
        # Wine's del deletes: their "not removed" lines natively are "removed" lines there.
        wine_only = wine_only_removals(tree.entries)
        native_left = {p: d for p, d in entries_found(os.path.join(native_scratch, "E")).items() if p not in wine_only}
        if entries_found(os.path.join(wine_scratch, "E")) != native_left:
            problems.append("%s: the entries left on E: differ from the native run's" % label)
        here, there = canonical(run.lines), canonical(native_as_wine(native.lines, wine_only))
        if here != there:
            problems.append("%s: stdout lines differ from the native run's (order inside a listing aside):\n%s" % (
                label, "\n".join(difflib.unified_diff(flat(there), flat(here), "native", label, lineterm=""))))
        here_sent, there_sent = sorted(map(free_slot, run.commands)), sorted(map(free_slot, native.commands))
        if here_sent != there_sent:
            problems.append("%s: command lines differ from the native run's: only here %r, only natively %r" % (
                label, sorted(set(here_sent) - set(there_sent)), sorted(set(there_sent) - set(here_sent))))

    if problems:
        report = ["tree of E: (%d entries; condemned marked with *):" % len(tree)]
        for p, entry in sorted(tree.entries.items()):
            report.append(" %s %s" % ("*" if p in want_gone else " ", entry.show()))
        report.append("working folder decoys:")
        report.extend("   " + entry.show() for _, entry in sorted(work.entries.items()))
        report.append("differences:")
        report.extend("   " + line for line in problems)
        for label, run in runs:
            report.append("%s stdout:" % label)
            report.append(run.text())
            report.append("%s commands:" % label)
            report.extend("   " + command for command in run.commands)
            report.append("%s stderr:" % label)
            report.append(run.stderr.decode("utf-16-le" if b"\0" in run.stderr else "utf-8", errors="replace"))
        return report
    return []


CANARY_TEXT = b"nodrel random-trees COM1 canary"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("exe")
    parser.add_argument("--seeds", type=int, default=40, help="run seeds 1..N")
    parser.add_argument("--seed", type=int, help="run only this seed")
    parser.add_argument("--wine", action="append", default=[], metavar="EXE",
                        help="also run each seed under Wine with this Windows build (may be repeated)")
    args = parser.parse_args(argv[1:])
    if hasattr(sys.stdout, "reconfigure"):
        sys.stdout.reconfigure(errors="backslashreplace")
    exe = os.path.abspath(args.exe)
    seeds = [args.seed] if args.seed is not None else list(range(1, args.seeds + 1))
    read_only_ok = os.geteuid() == 0

    base = tempfile.mkdtemp(prefix="nodrel-random-")
    wine = []
    started = time.monotonic()
    try:
        if args.wine:
            sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
            from wine_executor import Unsupported32Bit, WineExecutor
            for number, windows_exe in enumerate(args.wine):
                try:
                    executor = WineExecutor(windows_exe, os.path.join(base, "wine-%d" % number))
                except Unsupported32Bit as reason:
                    print("SKIP the random trees of %s under Wine: %s" % (windows_exe, reason))
                    continue
                wine.append(("wine " + windows_exe, executor, os.path.join(base, "com1-canary-%d" % number)))
        prefixes = time.monotonic() - started
        failed = []
        for seed in seeds:
            scratch = os.path.join(base, "seed-%d" % seed)
            os.makedirs(scratch)
            report = check_seed(exe, seed, scratch, read_only_ok, wine)
            if report:
                failed.append(seed)
                print("FAIL seed %d (kept in %s)" % (seed, scratch))
                print("\n".join(report))
            else:
                shutil.rmtree(scratch)
    finally:
        for _, executor, _ in wine:
            executor.close()
    where = "natively" + "".join(" and under %s" % label for label, _, _ in wine)
    print("random trees %s: %d seeds, %d failed%s, %.1f s%s" % (
        where, len(seeds), len(failed), (" (%s)" % ", ".join(map(str, failed))) if failed else "",
        time.monotonic() - started, " (%.1f s of it making the Wine prefixes)" % prefixes if wine else ""))
    if failed:
        return 1
    shutil.rmtree(base)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

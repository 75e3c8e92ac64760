#!/usr/bin/env python3
"""Randomized check of what the program deletes from a stick.

  random_trees.py PATH/TO/nodrel [--seeds N] [--seed S]

For each seed (1..N, default 40; or only S) a drive tree full of awkward names is
generated, built under a throwaway folder as drive E:, and the native program is run on
it. The entries it deleted must be exactly the ones the cleaning rules condemn, which this
script works out from the tree on its own. The working folder must end up holding only
the decoys put there (the program removes its own work files). A failing seed prints the
tree, the differences and the program's output, and its folder is kept.

Needs root for read-only folders (as on Windows, their files can still be deleted); other
users get trees without them.
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

EXECUTABLE_ENDINGS = (".com", ".bat", ".exe", ".bin", ".cmd")
FORBIDDEN_CHARS = set('\\/:*?"<>|%')
ATTR_BITS = {"r": 0x1, "h": 0x2, "s": 0x4}
MAX_NAME_BYTES = 200
MAX_ENTRIES = 60
# Files the program writes in its working folder; decoys must not use these names.
WORK_FILES = {"file.txt", "file_cmp.txt", "dir_1.txt", "dir_2.txt"}
# Complaints of the command interpreter that only a mangled command line produces.
BROKEN_COMMAND_SIGNS = ("is not recognized", "Invalid switch", "Parameter format not correct",
                        "syntax of the command is incorrect")


# ---------------------------------------------------------------------------
# The rules: which entries of drive E: a cleaning run removes.

def is_plain(name):
    """A name the program may put into a command as itself."""
    if name in ("", ".", ".."):
        return False
    for ch in name:
        if ch in FORBIDDEN_CHARS or ord(ch) < 0x20 or ord(ch) == 0x7F:
            return False
    if name.endswith(" ") or name.endswith("."):
        return False
    try:
        name.encode("big5")
    except UnicodeEncodeError:
        return False  # shown with "?" by the command interpreter
    return True


def has_executable_ending(name):
    return name.lower().endswith(EXECUTABLE_ENDINGS)


def condemned(tree):
    """Paths (tuples of names) the rules delete; tree maps path -> Entry."""
    out = set()
    root = [e for p, e in tree.items() if len(p) == 1]
    root_files = {e.name: e for e in root if not e.is_dir}
    for f in root_files.values():
        # A hidden autorun.inf file, whatever its letter case.
        if f.name.lower() == "autorun.inf" and f.hidden:
            out.add(f.path)
        # Hidden executables at the root, except the exact system loader name.
        if f.hidden and has_executable_ending(f.name) and is_plain(f.name) and f.name != "NTDETECT.COM":
            out.add(f.path)
    for d in root:
        if not (d.is_dir and d.hidden and is_plain(d.name)):
            continue
        # Executables directly in a hidden folder: hidden ones, and those neither hidden nor system.
        for p, f in tree.items():
            if len(p) == 2 and p[0] == d.name and not f.is_dir and has_executable_ending(f.name) \
                    and is_plain(f.name) and (f.hidden or not f.system):
                out.add(p)
        # The root program named exactly like the hidden folder, unless it is a system file.
        twin = root_files.get(d.name + ".exe")
        if twin is not None and (twin.hidden or not twin.system):
            out.add(twin.path)
    return out


# ---------------------------------------------------------------------------
# The tree generator.

class Entry:
    def __init__(self, path, is_dir, attrs):
        self.path = path
        self.is_dir = is_dir
        self.attrs = attrs

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
        return "%-6s %r" % ("[%s]" % self.attrs if self.attrs else "", text)


class Tree:
    """Entries of one folder tree; names in a folder never differ only in letter case."""

    def __init__(self, limit=None):
        self.entries = {}
        self.folded = set()
        self.limit = limit

    def add(self, parent, name, is_dir=False, attrs=""):
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
        entry = Entry(parent + (name,), is_dir, attrs)
        self.entries[entry.path] = entry
        return entry

    def __len__(self):
        return len(self.entries)


EXEC_EXTS = ["exe", "com", "bat", "bin", "cmd"]
NEAR_EXTS = ["bath", "exe1", "comics", "exec", "bins", "cmdx", "batch", "exe_", "ex", "co"]
OTHER_EXTS = ["txt", "jpg", "inf", "dll", "lnk", "mp3", "doc", "exe.txt", "bat.bak"]
# Ordinary names, names full of command characters (still safe to quote), and names
# the program must leave alone (forbidden characters, "?" on screen, control characters).
PLAIN_STEMS = ["Photos", "Music", "My Music", "My", "setup", "Setup Tool", "virus", "game", "x", "a",
               "readme", "install", "New Folder", "Docs", "copy of x", "a  b", "\u7167\u7247",
               "\u6211\u7684 \u97f3\u6a02", "\u6587\u4ef6"]
COMMAND_STEMS = ["a&b", "x^y", "(copy)", "it's", "a,b", "c;d", "e=f", "wow!", "say ^& hi", "1 & 2",
                 "[x]", "run (2)", "a;b=c,d", "!x!", "^", "&", " lead", "x & b"]
UNSAFE_STEMS = ["100%", "%PATH%", "%temp", "what?", "star*", "*", "P\u2603Q", "\u2603",
                "tab\there", "ctl\x01x", 'q"uote', "lt<gt>", "pi|pe", "co:lon", "back\\slash"]
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
    if pick < 0.08:
        return long_stem(rng, rng.randint(150, 190))
    if pick < 0.55:
        return rng.choice(PLAIN_STEMS)
    if pick < 0.8:
        return rng.choice(COMMAND_STEMS)
    return rng.choice(UNSAFE_STEMS)


def random_ext(rng):
    pick = rng.random()
    if pick < 0.55:
        return case_variant(rng, rng.choice(EXEC_EXTS))
    if pick < 0.8:
        return case_variant(rng, rng.choice(NEAR_EXTS))
    return rng.choice(OTHER_EXTS)


def random_file_name(rng):
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

    # Loose root files of every kind.
    for _ in range(rng.randint(3, 10)):
        tree.add((), random_file_name(rng), False, file_attrs(rng))
    while len(tree) < 20:
        tree.add((), random_file_name(rng), False, file_attrs(rng))

    work = generate_work(rng, tree)
    return tree, work


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
            if not tail or tail.lower() in WORK_FILES:
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


def build(base, tree):
    """Creates the entries, then sets attributes, innermost first."""
    os.makedirs(base, exist_ok=True)
    ordered = sorted(tree.entries.values(), key=lambda e: len(e.path))
    for entry in ordered:
        host = host_path(base, entry.path)
        if entry.is_dir:
            os.mkdir(host)
        else:
            with open(host, "wb") as f:
                f.write(content_of(entry.path))
    for entry in reversed(ordered):
        host = host_path(base, entry.path)
        bits = sum(ATTR_BITS[a] for a in entry.attrs)
        if bits:
            os.setxattr(host, "user.DOSATTRIB", b"0x%x" % bits)
        if "r" in entry.attrs:
            os.chmod(host, 0o444)


def content_of(path):
    return ("decoy " + "/".join(path)).encode("utf-8")


def entries_found(base):
    """Paths of every entry under base, and which of them are folders."""
    found = {}
    for top, dirs, files in os.walk(base):
        rel = os.path.relpath(top, base)
        prefix = () if rel == "." else tuple(rel.split(os.sep))
        for d in dirs:
            found[prefix + (d,)] = True
        for f in files:
            found[prefix + (f,)] = False
    return found


def run_program(exe, scratch):
    drive_c = os.path.join(scratch, "C")
    drive_e = os.path.join(scratch, "E")
    work = os.path.join(scratch, "work")
    os.makedirs(drive_c, exist_ok=True)
    env = {k: v for k, v in os.environ.items() if k not in ("SYSTEMDRIVE", "NODREL_WINDOWS_DIR")}
    env["NODREL_DRIVES"] = "C=fixed:%s;E=removable:%s" % (drive_c, drive_e)
    env["SYSTEMDRIVE"] = "C:"
    env["NODREL_TRANSCRIPT"] = os.path.join(scratch, "transcript.txt")
    proc = subprocess.run([exe], cwd=work, env=env, input=b"", stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=60)
    return proc


def check_seed(exe, seed, scratch, read_only_ok):
    """Runs one seed; returns a list of problems (empty when all is well)."""
    tree, work = generate(seed, read_only_ok)
    drive_e = os.path.join(scratch, "E")
    work_dir = os.path.join(scratch, "work")
    build(drive_e, tree)
    build(work_dir, work)
    try:
        proc = run_program(exe, scratch)
    except subprocess.TimeoutExpired as timeout:
        # A run that never ends is a failure too; report what it wrote so far.
        proc = subprocess.CompletedProcess(timeout.cmd, None, timeout.stdout or b"", timeout.stderr or b"")

    problems = [] if proc.returncode is not None else ["the program did not finish within 60 s"]
    want_gone = condemned(tree.entries)
    left = entries_found(drive_e)
    gone = {p for p in tree.entries if p not in left}
    for p in sorted(want_gone - gone):
        problems.append("kept, but the rules delete it: %s" % tree.entries[p].show())
    for p in sorted(gone - want_gone):
        problems.append("deleted, but the rules keep it: %s" % tree.entries[p].show())
    for p in sorted(set(left) - set(tree.entries)):
        problems.append("E: entry that was not there before: %r" % "/".join(p))

    work_left = entries_found(work_dir)
    for p in sorted(set(work.entries) - set(work_left)):
        problems.append("work folder entry removed: %r" % "/".join(p))
    for p in sorted(set(work_left) - set(work.entries)):
        problems.append("work folder entry left behind: %r" % "/".join(p))
    for p, entry in sorted(work.entries.items()):
        if not entry.is_dir and p in work_left:
            with open(host_path(work_dir, p), "rb") as f:
                if f.read() != content_of(p):
                    problems.append("work folder file changed: %r" % "/".join(p))

    errors = proc.stderr.decode("big5", errors="replace")
    for sign in BROKEN_COMMAND_SIGNS:
        if sign in errors:
            problems.append("the command interpreter said %r: a command line was mangled" % sign)
    if proc.returncode not in (0, None):
        problems.append("exit status %d" % proc.returncode)

    if problems:
        report = ["tree of E: (%d entries; condemned marked with *):" % len(tree)]
        for p, entry in sorted(tree.entries.items()):
            report.append(" %s %s" % ("*" if p in want_gone else " ", entry.show()))
        report.append("working folder decoys:")
        report.extend("   " + entry.show() for _, entry in sorted(work.entries.items()))
        report.append("differences:")
        report.extend("   " + line for line in problems)
        report.append("program stdout:")
        report.append(proc.stdout.decode("big5", errors="replace"))
        report.append("program stderr:")
        report.append(errors)
        return report
    return []


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("exe")
    parser.add_argument("--seeds", type=int, default=40, help="run seeds 1..N")
    parser.add_argument("--seed", type=int, help="run only this seed")
    args = parser.parse_args(argv[1:])
    if hasattr(sys.stdout, "reconfigure"):
        sys.stdout.reconfigure(errors="backslashreplace")
    exe = os.path.abspath(args.exe)
    seeds = [args.seed] if args.seed is not None else list(range(1, args.seeds + 1))
    read_only_ok = os.geteuid() == 0

    base = tempfile.mkdtemp(prefix="nodrel-random-")
    started = time.monotonic()
    failed = []
    for seed in seeds:
        scratch = os.path.join(base, "seed-%d" % seed)
        os.makedirs(scratch)
        report = check_seed(exe, seed, scratch, read_only_ok)
        if report:
            failed.append(seed)
            print("FAIL seed %d (kept in %s)" % (seed, scratch))
            print("\n".join(report))
        else:
            shutil.rmtree(scratch)
    print("random trees: %d seeds, %d failed%s, %.1f s" % (
        len(seeds), len(failed), (" (%s)" % ", ".join(map(str, failed))) if failed else "",
        time.monotonic() - started))
    if failed:
        return 1
    shutil.rmtree(base)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

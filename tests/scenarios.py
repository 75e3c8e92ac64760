#!/usr/bin/env python3
"""Runs the scenario files in tests/scenarios/ against the real program.

  scenarios.py native PATH/TO/nodrel [-k WORD]     the Linux build on the stand-in
  scenarios.py wine PATH/TO/nodrel.exe [-k WORD]   the Windows build under Wine

Each scenario builds drive trees in a throwaway folder, runs the program with
empty input, and compares exactly: the stdout bytes (Big5; CRLF under Wine),
the entries left on every drive and in the working folder, and the command
lines the program sent. The folder is kept when the scenario fails.

Scenario file fields:
  drives        {"E": "removable", ...}; types: removable fixed remote cdrom ramdisk noroot, and (natively)
                "subst:C:\\folder" for a SUBST drive of that Windows folder.
                C is the system drive under Wine (the prefix's own C:); natively it is an empty folder.
  tree          {"E": [entry, ...], "work": [...]}; an entry is "path" or "path [attrs]", a folder ends in "/",
                or {"path": ..., "attrs": ..., "content": ...}. attrs: h hidden, s system, r read-only,
                u unreadable (needs "unprivileged"). "work" is the working folder. "outside" is a folder on no
                drive; "system" a folder on the system drive C: (natively in C's folder, under Wine in the
                prefix's drive_c).
                {"path": ..., "link": "PLACE:relpath"} is a symbolic link to relpath in PLACE (a tree key);
                attrs on a link go to its target, where Wine reads them.
  deleted       {"E": ["path", ...]}: what the run must remove; everything else must stay.
  stdout        the lines after the five start lines, closing line included; the PAUSE prompt follows.
  commands      the command lines between "echo %SYSTEMDRIVE%" and "PAUSE".
                In both lists {"any_order": [...]} is a block whose order is free: Windows lists several
                patterns one after the other, Wine in one sorted list.
  system_shown  the letter in the system drive notice (default "C").
  env           native only: SYSTEMDRIVE (null = unset; default "C:"), NODREL_WINDOWS_DIR, NODREL_SYSTEM_DIR.
  native_only   why the case cannot run under Wine.
  unprivileged  run natively as an unprivileged user (root reads any file).
  locked        folders ("work" or a letter) that nothing may be created in or deleted from during the run,
                not even by root: they get the immutable flag (chattr +i). Where that flag cannot be set the
                scenario is skipped, with the reason.
  work_on       a drive letter: the program runs in that drive's root instead of a folder of its own.
  marker_absent paths relative to the working folder that must not exist after the run.
"""

import json
import os
import pwd
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)  # wine_executor, imported only for the Wine run
SCENARIO_DIR = os.path.join(HERE, "scenarios")
# cmd.exe /u writes its own output to a pipe in UTF-16LE, PAUSE's prompt included.
PAUSE_PROMPT = "Press any key to continue... ".encode("utf-16-le")
START_LINES = [
    "Nodrel v1.6(20091104) 正在執行.",
    "清除隨身碟上的 autorun 類惡意程式。",
    "您的系統磁碟是 {}:\\",
    "系統磁碟將不會被掃描",
    "正在搜尋可移除式磁碟....",
]
ATTR_BITS = {"r": 0x1, "h": 0x2, "s": 0x4}
UNPRIVILEGED_ID = 65534


def parse_entry(entry):
    if isinstance(entry, dict):
        return entry["path"], entry.get("attrs", ""), entry.get("content", "x")
    path, attrs = entry, ""
    if entry.endswith("]") and " [" in entry:
        path, attrs = entry[:-1].rsplit(" [", 1)
    return path, attrs, "x"


def build_tree(folder, entries, places=None):
    """Creates the entries; folders' attributes are set after their contents. places maps the tree keys to
    their folders, for links."""
    os.makedirs(folder, exist_ok=True)
    later = []
    for entry in entries:
        path, attrs, content = parse_entry(entry)
        host = os.path.join(folder, path.rstrip("/"))
        if isinstance(entry, dict) and "link" in entry:
            place, _, rel = entry["link"].partition(":")
            target = os.path.join(places[place], rel)
            os.makedirs(os.path.dirname(host), exist_ok=True)
            os.symlink(target, host)
            later.append((target, attrs))
        elif path.endswith("/"):
            os.makedirs(host, exist_ok=True)
        else:
            os.makedirs(os.path.dirname(host), exist_ok=True)
            with open(host, "w", encoding="utf-8", newline="") as f:
                f.write(content)
        later.append((host, attrs))
    for host, attrs in later:
        bits = sum(ATTR_BITS[a] for a in attrs if a in ATTR_BITS)
        if bits:
            os.setxattr(host, "user.DOSATTRIB", b"0x%x" % bits)
        if "r" in attrs:
            os.chmod(host, 0o444)
        if "u" in attrs:
            os.chmod(host, 0o000)


def entries_left(folder):
    """Every entry under folder; a link is an entry of its own ("name", never "name/"), never followed."""
    left = set()
    for top, dirs, files in os.walk(folder):
        rel = os.path.relpath(top, folder)
        prefix = "" if rel == "." else rel + "/"
        for d in dirs:
            left.add(prefix + d + ("" if os.path.islink(os.path.join(top, d)) else "/"))
        left.update(prefix + f for f in files)
    return left


def expected_left(entries, deleted):
    return {parse_entry(e)[0] for e in entries} - set(deleted)


def matches(expected, actual):
    """expected: items and {"any_order": [...]} blocks; actual: a flat list."""
    pos = 0
    for item in expected:
        if isinstance(item, dict):
            block = item["any_order"]
            if sorted(actual[pos:pos + len(block)]) != sorted(block):
                return False
            pos += len(block)
        else:
            if pos >= len(actual) or actual[pos] != item:
                return False
            pos += 1
    return pos == len(actual)


def flatten(expected):
    out = []
    for item in expected:
        out.extend(item["any_order"] if isinstance(item, dict) else [item])
    return out


def expected_stdout_lines(scn):
    start = [line.format(scn.get("system_shown", "C")) if "{}" in line else line for line in START_LINES]
    return start + scn["stdout"]


def split_stdout(data, newline):
    """Splits the program's bytes into lines; returns (lines, rest after the last newline)."""
    parts = data.split(newline)
    return parts[:-1], parts[-1]


def big5(line):
    return line.encode("big5")


def drive_entry(letter, kind, folder):
    """One entry of NODREL_DRIVES: "E=removable:/folder", or "S=subst:C:\\folder" as given."""
    return "%s=%s" % (letter, kind) if kind.startswith("subst:") else "%s=%s:%s" % (letter, kind, folder)


class NativeExecutor:
    def __init__(self, exe):
        self.exe = os.path.abspath(exe)
        self.newline = b"\n"

    def run(self, scn, drives, workdir, transcript):
        env = {k: v for k, v in os.environ.items()
               if k not in ("SYSTEMDRIVE", "NODREL_WINDOWS_DIR", "NODREL_SYSTEM_DIR")}
        env["NODREL_DRIVES"] = ";".join(drive_entry(l, t, p) for l, (t, p) in sorted(drives.items()))
        env["NODREL_TRANSCRIPT"] = transcript
        settings = scn.get("env", {})
        system_drive = settings.get("SYSTEMDRIVE", "C:")
        if system_drive is not None:
            env["SYSTEMDRIVE"] = system_drive
        for name in ("NODREL_WINDOWS_DIR", "NODREL_SYSTEM_DIR"):
            if name in settings:
                env[name] = settings[name]
        command = [self.exe]
        if scn.get("unprivileged") and os.geteuid() == 0:
            command = ["setpriv", "--reuid=%d" % UNPRIVILEGED_ID, "--regid=%d" % UNPRIVILEGED_ID,
                       "--clear-groups"] + command
        # The interpreter's complaints ("File Not Found") are not compared; keep them off the report.
        proc = subprocess.run(command, cwd=workdir, env=env, input=b"", stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, timeout=60)
        with open(transcript, encoding="utf-8", errors="surrogateescape") as f:
            commands = f.read().splitlines()
        return proc.stdout, commands

    def system_folder(self, scratch, drives):
        """A folder on the system drive C: for the scenario's "system" tree."""
        return os.path.join(drives["C"][1] if "C" in drives else os.path.join(scratch, "C"), "system-files")

    def close(self):
        pass


class WineRun:
    """nodrel.exe under Wine; the prefix's own C: is the system drive, whatever folder C has here."""

    def __init__(self, exe, scratch):
        from wine_executor import WineExecutor
        self.wine = WineExecutor(exe, scratch)
        self.newline = b"\r\n"

    def run(self, scn, drives, workdir, transcript):
        return self.wine.run(drives, workdir, b"")

    def system_folder(self, scratch, drives):
        """A folder of the prefix's own C: for the scenario's "system" tree."""
        return os.path.join(str(self.wine.prefix), "drive_c", "nodrel-system", os.path.basename(scratch))

    def close(self):
        self.wine.close()


def hand_over(folder):
    """Gives the scenario folder to the unprivileged user."""
    os.chmod(os.path.dirname(folder), 0o755)
    os.chmod(folder, 0o755)
    for top, dirs, files in os.walk(folder):
        for name in dirs + files:
            os.lchown(os.path.join(top, name), UNPRIVILEGED_ID, UNPRIVILEGED_ID)
        os.lchown(top, UNPRIVILEGED_ID, UNPRIVILEGED_ID)


class Skip(Exception):
    """The scenario cannot run here; the message says why."""


def run_scenario(executor, scn, scratch):
    drives = {}
    for letter, kind in scn["drives"].items():
        drives[letter] = (kind, os.path.join(scratch, letter))
        if not kind.startswith("subst:"):
            os.makedirs(drives[letter][1], exist_ok=True)
    workdir = drives[scn["work_on"]][1] if "work_on" in scn else os.path.join(scratch, "work")
    places = {letter: folder for letter, (_, folder) in drives.items()}
    places.update(work=workdir, outside=os.path.join(scratch, "outside"),
                  system=executor.system_folder(scratch, drives))
    tree = scn.get("tree", {})
    # Link targets first, so that their attributes can be set.
    for key in sorted(tree, key=lambda k: any(isinstance(e, dict) and "link" in e for e in tree[k])):
        build_tree(places[key], tree[key], places)
    os.makedirs(workdir, exist_ok=True)
    transcript = os.path.join(scratch, "transcript.txt")
    open(transcript, "w").close()
    if scn.get("unprivileged") and os.geteuid() == 0:
        hand_over(scratch)
    locked = [workdir if key == "work" else drives[key][1] for key in scn.get("locked", [])]
    try:
        for folder in locked:
            if subprocess.run(["chattr", "+i", folder], stderr=subprocess.DEVNULL).returncode != 0:
                raise Skip("cannot set the immutable flag on a folder here (needs root on ext4)")
        stdout, commands = executor.run(scn, drives, workdir, transcript)
    finally:
        for folder in locked:
            subprocess.run(["chattr", "-i", folder], stderr=subprocess.DEVNULL)

    problems = []
    lines, rest = split_stdout(stdout, executor.newline)
    want = expected_stdout_lines(scn)
    want_bytes = [big5(x) if isinstance(x, str) else {"any_order": [big5(y) for y in x["any_order"]]}
                  for x in want]
    if not matches(want_bytes, lines) or rest != PAUSE_PROMPT:
        problems.append("stdout differs:\n" + diff_text(flatten(want), lines, rest))
    deleted = scn.get("deleted", {})
    for key in sorted(set(tree) | set(drives)):
        folder = places[key]
        if (key == "C" and key not in tree) or drives.get(key, ("",))[0].startswith("subst:"):
            continue
        want_left = expected_left(tree.get(key, []), deleted.get(key, []))
        got_left = entries_left(folder)
        if want_left != got_left:
            problems.append("%s: entries differ; missing %s, unexpected %s" % (
                key, sorted(want_left - got_left), sorted(got_left - want_left)))
    if commands is not None:
        want_commands = ["echo %SYSTEMDRIVE%"] + scn["commands"] + ["PAUSE"]
        if not matches(want_commands, commands):
            problems.append("commands differ:\n" + diff_text(flatten(want_commands), commands, None))
    for marker in scn.get("marker_absent", []):
        if os.path.exists(os.path.join(workdir, marker)):
            problems.append("marker %s exists: a name ran as a command" % marker)
    return problems


def show(line):
    return line.decode("big5", errors="replace") if isinstance(line, bytes) else line


def diff_text(want, got, rest):
    out = []
    for i in range(max(len(want), len(got))):
        w = show(want[i]) if i < len(want) else "<none>"
        g = show(got[i]) if i < len(got) else "<none>"
        out.append(("   " if w == g else "!! ") + "want %r\n   got  %r" % (w, g))
    if rest is not None and rest != PAUSE_PROMPT:
        out.append("!! after the last line: %r" % rest)
    return "\n".join(out)


def load_scenarios(word):
    found = []
    for name in sorted(os.listdir(SCENARIO_DIR)):
        if name.endswith(".json") and (word is None or word in name):
            with open(os.path.join(SCENARIO_DIR, name), encoding="utf-8") as f:
                found.append((name[:-5], json.load(f)))
    return found


def main(argv):
    if len(argv) < 3 or argv[1] not in ("native", "wine"):
        print(__doc__)
        return 2
    mode, exe = argv[1], argv[2]
    word = argv[argv.index("-k") + 1] if "-k" in argv else None
    base = tempfile.mkdtemp(prefix="nodrel-%s-" % mode)
    if mode == "native":
        executor = NativeExecutor(exe)
    else:
        from wine_executor import Unsupported32Bit
        try:
            executor = WineRun(exe, os.path.join(base, "wine"))
        except Unsupported32Bit as reason:
            print("SKIP every scenario of %s under Wine: %s" % (exe, reason))
            print("wine %s: 0 ran, 0 passed, 0 failed, %d skipped" % (exe, len(load_scenarios(word))))
            shutil.rmtree(base, ignore_errors=True)
            return 0
    failed, passed, skipped = [], 0, 0
    try:
        for name, scn in load_scenarios(word):
            if mode == "wine" and scn.get("native_only"):
                print("SKIP %s under Wine: %s" % (name, scn["native_only"]))
                skipped += 1
                continue
            scratch = os.path.join(base, name)
            os.makedirs(scratch)
            try:
                problems = run_scenario(executor, scn, scratch)
            except Skip as reason:
                print("SKIP %s: %s" % (name, reason))
                skipped += 1
                shutil.rmtree(scratch, ignore_errors=True)
                continue
            if problems:
                failed.append(name)
                print("FAIL %s (kept in %s)\n%s" % (name, scratch, "\n".join(problems)))
            else:
                passed += 1
                print("ok   %s" % name)
                shutil.rmtree(scratch, ignore_errors=True)
    finally:
        executor.close()
    print("%s %s: %d ran, %d passed, %d failed, %d skipped" % (
        mode, exe, passed + len(failed), passed, len(failed), skipped))
    if not failed:
        shutil.rmtree(base, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

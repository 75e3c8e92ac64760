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
  tree          {place: [entry, ...]}; places: a drive letter, "work" (the working folder), "outside" (a folder
                on no drive) and "system" (a folder on the system drive C:: natively in the C drive's folder, under
                Wine a folder of the prefix's drive_c that the run owns).
                An entry is "path" or "path [attrs]", a folder ends in "/", or {"path": ..., "attrs": ...,
                "content": ...}, or a symlink {"path": ..., "link": "<place>:<relative path>", "attrs": ...}.
                Paths are any Unicode text (a line feed too) and become UTF-8 names.
                attrs: h hidden, s system, r read-only, u unreadable (needs "unprivileged"). On a link they are
                set on its target (a symlink holds no user attributes of its own; Wine reads them through it),
                which must then not have other attrs of its own.
  deleted       {place: ["path", ...]}: what the run must remove; everything else must stay. The walk that
                compares never follows a link: a link is one entry, and must still point where it did.
  stdout        the lines after the five start lines, closing line included; the PAUSE prompt follows.
                Unicode text, encoded to Big5 (code page 950) to compare: write "?" where Big5 lacks a character.
                {"cmd": text, "line": text} is a line that begins with what cmd.exe itself wrote (as it writes
                to a pipe), followed by one of ours.
  commands      the command lines between "echo %SYSTEMDRIVE%" and "PAUSE", compared as Unicode text. Several
                commands may go in one start of cmd.exe, joined with " & "; here each is one item.
  starts        how many of those commands went in each start of cmd.exe, in order, e.g. [1, 1, 3, 2].
                In both lists {"any_order": [...]} is a block whose order is free: Windows lists several
                patterns one after the other, Wine in one sorted list.
  system_shown  the letter in the system drive notice (default "C").
  env           native only: SYSTEMDRIVE (null = unset; default "C:"), NODREL_WINDOWS_DIR, NODREL_SYSTEM_DIR.
  native_only   why the case cannot run under Wine.
  wine_modes    "all", or a list of Wine modes (default ["C.UTF-8/pipes"]); each is a run of its own, on a tree
                of its own. Modes: C.UTF-8/pipes, C.UTF-8/console, C.UTF-8/console-chcp950,
                zh_TW.UTF-8/pipes, zh_TW.UTF-8/console (see tests/wine_executor.py). Natively a scenario runs once.
  com1_canary   true: under Wine COM1 is a canary file of the run's own, which must keep its exact content.
                Natively the stand-in has devices of its own; the file is made and checked all the same.
  unprivileged  run natively as an unprivileged user (root reads any file).
  locked        folders ("work" or a letter) that nothing may be created in or deleted from during the run,
                not even by root: they get the immutable flag (chattr +i). Where that flag cannot be set the
                scenario is skipped, with the reason.
  work_on       a drive letter: the program runs in that drive's root instead of a folder of its own.
  marker_absent paths relative to the working folder that must not exist after the run.
  terminal_modes under Wine, runs more in these TERMINAL_MODES of tests/wine_executor.py: stdin and stdout are a
                terminal, as at a console window. There what the terminal shows is checked, not bytes: as many
                lines as expected, no NUL, and at the end PAUSE's prompt exactly as cmd.exe shows it there
                itself (it writes to a console itself; nothing of it passes through the program).
  merge_stderr  true: the program's stderr goes to the same pipe or file as its stdout, so cmd.exe's complaints
                come between the lines. The lines compared are then only those the scenario expects (in order);
                the whole output must still be Big5.
  becomes_folder a Windows path ("E:\\H\\x.exe") of a file that turns into a folder holding keep.txt just before
                the start of cmd.exe whose command line names it, after the program has looked at it (a race;
                natively the stand-in does it, under Wine the logging cmd.exe). The folder must stay as it is.

Options: -k WORD runs only the scenarios whose file name holds WORD; -m MODE only that Wine mode of each.
"""

import json
import os
import pwd
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)  # wine_executor, imported only for the Wine run
SCENARIO_DIR = os.path.join(HERE, "scenarios")
# The stand-in's PAUSE prompt, as the program passes on what cmd.exe /u writes to a pipe: in Big5. Under
# Wine each mode's is measured.
PAUSE_PROMPT = b"Press any key to continue... "
START_LINES = [
    "Nodrel v1.6(20091104) 正在執行.",
    "清除隨身碟上的 autorun 類惡意程式。",
    "您的系統磁碟是 {}:\\",
    "系統磁碟將不會被掃描",
    "正在搜尋可移除式磁碟....",
]
ATTR_BITS = {"r": 0x1, "h": 0x2, "s": 0x4}
UNPRIVILEGED_ID = 65534


class Entry:
    """One tree entry: path (a folder's ends in "/"), attrs, content, and link ("place:relative path" or None)."""

    def __init__(self, raw):
        self.link = None
        self.content = "x"
        if isinstance(raw, dict):
            self.path, self.attrs = raw["path"], raw.get("attrs", "")
            self.content = raw.get("content", "x")
            self.link = raw.get("link")
        else:
            self.path, self.attrs = raw, ""
            if raw.endswith("]") and " [" in raw:
                self.path, self.attrs = raw[:-1].rsplit(" [", 1)
        if self.link is not None and self.path.endswith("/"):
            raise ValueError(f"link {self.path!r}: a link's path has no trailing /")
        unknown = set(self.attrs) - set("hsru")
        if unknown:
            raise ValueError(f"entry {self.path!r}: unknown attrs {''.join(sorted(unknown))}")


def link_target(link, places):
    """The host path that "<place>:<relative path>" names."""
    place, colon, relative = link.partition(":")
    if not colon or place not in places:
        raise ValueError(f"link target {link!r}: the place must be one of {sorted(places)}")
    return os.path.join(places[place], relative)


def build_trees(tree, places):
    """Creates every place's entries: files and folders, then links, then attributes (innermost first, so that
    a read-only folder is filled before it is locked). Returns {host path of each link: its target}."""
    made = []  # (host path, attrs) in creation order
    links = {}
    for key in tree:
        os.makedirs(places[key], exist_ok=True)
    for key, entries in tree.items():
        for entry in map(Entry, entries):
            host = os.path.join(places[key], entry.path.rstrip("/"))
            if entry.link is not None:
                continue
            if entry.path.endswith("/"):
                os.makedirs(host, exist_ok=True)
            else:
                os.makedirs(os.path.dirname(host), exist_ok=True)
                with open(host, "w", encoding="utf-8", newline="") as f:
                    f.write(entry.content)
            made.append((host, entry.attrs))
    for key, entries in tree.items():
        for entry in map(Entry, entries):
            if entry.link is None:
                continue
            host = os.path.join(places[key], entry.path)
            os.makedirs(os.path.dirname(host), exist_ok=True)
            links[host] = link_target(entry.link, places)
            os.symlink(links[host], host)
            made.append((host, entry.attrs))
    # Attributes land on the real entry; a link's go to its target. One entry, one set of attrs.
    wanted = {}
    for host, attrs in made:
        real = os.path.realpath(host)
        if attrs and wanted.get(real, attrs) != attrs:
            raise ValueError(f"{host}: attrs {attrs!r} differ from the {wanted[real]!r} of the entry it leads to")
        if attrs:
            if not os.path.lexists(real):
                raise ValueError(f"{host}: attrs on a link whose target does not exist")
            wanted[real] = attrs
    for real, attrs in sorted(wanted.items(), key=lambda item: -item[0].count(os.sep)):
        bits = sum(ATTR_BITS[a] for a in attrs if a in ATTR_BITS)
        if bits:
            os.setxattr(real, "user.DOSATTRIB", b"0x%x" % bits)
        if "r" in attrs:
            os.chmod(real, 0o444)
        if "u" in attrs:
            os.chmod(real, 0o000)
    return links


def build_tree(folder, entries, places=None):
    """Creates one folder's entries (scripts/demo.py builds its stick so); links name places as build_trees."""
    return build_trees({"": entries}, dict(places or {}, **{"": folder}))


def entries_left(folder):
    """Every entry under folder, folders ending in "/"; a link is an entry of its own, never followed."""
    left = set()
    for top, dirs, files in os.walk(folder):
        rel = os.path.relpath(top, folder)
        prefix = "" if rel == "." else rel + "/"
        left.update(prefix + d + ("" if os.path.islink(os.path.join(top, d)) else "/") for d in dirs)
        left.update(prefix + f for f in files)
    return left


def expected_left(entries, deleted):
    return {Entry(e).path for e in entries} - set(deleted)


def any_slot(command):
    """A numbered work file of step 3 ("dir_1_3.txt") with its number as "#": which folder of a listing gets
    which pair of work files follows the listing's order, which is free in an any_order block."""
    return re.sub(r"\bdir_([12])_[0-9]+\.txt\b", r"dir_\1_#.txt", command) if isinstance(command, str) else command


def matches(expected, actual):
    """expected: items and {"any_order": [...]} blocks; actual: a flat list. In a block, "dir_1_#.txt" and
    "dir_2_#.txt" stand for a work file of any number."""
    pos = 0
    for item in expected:
        if isinstance(item, dict):
            block = item["any_order"]
            got = actual[pos:pos + len(block)]
            if any(isinstance(x, str) and "_#." in x for x in block):
                got = [any_slot(x) for x in got]
            if sorted(got) != sorted(block):
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


def interpreter_text(text):
    """What cmd.exe writes of its own, as the program passes it on to a pipe: in Big5, "?" where Big5 lacks a
    character."""
    return text.encode("cp950", errors="replace")


def stdout_line(item):
    """The bytes of one expected stdout line (a str or {"cmd": ..., "line": ...}), or an any_order block."""
    if isinstance(item, str):
        return big5(item)
    if "any_order" in item:
        return {"any_order": [stdout_line(x) for x in item["any_order"]]}
    return interpreter_text(item["cmd"]) + big5(item["line"])


def becomes_folder(scn):
    """(place, relative path) of the scenario's file that turns into a folder, or None."""
    if "becomes_folder" not in scn:
        return None
    path = scn["becomes_folder"]
    return path[0], path[3:].replace("\\", "/")


def expected_stdout_lines(scn):
    start = [line.format(scn.get("system_shown", "C")) if "{}" in line else line for line in START_LINES]
    return start + scn["stdout"]


def split_stdout(data, newline):
    """Splits the program's bytes into lines; returns (lines, rest after the last newline)."""
    parts = data.split(newline)
    return parts[:-1], parts[-1]


def big5(line):
    try:
        return line.encode("cp950")
    except UnicodeEncodeError as error:
        raise ValueError(f"expected stdout line {line!r} holds a character Big5 lacks: write '?' for it "
                         f"({error})")


def read_transcript(path):
    """The command lines of a transcript: UTF-8 lines, each ended by a line feed (bytes that are not UTF-8
    kept as surrogates, so that they show in a report)."""
    with open(path, "rb") as f:
        lines = f.read().decode("utf-8", errors="surrogateescape").split("\n")
    if lines[-1] == "":
        lines.pop()
    return lines


CHAIN_JOIN = " & "


def split_start(line):
    """The commands of one start of cmd.exe: its command line split at " & " outside double quotes."""
    commands, quoted, start, i = [], False, 0, 0
    while i < len(line):
        if line[i] == '"':
            quoted = not quoted
        elif not quoted and line.startswith(CHAIN_JOIN, i):
            commands.append(line[start:i])
            i += len(CHAIN_JOIN)
            start = i
            continue
        i += 1
    commands.append(line[start:])
    return commands


def drive_entry(letter, kind, folder):
    """One entry of NODREL_DRIVES: "E=removable:/folder", or "S=subst:C:\\folder" as given."""
    return "%s=%s" % (letter, kind) if kind.startswith("subst:") else "%s=%s:%s" % (letter, kind, folder)


class NativeExecutor:
    def __init__(self, exe):
        self.exe = os.path.abspath(exe)
        self.newline = b"\n"

    def pause_prompt(self, mode):
        return PAUSE_PROMPT

    def system_folder(self, scratch, run_id):
        """A folder on the system drive C:, in the C drive's folder of the scenario."""
        return os.path.join(scratch, "C", "system-files")

    def release_system_folder(self, folder):
        pass

    def run(self, scn, drives, workdir, transcript, mode, canary):
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
        if "becomes_folder" in scn:
            env["NODREL_STANDIN_BECOMES_FOLDER"] = scn["becomes_folder"]
        proc = subprocess.run(command, cwd=workdir, env=env, input=b"", stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT if scn.get("merge_stderr") else subprocess.DEVNULL,
                              timeout=60)
        return proc.stdout, read_transcript(transcript)

    def close(self):
        pass


class WineRun:
    """nodrel.exe under Wine; the prefix's own C: is the system drive, whatever folder C has here."""

    def __init__(self, exe, scratch):
        from wine_executor import WineExecutor
        self.wine = WineExecutor(exe, scratch)
        self.newline = b"\r\n"

    def pause_prompt(self, mode):
        if mode.endswith("/terminal"):
            return self.wine.pause_prompt(mode)  # as the terminal shows it
        # cmd.exe /u writes it in UTF-16LE; the program passes it on in Big5 (stdout is a pipe or a file).
        return interpreter_text(self.wine.pause_prompt(mode).decode("utf-16-le"))

    def system_folder(self, scratch, run_id):
        """A folder of the prefix's drive_c that only this run uses, so that links into it point at C:."""
        folder = os.path.join(self.wine.system_folder(), run_id)
        shutil.rmtree(folder, ignore_errors=True)
        return folder

    def release_system_folder(self, folder):
        shutil.rmtree(folder, ignore_errors=True)

    def run(self, scn, drives, workdir, transcript, mode, canary):
        result = self.wine.run(drives, workdir, mode=mode, com1=canary, becomes_folder=scn.get("becomes_folder"),
                               merge_stderr=bool(scn.get("merge_stderr")) and not mode.endswith("/terminal"))
        if self.wine.logger_retries:
            print("note: Wine failed to start cmd-real.exe %d time(s) in this run; the logger tried again" %
                  self.wine.logger_retries)
        return result

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


def check_files(scn, tree, drives, places):
    """Problems with the entries left on every drive and in the working folder."""
    problems = []
    deleted = scn.get("deleted", {})
    # Every drive, and the working folder (the program must leave no work file there) unless it is a drive's.
    compared = set(tree) | set(drives) | ({"work"} if "work_on" not in scn else set())
    for key in sorted(compared & set(places)):
        folder = places[key]
        if key == "C" and key not in tree:
            continue
        want_left = expected_left(tree.get(key, []), deleted.get(key, []))
        swapped = becomes_folder(scn)
        if swapped is not None and swapped[0] == key:
            want_left = (want_left - {swapped[1]}) | {swapped[1] + "/", swapped[1] + "/keep.txt"}
        got_left = entries_left(folder)
        if want_left != got_left:
            problems.append("%s: entries differ; missing %s, unexpected %s" % (
                key, sorted(want_left - got_left), sorted(got_left - want_left)))
    swapped = becomes_folder(scn)
    if swapped is not None:
        keep = os.path.join(places[swapped[0]], swapped[1], "keep.txt")
        if not os.path.isfile(keep) or open(keep, "rb").read() != b"keep":
            problems.append("%s is not the folder the race made, holding keep.txt" % scn["becomes_folder"])
    return problems


def check_terminal(scn, shown, lines, rest, prompt):
    """Problems with what a terminal showed of a run: the program's lines (the terminal shows them as the
    console's code page makes of their Big5 bytes), then PAUSE's prompt as cmd.exe itself shows it there."""
    problems = []
    if b"\0" in shown:
        problems.append("the terminal shows NUL bytes")
    want = len(flatten(expected_stdout_lines(scn)))
    if len(lines) != want:
        problems.append("the terminal shows %d lines, not %d: %r" % (len(lines), want, shown))
    if rest != prompt:
        problems.append("after the last line the terminal shows %r, not PAUSE's prompt as cmd.exe shows it "
                        "there: %r" % (rest, prompt))
    return problems


def run_scenario(executor, scn, scratch, mode=None, run_id="run"):
    """Builds the scenario's trees under scratch, runs the program once (in the Wine mode), and returns the
    list of problems found. The system place may lie outside scratch: it is released only when all is well."""
    drives = {}
    for letter, kind in scn["drives"].items():
        drives[letter] = (kind, os.path.join(scratch, letter))
        if not kind.startswith("subst:"):
            os.makedirs(drives[letter][1], exist_ok=True)
    workdir = drives[scn["work_on"]][1] if "work_on" in scn else os.path.join(scratch, "work")
    places = {letter: folder for letter, (kind, folder) in drives.items() if not kind.startswith("subst:")}
    places.update(work=workdir, outside=os.path.join(scratch, "outside"),
                  system=executor.system_folder(scratch, run_id))
    tree = scn.get("tree", {})
    unknown = set(tree) - set(places)
    if unknown:
        raise ValueError(f"tree names unknown places {sorted(unknown)}")
    links = build_trees(tree, places)
    os.makedirs(workdir, exist_ok=True)
    transcript = os.path.join(scratch, "transcript.txt")
    open(transcript, "w").close()
    canary, canary_text = None, None
    if scn.get("com1_canary"):
        canary = os.path.join(scratch, "com1-canary")
        canary_text = ("nodrel COM1 canary of %s" % run_id).encode()
        with open(canary, "wb") as f:
            f.write(canary_text)
    if scn.get("unprivileged") and os.geteuid() == 0:
        hand_over(scratch)
    locked = [workdir if key == "work" else drives[key][1] for key in scn.get("locked", [])]
    try:
        for folder in locked:
            if subprocess.run(["chattr", "+i", folder], stderr=subprocess.DEVNULL).returncode != 0:
                raise Skip("cannot set the immutable flag on a folder here (needs root on ext4)")
        stdout, commands = executor.run(scn, drives, workdir, transcript, mode, canary)
    finally:
        for folder in locked:
            subprocess.run(["chattr", "-i", folder], stderr=subprocess.DEVNULL)

    problems = []
    prompt = executor.pause_prompt(mode)
    lines, rest = split_stdout(stdout, executor.newline)
    if mode is not None and mode.endswith("/terminal"):
        problems = check_terminal(scn, stdout, lines, rest, prompt) + check_files(scn, tree, drives, places)
        if not problems:
            executor.release_system_folder(places["system"])
        return problems
    want = expected_stdout_lines(scn)
    want_bytes = [stdout_line(x) for x in want]
    # One encoding: every byte of stdout, cmd.exe's text included, is Big5.
    if b"\0" in stdout:
        problems.append("stdout holds %d NUL bytes, the first at offset %d" % (stdout.count(b"\0"), stdout.index(b"\0")))
    # Every line ends as the platform's do; cmd.exe's CR LF passed through a text-mode stream becomes CR CR LF.
    stray = stdout.replace(executor.newline, b"") if executor.newline == b"\r\n" else stdout
    if b"\r" in stray:
        problems.append("stdout holds %d CR bytes that end no line" % stray.count(b"\r"))
    try:
        stdout.decode("cp950", errors="strict")
    except UnicodeDecodeError as error:
        problems.append("stdout is not Big5 (code page 950): %s" % error)
    if scn.get("merge_stderr"):
        expected = set(flatten(want_bytes))
        lines = [line for line in lines if line in expected]
    if not matches(want_bytes, lines) or rest != prompt:
        problems.append("stdout differs:\n" + diff_text(flatten(want_bytes), lines, rest, prompt))
    problems += check_files(scn, tree, drives, places)
    for host, target in sorted(links.items()):
        if os.path.islink(host) and os.readlink(host) != target:
            problems.append("link %s now points at %s, not %s" % (host, os.readlink(host), target))
    if canary is not None:
        if not os.path.isfile(canary) or os.path.islink(canary):
            problems.append("COM1 canary %s is gone: a device name reached the command interpreter" % canary)
        else:
            with open(canary, "rb") as f:
                found = f.read()
            if found != canary_text:
                problems.append("COM1 canary %s changed to %r: a device name was written to" % (canary, found))
    if commands is not None:
        starts = [split_start(line) for line in commands]
        sent = [command for start in starts for command in start]
        want_commands = ["echo %SYSTEMDRIVE%"] + scn["commands"] + ["PAUSE"]
        if not matches(want_commands, sent):
            problems.append("commands differ:\n" + diff_text(flatten(want_commands), sent, None, None))
        want_starts = [1] + scn["starts"] + [1]
        got_starts = [len(start) for start in starts]
        if got_starts != want_starts:
            problems.append("starts of cmd.exe differ: want %s commands per start, got %s" % (
                want_starts, got_starts))
    for marker in scn.get("marker_absent", []):
        if os.path.exists(os.path.join(workdir, marker)):
            problems.append("marker %s exists: a name ran as a command" % marker)
    if not problems:
        executor.release_system_folder(places["system"])
    elif os.path.exists(places["system"]) and not places["system"].startswith(scratch + os.sep):
        problems.append("the system place is kept in %s" % places["system"])
    return problems


def show(line):
    return line.decode("cp950", errors="replace") if isinstance(line, bytes) else line


def diff_text(want, got, rest, prompt):
    out = []
    for i in range(max(len(want), len(got))):
        w = show(want[i]) if i < len(want) else "<none>"
        g = show(got[i]) if i < len(got) else "<none>"
        out.append(("   " if w == g else "!! ") + "want %r\n   got  %r" % (w, g))
    if rest is not None and rest != prompt:
        out.append("!! after the last line: %r\n   PAUSE writes here: %r" % (rest, prompt))
    return "\n".join(out)


def scenario_modes(scn, only):
    """The Wine modes a scenario runs in (only: a -m restriction, or None)."""
    from wine_executor import DEFAULT_MODE, MODES, TERMINAL_MODES
    modes = scn.get("wine_modes", [DEFAULT_MODE])
    modes = list(MODES) if modes == "all" else modes
    unknown = [m for m in modes if m not in MODES]
    if unknown or not modes:
        raise ValueError("wine_modes %r: known modes are \"all\" or a list of %s" % (modes, ", ".join(MODES)))
    terminal = scn.get("terminal_modes", [])
    if any(m not in TERMINAL_MODES for m in terminal):
        raise ValueError("terminal_modes %r: known modes are %s" % (terminal, ", ".join(TERMINAL_MODES)))
    return [m for m in modes + terminal if only is None or m == only]


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
    only_mode = argv[argv.index("-m") + 1] if "-m" in argv else None
    if hasattr(sys.stdout, "reconfigure"):
        sys.stdout.reconfigure(errors="backslashreplace")
    scenarios = load_scenarios(word)
    # Natively a scenario runs once; under Wine once per mode.
    runs = [(name, scn, [None] if mode == "native" else scenario_modes(scn, only_mode)) for name, scn in scenarios]
    base = tempfile.mkdtemp(prefix="nodrel-%s-" % mode)
    if mode == "native":
        executor = NativeExecutor(exe)
    else:
        from wine_executor import Unsupported32Bit
        try:
            executor = WineRun(exe, os.path.join(base, "wine"))
        except Unsupported32Bit as reason:
            print("SKIP every scenario of %s under Wine: %s" % (exe, reason))
            print("wine %s: 0 ran, 0 passed, 0 failed, %d skipped" % (exe, sum(len(m) for _, _, m in runs)))
            shutil.rmtree(base, ignore_errors=True)
            return 0
    failed, passed, skipped = [], 0, 0
    try:
        for name, scn, modes in runs:
            for wine_mode in modes:
                label = name if wine_mode is None else "%s [%s]" % (name, wine_mode)
                if wine_mode is not None and scn.get("native_only"):
                    print("SKIP %s under Wine: %s" % (label, scn["native_only"]))
                    skipped += 1
                    continue
                run_id = name if wine_mode is None else "%s@%s" % (name, wine_mode.replace("/", "-"))
                scratch = os.path.join(base, run_id)
                os.makedirs(scratch)
                try:
                    problems = run_scenario(executor, scn, scratch, wine_mode, run_id)
                except Skip as reason:
                    print("SKIP %s: %s" % (label, reason))
                    skipped += 1
                    shutil.rmtree(scratch, ignore_errors=True)
                    continue
                if problems:
                    failed.append(label)
                    print("FAIL %s (kept in %s)\n%s" % (label, scratch, "\n".join(problems)))
                else:
                    passed += 1
                    print("ok   %s" % label)
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

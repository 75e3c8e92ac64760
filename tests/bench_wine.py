#!/usr/bin/env python3
"""Benchmark under Wine: nodrel.exe against a batch file that does the same five steps in one cmd.exe.
A measurement, not a test: CI does not run it.

  python3 tests/bench_wine.py [--runs N] [--scratch DIR] [--exe PATH ...] [--only NAME ...]

  --runs N      timed runs of each program on each stick (default 5, at least 3; --runs 3 for a quick look)
  --exe PATH    a nodrel.exe to measure, labelled by this path; give it several times to measure an old and
                a new build side by side (default build/win64/nodrel.exe)
  --only NAME   only this stick (typical, stick-50, stick-200, folders-300); may be given several times
  --scratch DIR folder for the Wine prefix, the sticks and the work folder (default a new bench-wine-* folder
                under /tmp, removed at the end; a folder given here is kept)

The batch file is tests/bench_steps.bat, written as a careful admin would: every listing goes to a temp file
read back with for /f, so it never starts a second cmd.exe. Its job is the yardstick for what the starts of
cmd.exe cost nodrel.exe.

Sticks (the same trees every time, from a fixed seed; ASCII names):
  typical      5 hidden folders of 1-3 programs and some documents (one with a subfolder), a hidden autorun.inf,
               2 hidden root programs, a hidden NTDETECT.COM, a hidden photo.bath (short name *.BAT), 2 look-alikes
               X.exe and one x.exe of the wrong case, a few visible files and one visible program
  stick-50     50 hidden folders of 4 programs and 2 documents, 200 root .exe (20 hidden), 10 look-alikes
  stick-200    200 hidden folders of 4 programs and 2 documents, 1,000 root .exe (100 hidden), 40 look-alikes
  folders-300  300 hidden folders holding only documents

Wine: a fresh prefix in the scratch folder, WINEDEBUG=-all, no Z:, the stick as E: (floppy, so removable) and
the work folder as W: (network), the current folder of every run. The programs are copied to C:\\bench and run
by their Windows paths with empty input; nodrel.exe ends with PAUSE, which returns at end of input. The
wineserver stays up for the whole benchmark, and each program but the replay has one untimed warm-up run first.

The replay (tests/wine/replay.c) runs the command lines that the first --exe sent on the stick, as its counting
run logged them, each start after the other with an input at its end and output to NUL, and does nothing else:
the floor of any program that keeps those starts. It leaves its work files; only its stick is checked.

For each stick: one untimed run of each program with a logging cmd.exe (tests/wine/cmdlog.c) in place, to count
the starts of cmd.exe (the batch file's own start counts 1); then the timed runs, interleaved (A, B, A, B ...),
with Wine's own cmd.exe and the stick rebuilt from scratch before every run. After every run the files left on
the stick must be those expected, the same for every program, and the work folder must be empty; otherwise the
benchmark stops with the difference. It prints, per stick and program, the starts, the median and range of
wall time and the ratio of medians to the batch file, and the load average at start and end. With a build
that starts cmd.exe once per command (about 1,350 starts on stick-200), a full run at --runs 3 takes about 25
minutes on two cores; --only typical --runs 3 takes under a minute.
"""

import argparse
import hashlib
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
from wine_executor import LOADER_64, LOGGER_SOURCE, SERVER_64  # noqa: E402

DEFAULT_EXE = "build/win64/nodrel.exe"
BATCH = os.path.join(HERE, "bench_steps.bat")
STICK_NAMES = ("typical", "stick-50", "stick-200", "folders-300")
PROGRAM_EXTS = (".exe", ".com", ".bat", ".cmd", ".bin")
RUN_TIMEOUT = 1800
LOG_WINDOWS_PATH = r"C:\bench\cmdlog.txt"
REPLAY_SOURCE = os.path.join(HERE, "wine", "replay.c")
REPLAY_WINDOWS_PATH = r"C:\bench\replay.exe"
REPLAY_LOG_WINDOWS_PATH = r"C:\bench\replay.txt"

# Short enough that a look-alike (folder name and ".exe") has at most 14 characters.
FOLDER_WORDS = ("Photos", "Music", "Videos", "School", "Lessons", "Work", "Backup", "Docs", "Pics",
                "Games", "Camera", "Travel", "Family", "Reports", "Slides", "Scans", "Notes", "Movies",
                "Archive", "Songs")
DOC_WORDS = ("essay", "notes", "report", "budget", "scan", "IMG", "song", "slides", "resume", "letter",
             "photo", "lesson")
DOC_EXTS = (".doc", ".docx", ".pdf", ".jpg", ".txt", ".xls", ".mp3", ".ppt")
PROGRAM_WORDS = ("setup", "player", "driver", "game", "tool", "viewer", "update", "codec", "patch",
                 "keygen", "runner", "loader")


# ---------------------------------------------------------------- sticks

def new_name(rng, taken, make):
    """A name from make(rng) that is not yet in taken, ignoring case (as Windows does); adds it to taken."""
    while True:
        name = make(rng)
        if name.lower() not in taken:
            taken.add(name.lower())
            return name


def folder_name(rng):
    return "%s%03d" % (rng.choice(FOLDER_WORDS), rng.randrange(1000))


def doc_name(rng):
    return "%s_%02d%s" % (rng.choice(DOC_WORDS), rng.randrange(100), rng.choice(DOC_EXTS))


def program_name(rng, ext=".exe"):
    return "%s_%03d%s" % (rng.choice(PROGRAM_WORDS), rng.randrange(1000), ext)


def any_program_name(rng):
    name = program_name(rng, rng.choice(PROGRAM_EXTS))
    return name.upper() if rng.random() < 0.1 else name


def add(tree, path, is_dir=False, hidden=False, removed=False):
    """One entry of a stick: relative path (with /) -> (folder?, hidden?, removed by the five steps?)."""
    tree[path] = (is_dir, hidden, removed)


def add_hidden_folder(tree, rng, root_names, programs, docs):
    """A hidden folder of the root with programs (some hidden; all removed) and documents (kept)."""
    folder = new_name(rng, root_names, folder_name)
    add(tree, folder, is_dir=True, hidden=True)
    inside = set()
    for _ in range(programs):
        add(tree, folder + "/" + new_name(rng, inside, any_program_name), hidden=rng.random() < 0.3, removed=True)
    for _ in range(docs):
        add(tree, folder + "/" + new_name(rng, inside, doc_name), hidden=rng.random() < 0.2)
    return folder


def add_root_file(tree, root_names, name, hidden=False, removed=False):
    root_names.add(name.lower())
    add(tree, name, hidden=hidden, removed=removed)


def add_root_programs(tree, rng, root_names, count, hidden):
    """Root .exe files; the hidden ones are removed, the visible ones only listed."""
    for i in range(count):
        add(tree, new_name(rng, root_names, program_name), hidden=i < hidden, removed=i < hidden)


def typical_stick(rng):
    tree, root_names = {}, set()
    folders = [add_hidden_folder(tree, rng, root_names, rng.randint(1, 3), rng.randint(2, 6)) for _ in range(5)]
    sub = folders[0] + "/" + folder_name(rng)
    add(tree, sub, is_dir=True)
    add(tree, sub + "/" + program_name(rng))  # a subfolder is not searched
    add(tree, sub + "/" + doc_name(rng))
    add_root_file(tree, root_names, "autorun.inf", hidden=True, removed=True)
    add_root_file(tree, root_names, "NTDETECT.COM", hidden=True)
    add_root_file(tree, root_names, "photo.bath", hidden=True)  # short name PHOT~xxx.BAT: not a program
    for _ in range(2):
        name = new_name(rng, root_names, lambda r: program_name(r, r.choice(PROGRAM_EXTS)))
        add(tree, name, hidden=True, removed=True)
    for folder in folders[1:3]:
        add_root_file(tree, root_names, folder + ".exe", removed=True)
    add_root_file(tree, root_names, folders[3].lower() + ".exe")  # not the folder's exact name: stays
    for _ in range(4):
        add(tree, new_name(rng, root_names, doc_name))
    add(tree, new_name(rng, root_names, program_name))
    return tree


def many_folders_stick(rng, folders, root_programs, hidden_programs, lookalikes):
    tree, root_names = {}, set()
    made = [add_hidden_folder(tree, rng, root_names, 4, 2) for _ in range(folders)]
    add_root_programs(tree, rng, root_names, root_programs, hidden_programs)
    for folder in made[:lookalikes]:
        add_root_file(tree, root_names, folder + ".exe", removed=True)
    return tree


def documents_only_stick(rng):
    tree, root_names = {}, set()
    for _ in range(300):
        add_hidden_folder(tree, rng, root_names, 0, rng.randint(1, 4))
    return tree


def make_tree(name):
    """The entries of a stick, the same every time."""
    rng = random.Random("bench-wine " + name)
    if name == "typical":
        return typical_stick(rng)
    if name == "stick-50":
        return many_folders_stick(rng, 50, 200, 20, 10)
    if name == "stick-200":
        return many_folders_stick(rng, 200, 1000, 100, 40)
    return documents_only_stick(rng)


def build_stick(folder, tree):
    """Makes the stick afresh in folder: entries in order, parents before children, hidden ones marked."""
    shutil.rmtree(folder, ignore_errors=True)
    os.mkdir(folder)
    for path, (is_dir, hidden, _) in tree.items():
        full = os.path.join(folder, path)
        if is_dir:
            os.mkdir(full)
        else:
            with open(full, "wb") as file:
                file.write(b"MZ" + path.encode() * 8 if full.endswith(PROGRAM_EXTS) else path.encode() * 8)
        if hidden:
            os.setxattr(full, "user.DOSATTRIB", b"0x2")


def expected_left(tree):
    return {path for path, (_, _, removed) in tree.items() if not removed}


def left_on(folder):
    """Relative paths (with /) of every file and folder under folder."""
    found = set()
    for top, dirs, files in os.walk(folder):
        for name in dirs + files:
            found.add(os.path.relpath(os.path.join(top, name), folder).replace(os.sep, "/"))
    return found


def difference(label_a, a, label_b, b):
    lines = []
    for label, extra in ((label_a, sorted(a - b)), (label_b, sorted(b - a))):
        if extra:
            lines.append("  only after %s (%d): %s" % (label, len(extra), ", ".join(extra[:20]) +
                                                       (" ..." if len(extra) > 20 else "")))
    return "\n".join(lines)


# ---------------------------------------------------------------- Wine

def wine_env(prefix):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WINE", "LC_")) and k not in ("LANG", "LANGUAGE", "DISPLAY", "WAYLAND_DISPLAY")}
    env.update({"WINEPREFIX": prefix, "WINELOADER": str(LOADER_64), "WINESERVER": str(SERVER_64),
                "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=", "LANG": "C.UTF-8",
                "LC_ALL": "C.UTF-8"})
    return env


def wine_quiet(env, *args, cwd=None):
    """A Wine helper, output to nowhere (a pipe would be held open by services it starts)."""
    subprocess.run([str(LOADER_64), *args], env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300, check=True)


def stop_server(env):
    subprocess.run([str(SERVER_64), "-k"], env=env, stderr=subprocess.DEVNULL, check=False)
    subprocess.run([str(SERVER_64), "-w"], env=env, check=False, timeout=60)


def set_up_prefix(scratch, stick, work):
    """A fresh prefix with only C:, E: (floppy) and W: (network); returns its environment."""
    prefix = os.path.join(scratch, "prefix")
    shutil.rmtree(prefix, ignore_errors=True)
    os.makedirs(prefix)
    env = wine_env(prefix)
    wine_quiet(env, "wineboot", "-i", cwd=prefix)
    dosdevices = os.path.join(prefix, "dosdevices")
    for name in os.listdir(dosdevices):
        if len(name) == 2 and name[1] == ":" and name != "c:":
            os.unlink(os.path.join(dosdevices, name))
    os.symlink(stick, os.path.join(dosdevices, "e:"))
    os.symlink(work, os.path.join(dosdevices, "w:"))
    for letter, kind in (("e:", "floppy"), ("w:", "network")):
        wine_quiet(env, "reg", "add", r"HKLM\Software\Wine\Drives", "/v", letter, "/d", kind, "/f", "/reg:64")
    stop_server(env)  # the drive types apply from the next server on
    subprocess.run([str(SERVER_64), "-p"], env=env, check=True)  # stays up until stop_server
    wine_quiet(env, "cmd", "/c", "exit", cwd=prefix)  # Wine's services start now, not in a timed run
    letters = sorted(n for n in os.listdir(dosdevices) if len(n) == 2 and n[1] == ":")
    if letters != ["c:", "e:", "w:"]:
        raise SystemExit("unexpected drives in the prefix: %s" % letters)
    return env


def install_tools(scratch, env, exes):
    """Copies the programs to C:\\bench and builds the cmd.exe logger and the replay; returns the Windows
    command of each program, in the order of exes, then the replay's, then the batch file's."""
    drive_c = os.path.join(env["WINEPREFIX"], "drive_c")
    bench = os.path.join(drive_c, "bench")
    os.makedirs(bench)
    commands = []
    for i, exe in enumerate(exes, 1):
        os.mkdir(os.path.join(bench, str(i)))
        shutil.copy2(exe, os.path.join(bench, str(i), "nodrel.exe"))
        commands.append([r"C:\bench\%d\nodrel.exe" % i])
    commands.append([REPLAY_WINDOWS_PATH, REPLAY_LOG_WINDOWS_PATH])
    shutil.copy2(BATCH, os.path.join(bench, "bench_steps.bat"))
    commands.append([r"C:\windows\system32\cmd.exe", "/d", "/c", r"C:\bench\bench_steps.bat", "E"])
    system32 = os.path.join(drive_c, "windows", "system32")
    shutil.copy2(os.path.join(system32, "cmd.exe"), os.path.join(system32, "cmd-real.exe"))
    subprocess.run(["x86_64-w64-mingw32-gcc", "-static", "-O2", "-o", os.path.join(scratch, "cmdlog.exe"),
                    str(LOGGER_SOURCE)], check=True)
    subprocess.run(["x86_64-w64-mingw32-gcc", "-static", "-O2", "-municode", "-o",
                    os.path.join(bench, "replay.exe"), REPLAY_SOURCE], check=True)
    return commands


def run(env, command, work, logging=False):
    """Runs one Windows command line in the work folder with empty input; returns its wall time in seconds."""
    run_env = dict(env)
    if logging:
        run_env["WINEDLLOVERRIDES"] += ";cmd.exe=n"  # the logger at system32\cmd.exe, not Wine's own
        run_env["NODREL_CMDLOG"] = LOG_WINDOWS_PATH
    started = time.monotonic()
    result = subprocess.run([str(LOADER_64), *command], input=b"", capture_output=True, cwd=work, env=run_env,
                            timeout=RUN_TIMEOUT, check=False)
    elapsed = time.monotonic() - started
    if result.returncode != 0:
        raise SystemExit("%s exited with %d\nstdout: %r\nstderr: %r" % (" ".join(command), result.returncode,
                                                                       result.stdout[-2000:],
                                                                       result.stderr[-2000:]))
    return elapsed


def count_starts(env, scratch, command, work):
    """Runs the command once with the logger as cmd.exe; returns how many times cmd.exe was started."""
    system32 = os.path.join(env["WINEPREFIX"], "drive_c", "windows", "system32")
    log = os.path.join(env["WINEPREFIX"], "drive_c", "bench", "cmdlog.txt")
    if os.path.exists(log):
        os.unlink(log)
    shutil.copy2(os.path.join(scratch, "cmdlog.exe"), os.path.join(system32, "cmd.exe"))
    try:
        run(env, command, work, logging=True)
    finally:
        shutil.copy2(os.path.join(system32, "cmd-real.exe"), os.path.join(system32, "cmd.exe"))
    if not os.path.exists(log):
        return 0
    with open(log, "rb") as file:
        return file.read().count(b"\n")


# ---------------------------------------------------------------- measuring

def is_replay(command):
    return command[0] == REPLAY_WINDOWS_PATH


def one_run(env, scratch, stick, work, tree, label, command, expected, logging=False):
    """Builds the stick, runs the program, checks what it left; returns (wall time, starts or None).
    The replay reads no work file and so leaves them; the work folder of its run is not checked."""
    build_stick(stick, tree)
    shutil.rmtree(work, ignore_errors=True)
    os.mkdir(work)
    if logging:
        elapsed, starts = None, count_starts(env, scratch, command, work)
    else:
        elapsed, starts = run(env, command, work), None
    left = left_on(stick)
    if left != expected:
        raise SystemExit("FAILED: %s did not leave the expected files:\n%s" %
                         (label, difference(label, left, "the expected result", expected)))
    if os.listdir(work) and not is_replay(command):
        raise SystemExit("FAILED: %s left work files: %s" % (label, sorted(os.listdir(work))))
    return elapsed, starts


def measure_stick(env, scratch, name, programs, runs):
    """Counts starts, then times every program runs times, interleaved; returns {label: (starts, times)}."""
    stick, work = os.path.join(scratch, "stick"), os.path.join(scratch, "work")
    tree = make_tree(name)
    expected = expected_left(tree)
    results = {}
    log = os.path.join(env["WINEPREFIX"], "drive_c", "bench", "cmdlog.txt")
    replay_log = os.path.join(env["WINEPREFIX"], "drive_c", "bench", "replay.txt")
    for i, (label, command) in enumerate(programs):
        _, starts = one_run(env, scratch, stick, work, tree, label, command, expected, logging=True)
        results[label] = (starts, [])
        if i == 0:  # the first nodrel.exe's starts, for the replay
            shutil.copy2(log, replay_log)
    for i in range(runs):
        for label, command in programs:
            elapsed, _ = one_run(env, scratch, stick, work, tree, label, command, expected)
            results[label][1].append(elapsed)
        print("  %s: run %d of %d done" % (name, i + 1, runs), file=sys.stderr, flush=True)
    return tree, results


def describe(tree):
    folders = sum(1 for p, (d, h, _) in tree.items() if d and h and "/" not in p)
    files = sum(1 for d, _, _ in tree.values() if not d)
    removed = sum(1 for _, _, r in tree.values() if r)
    return "%d hidden folders, %d files, %d to delete" % (folders, files, removed)


def print_stick(name, tree, programs, results, seconds):
    batch_median = statistics.median(results[programs[-1][0]][1])
    width = max(len(label) for label, _ in programs)
    print("%s: %s (measured in %.0f s)" % (name, describe(tree), seconds))
    for label, _ in programs:
        starts, times = results[label]
        median = statistics.median(times)
        line = "%-12s %-*s  starts %-5d  median %6.2f s  range %.2f-%.2f s" % (
            name, width, label, starts, median, min(times), max(times))
        if label != programs[-1][0]:
            line += "  ratio %.1fx" % (median / batch_median)
        print(line)
    print(flush=True)


def load_average():
    return "%.2f %.2f %.2f" % os.getloadavg()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=5, help="timed runs of each program per stick (>= 3)")
    parser.add_argument("--scratch", help="folder for the prefix, the sticks and the work folder")
    parser.add_argument("--exe", action="append", help="a nodrel.exe to measure (may be repeated)")
    parser.add_argument("--only", action="append", choices=STICK_NAMES, help="only this stick (may be repeated)")
    args = parser.parse_args()
    if args.runs < 3:
        parser.error("--runs must be at least 3")
    exes = args.exe or [os.path.relpath(os.path.join(ROOT, DEFAULT_EXE))]
    for exe in exes:
        if not os.path.isfile(exe):
            parser.error("no such program: %s" % exe)
    sticks = [s for s in STICK_NAMES if not args.only or s in args.only]

    if args.scratch:
        os.makedirs(args.scratch, exist_ok=True)
        scratch = os.path.abspath(args.scratch)
    else:
        scratch = tempfile.mkdtemp(prefix="bench-wine-")
    stick, work = os.path.join(scratch, "stick"), os.path.join(scratch, "work")
    for folder in (stick, work):
        shutil.rmtree(folder, ignore_errors=True)
        os.mkdir(folder)

    print("Wine benchmark: %d timed runs of each program per stick, interleaved" % args.runs)
    for exe in exes:
        with open(exe, "rb") as file:
            print("program %s: sha256 %s" % (exe, hashlib.sha256(file.read()).hexdigest()[:16]))
    print("load average at start: %s" % load_average(), flush=True)
    started = time.monotonic()
    env = set_up_prefix(scratch, stick, work)
    try:
        commands = install_tools(scratch, env, exes)
        labels = (["nodrel " + exe for exe in exes] + ["replay of the starts of " + exes[0]] +
                  ["batch " + os.path.relpath(BATCH, ROOT)])
        programs = list(zip(labels, commands))
        warm_tree = make_tree("typical")
        for label, command in programs:  # untimed: the first start of each program loads its files
            if is_replay(command):
                continue  # its log comes from a stick's counting run
            one_run(env, scratch, stick, work, warm_tree, label, command, expected_left(warm_tree))
        print(flush=True)
        for name in sticks:
            stick_started = time.monotonic()
            tree, results = measure_stick(env, scratch, name, programs, args.runs)
            print_stick(name, tree, programs, results, time.monotonic() - stick_started)
    finally:
        stop_server(env)
        if not args.scratch:
            shutil.rmtree(scratch, ignore_errors=True)
    print("runs: %d timed per program and stick (plus one warm-up per program but the replay, one counting run "
          "per program and stick)" % args.runs)
    print("load average at end: %s" % load_average())
    print("total time: %.0f s" % (time.monotonic() - started))


if __name__ == "__main__":
    main()

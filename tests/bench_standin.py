#!/usr/bin/env python3
"""Benchmark of the native build on generated sticks. A measurement, not a test: CI does not run it.

  bench_standin.py [PATH/TO/nodrel] [--no-big] [--no-callgrind] [--scratch FOLDER]

Builds sticks in a throwaway folder and runs the native program on each, as drive E: with an empty
C:, SYSTEMDRIVE=C: and empty input (as tests/scenarios.py does). Three kinds of stick, each at N and
10 N names:

  root .exe files          1,000 -> 10,000 visible root programs
  hidden folders           100 -> 1,000 hidden folders of 4 programs each
  both                     10 folders / 100 files -> 100 folders / 1,000 files

and the big stick: 1,000 hidden folders of 4 programs, 10,000 root .exe files and 300 look-alikes
(a root X.exe beside the hidden folder X).

For each run it prints the commands sent, wall time, user and system time and peak memory. Under
callgrind (where valgrind is installed) it counts the instructions of the N and 10 N sticks: the whole
run, the stand-in (everything under the platform:: calls, which standin/ implements natively) and the
program's own code (the rest), and their growth from N to 10 N. Without valgrind, growth is that of
wall time. Each run checks that the stick was cleaned as expected.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scenarios import split_start  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_EXE = os.path.join(HERE, "..", "build", "native", "nodrel")
# The programs of each hidden folder: name, DOS attributes, read-only. All four are removed.
FOLDER_PROGRAMS = [("setup.exe", 0, False), ("autoplay.com", 0x2, False), ("run.bat", 0, False),
                   ("install.cmd", 0, True)]
# (label, hidden folders, root .exe files, look-alikes) at N and at 10 N.
FAMILIES = [
    ("root .exe files", (0, 1000, 0), (0, 10000, 0)),
    ("hidden folders", (100, 0, 0), (1000, 0, 0)),
    ("both", (10, 100, 0), (100, 1000, 0)),
]
BIG = ("big stick", (1000, 10000, 300))


def set_hidden(path):
    os.setxattr(path, "user.DOSATTRIB", b"0x2")


def touch(path, content=b"x"):
    with open(path, "wb") as f:
        f.write(content)


def folder_name(i):
    return "Folder%04d" % i


def build_stick(stick, folders, files, lookalikes):
    """Hidden folders with their programs, visible root programs (long names, so each has a short
    name), and root X.exe files beside the first hidden folders X."""
    os.makedirs(stick)
    for i in range(folders):
        folder = os.path.join(stick, folder_name(i))
        os.mkdir(folder)
        for name, attrs, read_only in FOLDER_PROGRAMS:
            path = os.path.join(folder, name)
            touch(path)
            if attrs:
                os.setxattr(path, "user.DOSATTRIB", b"0x%x" % attrs)
            if read_only:
                os.chmod(path, 0o444)
        set_hidden(folder)
    for i in range(files):
        touch(os.path.join(stick, "program_%05d.exe" % i))
    for i in range(lookalikes):
        touch(os.path.join(stick, folder_name(i) + ".exe"))


def check_stick(stick, folders, files):
    """What must be left: every hidden folder, emptied, and the visible root programs."""
    if not os.path.isdir(stick):
        return "UNEXPECTED: the stick's folder is gone"
    left_files, left_folders, not_emptied = 0, 0, 0
    for name in os.listdir(stick):
        path = os.path.join(stick, name)
        if os.path.isdir(path):
            left_folders += 1
            not_emptied += 1 if os.listdir(path) else 0
        else:
            left_files += 1
    if (left_files, left_folders, not_emptied) != (files, folders, 0):
        return "UNEXPECTED: %d files, %d folders (%d not emptied) left" % (left_files, left_folders, not_emptied)
    return "cleaned as expected"


def prepare(scratch, shape):
    """A fresh stick, an empty C: and a work folder; returns (environment, work folder, transcript)."""
    if os.path.exists(scratch):
        shutil.rmtree(scratch)
    stick, c_root, work = (os.path.join(scratch, n) for n in ("E", "C", "work"))
    build_stick(stick, *shape)
    os.makedirs(c_root)
    os.makedirs(work)
    transcript = os.path.join(scratch, "transcript.txt")
    env = {k: v for k, v in os.environ.items()
           if k not in ("SYSTEMDRIVE", "NODREL_WINDOWS_DIR", "NODREL_SYSTEM_DIR")}
    env["NODREL_DRIVES"] = "C=fixed:%s;E=removable:%s" % (c_root, stick)
    env["NODREL_TRANSCRIPT"] = transcript
    env["SYSTEMDRIVE"] = "C:"
    return env, work, transcript


def count_commands(path):
    """The commands of a transcript, which holds one line per start of the interpreter."""
    if not os.path.exists(path):
        return 0
    with open(path, "rb") as f:
        return sum(len(split_start(line.decode("utf-8", errors="surrogateescape").rstrip("\n"))) for line in f)


def run_native(exe, scratch, shape):
    """Runs the program once; returns its measures and the check of the stick. The times and the peak
    memory come from /usr/bin/time where it is installed (a child of this Python would count the
    Python's own memory, copied at the fork, in its peak)."""
    env, work, transcript = prepare(scratch, shape)
    measures = os.path.join(os.path.dirname(scratch), "time.txt")
    timer = ["/usr/bin/time", "-f", "%e %U %S %M", "-o", measures] if os.access("/usr/bin/time", os.X_OK) else []
    start = time.monotonic()
    proc = subprocess.Popen(timer + [exe], cwd=work, env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall, user, system, peak_kb = time.monotonic() - start, usage.ru_utime, usage.ru_stime, usage.ru_maxrss
    if timer:
        with open(measures) as f:
            wall, user, system, peak_kb = (float(v) for v in f.read().split()[-4:])
    result = {"commands": count_commands(transcript), "wall": wall, "user": user, "sys": system,
              "peak_mb": peak_kb / 1024.0, "check": check_stick(os.path.join(scratch, "E"), *shape[:2])}
    if os.waitstatus_to_exitcode(status) != 0:
        result["check"] = "UNEXPECTED exit status %d" % os.waitstatus_to_exitcode(status)
    return result


def split_counts(callgrind_out):
    """(whole run, stand-in) instructions from a callgrind output file. The stand-in's share is the
    inclusive cost of every call into a platform:: function (its entry points, implemented in standin/)
    from a function outside platform::."""
    names, whole, standin = {}, 0, 0
    caller = callee = ""
    call_cost_next = False

    def name_of(field):
        # "(12) name" defines a compressed name, "(12)" uses it again.
        field = field.strip()
        if field.startswith("("):
            key, _, rest = field.partition(")")
            if rest.strip():
                names[key] = rest.strip()
            return names.get(key, "")
        return field

    with open(callgrind_out, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith("fn="):
                caller = name_of(line[3:])
            elif line.startswith("cfn="):
                callee = name_of(line[4:])
            elif line.startswith("calls="):
                call_cost_next = True
            elif call_cost_next:
                call_cost_next = False
                parts = line.split()
                if callee.startswith("platform::") and not caller.startswith("platform::") and len(parts) > 1:
                    standin += int(parts[1])
            elif line.startswith("totals:"):
                whole = int(line.split()[1])
    return whole, standin


def run_callgrind(exe, scratch, shape):
    """Counts instructions of one run: whole run, stand-in, program's own code (the rest)."""
    env, work, _ = prepare(scratch, shape)
    out = os.path.join(os.path.dirname(scratch), "callgrind.out")
    subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, exe], cwd=work, env=env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    check = check_stick(os.path.join(scratch, "E"), *shape[:2])
    whole, standin = split_counts(out)
    os.remove(out)
    return {"whole": whole, "standin": standin, "program": whole - standin, "check": check}


def describe(shape):
    folders, files, lookalikes = shape
    text = "%d folders, %d files" % (folders, files)
    return text + (", %d look-alikes" % lookalikes if lookalikes else "")


def print_native(label, shape, r):
    print("%-16s %-42s %6d %9.2f %8.2f %8.2f %8.1f  %s" % (label, describe(shape), r["commands"], r["wall"],
                                                          r["user"], r["sys"], r["peak_mb"], r["check"]))
    sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("exe", nargs="?", default=DEFAULT_EXE)
    parser.add_argument("--no-big", action="store_true", help="leave out the big stick")
    parser.add_argument("--no-callgrind", action="store_true", help="growth from wall time only")
    parser.add_argument("--scratch", help="folder for the generated sticks (default: the system's temporary folder)")
    args = parser.parse_args()
    exe = os.path.abspath(args.exe)
    use_callgrind = not args.no_callgrind and shutil.which("valgrind")
    if args.scratch:
        os.makedirs(args.scratch, exist_ok=True)
    scratch_root = tempfile.mkdtemp(prefix="bench-standin-", dir=args.scratch)
    scratch = os.path.join(scratch_root, "stick")
    try:
        print("native runs of %s" % exe)
        print("%-16s %-42s %6s %9s %8s %8s %8s" % ("tree", "stick", "cmds", "wall s", "user s", "sys s", "peak MB"))
        native = {}
        for label, small, large in FAMILIES:
            for shape in (small, large):
                native[shape] = run_native(exe, scratch, shape)
                print_native(label, shape, native[shape])
        if not args.no_big:
            print_native(BIG[0], BIG[1], run_native(exe, scratch, BIG[1]))
        print()
        if use_callgrind:
            print("instructions under callgrind (whole run = program's own code + stand-in)")
            print("%-16s %-28s %15s %15s %15s  %s" % ("tree", "stick", "whole run", "program", "stand-in", ""))
            for label, small, large in FAMILIES:
                counts = []
                for shape in (small, large):
                    c = run_callgrind(exe, scratch, shape)
                    counts.append(c)
                    print("%-16s %-28s %15s %15s %15s  %s" % (label, describe(shape), format(c["whole"], ","),
                                                             format(c["program"], ","), format(c["standin"], ","),
                                                             c["check"]))
                    sys.stdout.flush()
                n, ten_n = counts
                print("%-16s %-28s %14.1fx %14.1fx %14.1fx" % (label, "growth N -> 10 N", ten_n["whole"] / n["whole"],
                                                              ten_n["program"] / n["program"],
                                                              ten_n["standin"] / n["standin"]))
        else:
            print("no callgrind: growth of wall time from N to 10 N")
            for label, small, large in FAMILIES:
                print("%-16s %6.1fx" % (label, native[large]["wall"] / max(native[small]["wall"], 1e-6)))
    finally:
        shutil.rmtree(scratch_root, ignore_errors=True)


if __name__ == "__main__":
    main()

"""Self-test of tests/wine_executor.py with a probe program instead of nodrel.exe.

Usage: python3 tests/wine_executor_selftest.py [--scratch DIR] [--keep]

Cross-builds tests/wine/probe.cpp (with the real platform/*-win32.cpp files) and runs it under Wine through
WineExecutor, in an English and a Traditional Chinese locale, checking drive letters and types, hidden files
seen by dir /ah, the work folder W:, the command log (byte for byte, special characters included), CRLF on
stdout, that launches leak no handle, and that programs starting cmd.exe any other way than /d /v:off /c are
caught. The i686 probe runs wherever the kernel runs 32-bit programs, and fails the self-test when Wine cannot
run it there; only where the kernel refuses them is it skipped, with the reason.
Prints how long prefix creation and each run take. Exits 1 on any failure.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from wine_executor import Unsupported32Bit, WineExecutor, i686_support  # noqa: E402

ROOT = Path(__file__).resolve().parent.parent
PROBE_SOURCES = [ROOT / "tests/wine/probe.cpp", ROOT / "platform/drives-win32.cpp",
                 ROOT / "platform/files-win32.cpp", ROOT / "platform/interpreter-win32.cpp"]

HIDDEN, HIDDEN_SYSTEM = b"0x2", b"0x6"
BIG5_TEXT = b"\xaf\x66\xac\x72"  # the two Big5 characters the probe echoes
GETDRIVETYPE = {"removable": 2, "fixed": 3, "remote": 4, "cdrom": 5, "ramdisk": 6, "noroot": 1}

# Drive trees: name -> DOS attribute (None = plain file; a name ending in "/" is a folder).
TREE_A = {"autorun.inf": HIDDEN, "a&b!.exe": HIDDEN_SYSTEM, "visible.txt": None, "RECYCLER/": HIDDEN}
TREE_B = {"autorun.inf": HIDDEN, "two  blanks%x%.inf": HIDDEN, "plain.inf": None}

# Runs in order on one executor: the second changes E:'s folder, drops letters and changes a type; the third
# keeps letters and types (no wineserver restart) but points E: at another folder again; the fourth only drops
# a letter, which must then be gone from the drive list.
RUNS = [
    {"E": ("removable", TREE_A), "F": ("fixed", {}), "G": ("remote", {}), "H": ("cdrom", {}),
     "I": ("ramdisk", {}), "J": ("noroot", None)},
    {"E": ("removable", TREE_B), "F": ("cdrom", {})},
    {"E": ("removable", TREE_A), "F": ("cdrom", {})},
    {"E": ("removable", TREE_B)},
]

# Per locale: the code pages Windows reports, how the probe's Big5 bytes reach the command line, PAUSE's text.
LOCALES = {
    "C.UTF-8": {"codepages": "1252 437", "ansi": "cp1252", "pause": b"Press any key to continue... "},
    "zh_TW.UTF-8": {"codepages": "950 950", "ansi": "big5", "pause": None},
}

# Programs that start cmd.exe in other ways, and what run() gives for each: the command list, or the
# AssertionError's text.
LAUNCHER_SOURCE = """#include <stdlib.h>
#include <windows.h>
static int start(char *line) {
    char application[MAX_PATH];
    GetSystemDirectoryA(application, MAX_PATH);
    lstrcatA(application, "\\\\cmd.exe");
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process;
    if (!CreateProcessA(application, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) return 1;
    WaitForSingleObject(process.hProcess, INFINITE);
    return 0;
}
int main(void) { char line[] = "cmd.exe /d /v:off /c echo x"; (void)line; return LAUNCH; }
"""
REJECTED = "command not started as cmd.exe /d /v:off /c: "
LAUNCHES = [
    ("hardened", "start(line)", ["echo x"]),
    ("system", 'system("echo x")', REJECTED + repr("/c echo x")),
    ("two_blanks", 'start((char[]){"cmd.exe  /d /v:off /c echo x"})', REJECTED + repr(" /d /v:off /c echo x")),
    ("switch_order", 'start((char[]){"cmd.exe /v:off /d /c echo x"})', REJECTED + repr("/v:off /d /c echo x")),
]

failures = []


def check(what, actual, expected):
    if actual != expected:
        failures.append(what)
        print(f"FAIL {what}\n  got:      {actual!r}\n  expected: {expected!r}")


def build(compiler, output, sources, cxx=True):
    flags = ["-std=c++17"] if cxx else []
    subprocess.run([compiler, *flags, "-static", "-O2", "-I", str(ROOT), "-o", str(output),
                    *map(str, sources)], check=True)


def make_tree(folder, tree):
    folder.mkdir(parents=True)
    for name, attribute in tree.items():
        path = folder / name.rstrip("/")
        if name.endswith("/"):
            path.mkdir()
        else:
            path.write_bytes(b"x")
        if attribute is not None:
            os.setxattr(path, "user.DOSATTRIB", attribute)


def run_case(executor, base, number, layout, locale):
    """Lays out the drives of one run, runs the probe, checks what it printed, sent and left."""
    settings = LOCALES[locale]
    case = base / f"run{number}"
    drives, trees = {}, {}
    for letter, (kind, tree) in layout.items():
        folder = case / letter
        if tree is not None:
            make_tree(folder, tree)
            trees[letter] = tree
        drives[letter] = (kind, str(folder))
    work = case / "work"
    work.mkdir()

    started = time.monotonic()
    stdout, commands = executor.run(drives, str(work), b"\n")
    print(f"run {number} ({locale}): {time.monotonic() - started:.2f} s in run(), "
          f"{executor.timings['last_run']:.2f} s of it the program")
    label = f"run {number} {locale}"

    check(f"{label}: only CRLF line ends", b"\n" in stdout.replace(b"\r\n", b""), False)
    lines = stdout.decode("latin-1").split("\r\n")
    expected_drives = [f"drive C:\\ {GETDRIVETYPE['fixed']}"]
    expected_drives += [f"drive {letter}:\\ {GETDRIVETYPE[kind]}" for letter, (kind, _) in sorted(layout.items())]
    expected_drives += [f"drive W:\\ {GETDRIVETYPE['remote']}"]
    check(f"{label}: drive letters and types", [line for line in lines if line.startswith("drive ")],
          expected_drives)
    facts = {line.split(" ", 1)[0]: line.split(" ", 1)[1] for line in lines
             if line.split(" ", 1)[0] in ("cwd", "windows", "codepages", "exists", "readable", "after",
                                          "handles")}
    # A new handle gets the same value after three more launches (one through a pipe): nothing leaked.
    before, _, after = facts.pop("handles", "? !").partition(" ")
    check(f"{label}: handle made", before not in ("0", "?"), True)
    check(f"{label}: handles left open by launches", after, before)
    check(f"{label}: facts", facts, {"cwd": "W:\\", "windows": "C:\\windows", "codepages": settings["codepages"],
                                     "exists": "1 0", "readable": "1 0", "after": "del 0"})
    # cmd.exe drops the ^ and keeps the rest; the captured CRLF gains a CR when printed in text mode.
    check(f"{label}: piped output", stdout.count(b'piped 1 ["a&b" 100% & x  y!\r\r\n]\r\n'), 1)
    if settings["pause"] is not None:
        check(f"{label}: ends with PAUSE", stdout.endswith(settings["pause"] + b"done\r\n"), True)

    hidden_files = {name for name, attribute in trees["E"].items() if attribute and not name.endswith("/")}
    list_file = work / "probe-list.txt"
    listing = list_file.read_bytes().decode("ascii").split("\r\n") if list_file.exists() else []
    check(f"{label}: dir /ah-d of E:", sorted(filter(None, listing)), sorted(hidden_files))
    check(f"{label}: files left on E:", sorted(os.listdir(case / "E")),
          sorted(name.rstrip("/") for name in trees["E"] if name != "autorun.inf"))
    check(f"{label}: work folder", sorted(os.listdir(work)), ["probe-big5.txt", "probe-list.txt"])
    if settings["ansi"] == "big5":
        big5_file = work / "probe-big5.txt"
        check(f"{label}: Big5 name written by cmd.exe", big5_file.exists() and big5_file.read_bytes(),
              BIG5_TEXT + b"\r\n")

    check(f"{label}: command log", commands, [
        'dir /ah-d /b "E:\\*"  > probe-list.txt',
        'echo "a&b" 100% ^& x  y!',
        "echo " + BIG5_TEXT.decode(settings["ansi"]) + "> probe-big5.txt",
        'del /ah /f "E:\\autorun.inf"',
        "pause",
    ])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--scratch", help="scratch folder (default: a new temporary one)")
    parser.add_argument("--keep", action="store_true", help="keep the scratch folder")
    args = parser.parse_args()
    scratch = Path(args.scratch or tempfile.mkdtemp(prefix="nodrel-wine-")).resolve()
    programs = scratch / "programs"
    programs.mkdir(parents=True, exist_ok=True)
    print(f"scratch: {scratch}")

    probe64 = programs / "probe.exe"
    build("x86_64-w64-mingw32-g++", probe64, PROBE_SOURCES)
    for locale in LOCALES:
        with WineExecutor(str(probe64), str(scratch), locale=locale) as executor:
            print(f"prefix ready ({locale}): {executor.timings['prefix']:.2f} s")
            for number, layout in enumerate(RUNS, 1):
                run_case(executor, scratch / locale, number, layout, locale)

    # Launches of cmd.exe other than the hardened one must be caught by the log check.
    for name, launch, expected in LAUNCHES:
        source = programs / f"{name}.c"
        source.write_text(LAUNCHER_SOURCE.replace("LAUNCH", launch))
        build("x86_64-w64-mingw32-gcc", programs / f"{name}.exe", [source], cxx=False)
        with WineExecutor(str(programs / f"{name}.exe"), str(scratch)) as executor:
            work = scratch / f"{name}-work"
            work.mkdir(exist_ok=True)
            try:
                outcome = executor.run({}, str(work))[1]
            except AssertionError as error:
                outcome = str(error)
            print(f"launch {name}: {outcome}")
            check(f"launch {name}", outcome, expected)

    # Raises where the kernel runs 32-bit programs but Wine cannot: that fails the self-test.
    supported, reason = i686_support()
    probe32 = programs / "probe32.exe"
    build("i686-w64-mingw32-g++", probe32, PROBE_SOURCES)
    if supported:
        with WineExecutor(str(probe32), str(scratch)) as executor:
            for number, layout in enumerate(RUNS, 1):
                run_case(executor, scratch / "i686", number, layout, "C.UTF-8")
    else:
        print(f"SKIPPED i686 probe: {reason}")
        try:
            WineExecutor(str(probe32), str(scratch)).close()
            check("i686 exe refused where 32-bit cannot run", "accepted", "Unsupported32Bit")
        except Unsupported32Bit as error:
            check("i686 exe refused with the same reason", str(error), reason)

    if not args.keep and not args.scratch:
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"{len(failures)} failure(s)" if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

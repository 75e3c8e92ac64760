"""Self-test of tests/wine_executor.py with a probe program instead of nodrel.exe.

Usage: python3 tests/wine_executor_selftest.py [--scratch DIR] [--keep]

Cross-builds tests/wine/probe.cpp (with the real platform/*-win32.cpp files) and runs it under Wine through
WineExecutor in every mode (English and Traditional Chinese locale; pipes, a console, a console after chcp 950),
checking the code pages of each mode and PAUSE's exact bytes there, drive letters and types, hidden files seen by
dir /ah, the work folder W:, the command log (byte for byte, special characters included), CRLF on stdout, that
launches leak no handle, that programs starting cmd.exe any other way than the program's switches are caught,
that no dosdevices link into /dev survives (links planted in a reused prefix included), and that COM1 reads as
the canary file a run maps it to, which stays unchanged. The i686 probe runs wherever the kernel runs 32-bit programs, and fails the self-test when Wine cannot
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
import wine_executor  # noqa: E402
from wine_executor import (HARDENED_PREFIX, Unsupported32Bit, WineExecutor, device_links,  # noqa: E402
                           i686_support)

ROOT = Path(__file__).resolve().parent.parent
PROBE_SOURCES = [ROOT / "tests/wine/probe.cpp", ROOT / "platform/drives-win32.cpp",
                 ROOT / "platform/files-win32.cpp", ROOT / "platform/interpreter-win32.cpp",
                 ROOT / "text/unicode.cpp"]

HIDDEN, HIDDEN_SYSTEM = b"0x2", b"0x6"
# Names that no code page holds whole (the probe uses them by these names).
UNICODE_NAMES = {"\u529f\u8ab2/": HIDDEN, "caf\u00e9.exe": HIDDEN, "Ph\u014dtos.txt": None}
ECHOED = "\u529f\u8ab2 Ph\u014dtos caf\u00e9"  # what the probe echoes into probe-echo.txt
GETDRIVETYPE = {"removable": 2, "fixed": 3, "remote": 4, "cdrom": 5, "ramdisk": 6, "noroot": 1}

# Drive trees: name -> DOS attribute (None = plain file; a name ending in "/" is a folder).
TREE_A = {"autorun.inf": HIDDEN, "a&b!.exe": HIDDEN_SYSTEM, "visible.txt": None, "RECYCLER/": HIDDEN,
          **UNICODE_NAMES}
TREE_B = {"autorun.inf": HIDDEN, "two  blanks%x%.inf": HIDDEN, "plain.inf": None, **UNICODE_NAMES}

# Runs in order on one executor: the second changes E:'s folder, drops letters and changes a type; the third
# keeps letters and types (no wineserver restart) but points E: at another folder again; the fourth only drops
# a letter, which must then be gone from the drive list, and maps COM1 to a canary file.
RUNS = [
    ({"E": ("removable", TREE_A), "F": ("fixed", {}), "G": ("remote", {}), "H": ("cdrom", {}),
      "I": ("ramdisk", {}), "J": ("noroot", None)}, False),
    ({"E": ("removable", TREE_B), "F": ("cdrom", {})}, False),
    ({"E": ("removable", TREE_A), "F": ("cdrom", {})}, False),
    ({"E": ("removable", TREE_B)}, True),
]

# Per mode, as measured under Wine 8: GetACP, GetOEMCP and GetConsoleOutputCP (0: no console), and the page
# cmd.exe writes its text in when it has no /u.
MODES = {
    "C.UTF-8/pipes": {"codepages": "1252 437 0", "output": "cp1252"},
    "C.UTF-8/console": {"codepages": "1252 437 437", "output": "cp437"},
    "C.UTF-8/console-chcp950": {"codepages": "1252 437 950", "output": "cp950"},
    "zh_TW.UTF-8/pipes": {"codepages": "950 950 0", "output": "cp950"},
    "zh_TW.UTF-8/console": {"codepages": "950 950 950", "output": "cp950"},
}
assert tuple(MODES) == wine_executor.MODES
# PAUSE's text by locale (Wine's English and Traditional Chinese cmd.exe).
PAUSE_TEXT = {"C.UTF-8": "Press any key to continue... ", "zh_TW.UTF-8": "\u6309\u4e0b\u4efb\u610f\u9375\u7e7c\u7e8c... "}


def expected_prompt(mode):
    """PAUSE's bytes on the program's stdout: UTF-16LE under /u, else in the mode's output code page."""
    text = PAUSE_TEXT[mode.split("/")[0]]
    return text.encode("utf-16-le") if "/u " in HARDENED_PREFIX else text.encode(MODES[mode]["output"])


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
int main(void) { char line[] = "cmd.exe HARDENED echo x"; (void)line; return LAUNCH; }
""".replace("HARDENED ", HARDENED_PREFIX)
REJECTED = f"command not started as cmd.exe {HARDENED_PREFIX.strip()}: "
SWITCHES = HARDENED_PREFIX.split()
LAUNCHES = [
    ("hardened", "start(line)", ["echo x"]),
    ("system", 'system("echo x")', REJECTED + repr("/c echo x")),
    ("two_blanks", f'start((char[]){{"cmd.exe  {HARDENED_PREFIX}echo x"}})',
     REJECTED + repr(f" {HARDENED_PREFIX}echo x")),
    ("switch_order", f'start((char[]){{"cmd.exe {" ".join(SWITCHES[-2::-1])} /c echo x"}})',
     REJECTED + repr(f"{' '.join(SWITCHES[-2::-1])} /c echo x")),
]
if "/u" in SWITCHES:
    WITHOUT_U = HARDENED_PREFIX.replace("/u ", "")
    LAUNCHES.append(("without_u", f'start((char[]){{"cmd.exe {WITHOUT_U}echo x"}})',
                     REJECTED + repr(f"{WITHOUT_U}echo x")))

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


def run_case(executor, base, number, run, mode):
    """Lays out the drives of one run, runs the probe in the mode, checks what it printed, sent and left."""
    layout, with_canary = run
    settings = MODES[mode]
    case = base / mode.replace("/", "-") / f"run{number}"
    drives, trees = {}, {}
    for letter, (kind, tree) in layout.items():
        folder = case / letter
        if tree is not None:
            make_tree(folder, tree)
            trees[letter] = tree
        drives[letter] = (kind, str(folder))
    work = case / "work"
    work.mkdir()
    # One canary file per run number, so that a change of mode alone needs no wineserver restart.
    canary, canary_text = base / f"com1-canary-{number}", f"canary of run {number} in {mode}".encode()
    canary.write_bytes(canary_text)

    started = time.monotonic()
    stdout, commands = executor.run(drives, str(work), mode=mode, com1=str(canary) if with_canary else None)
    print(f"run {number} ({mode}): {time.monotonic() - started:.2f} s in run(), "
          f"{executor.timings['last_run']:.2f} s of it the program")
    label = f"run {number} {mode}"

    check(f"{label}: only CRLF line ends", b"\n" in stdout.replace(b"\r\n", b""), False)
    lines = stdout.decode("utf-8", errors="surrogateescape").split("\r\n")
    expected_drives = [f"drive C:\\ {GETDRIVETYPE['fixed']}"]
    expected_drives += [f"drive {letter}:\\ {GETDRIVETYPE[kind]}" for letter, (kind, _) in sorted(layout.items())]
    expected_drives += [f"drive W:\\ {GETDRIVETYPE['remote']}"]
    check(f"{label}: drive letters and types", [line for line in lines if line.startswith("drive ")],
          expected_drives)
    facts = {line.split(" ", 1)[0]: line.split(" ", 1)[1] for line in lines
             if line.split(" ", 1)[0] in ("cwd", "windows", "codepages", "exists", "readable", "after",
                                          "handles", "com1", "info-folder", "info-file", "info-plain",
                                          "info-absent", "final", "piped")}
    # A new handle gets the same value after three more launches (one through a pipe): nothing leaked.
    before, _, after = facts.pop("handles", "? !").partition(" ")
    check(f"{label}: handle made", before not in ("0", "?"), True)
    check(f"{label}: handles left open by launches", after, before)
    check(f"{label}: facts", facts, {"cwd": "W:\\", "windows": "C:\\windows", "codepages": settings["codepages"],
                                     "exists": "1 0", "readable": "1 0", "after": "del 0",
                                     "com1": "[%s]" % (canary_text.decode() if with_canary else ""),
                                     # GetFileAttributesW: hidden folder, hidden file, plain file, none.
                                     "info-folder": "1 0x12", "info-file": "1 0x22", "info-plain": "1 0x20",
                                     "info-absent": "0 0x0", "final": "0 \\\\?\\E:\\\u529f\u8ab2",
                                     # cmd.exe drops the ^ and keeps the rest; /u makes it UTF-16LE.
                                     "piped": "1 " + '"a&b" 100% & x  y!\r\n'.encode("utf-16-le").hex()})
    check(f"{label}: canary unchanged", canary.read_bytes(), canary_text)
    check(f"{label}: no dosdevices link into /dev", device_links(executor.prefix), {})
    prompt = expected_prompt(mode)
    check(f"{label}: PAUSE measured", executor.pause_prompt(mode), prompt)
    check(f"{label}: ends with PAUSE", stdout[-len(prompt) - 6:], prompt + b"done\r\n")

    hidden_files = {name for name, attribute in trees["E"].items() if attribute and not name.endswith("/")}
    check(f"{label}: dir /ah-d of E: (UTF-16LE)", read_listing(work / "probe-list.txt"), sorted(hidden_files))
    check(f"{label}: dir /a of E: (UTF-16LE)", read_listing(work / "probe-all.txt"),
          sorted(name.rstrip("/") for name in trees["E"]))
    check(f"{label}: echo of names outside every code page", (work / "probe-echo.txt").read_bytes(),
          (ECHOED + "\r\n").encode("utf-16-le"))
    check(f"{label}: files left on E:", sorted(os.listdir(case / "E")),
          sorted(name.rstrip("/") for name in trees["E"] if name != "autorun.inf"))
    check(f"{label}: work folder", sorted(os.listdir(work)), ["probe-all.txt", "probe-echo.txt", "probe-list.txt"])

    check(f"{label}: command log", commands, [
        'dir /ah-d /b "E:\\*"  > probe-list.txt',
        'dir /a /b "E:\\*" > probe-all.txt',
        'echo "a&b" 100% ^& x  y!',
        "echo " + ECHOED + "> probe-echo.txt",
        'del /ah /f "E:\\autorun.inf"',
        "pause",
    ])


def read_listing(path):
    """The names of a listing that cmd.exe /u wrote: UTF-16LE, no BOM, CRLF after each name."""
    if not path.exists():
        return None
    data = path.read_bytes().decode("utf-16-le")
    if data and not data.endswith("\r\n"):
        return ["<no CRLF at the end>", data]
    return sorted(data.split("\r\n")[:-1])


def plant_device_links(prefix):
    """Links into /dev as a prefix may hold them (a port Wine found, or one put there by hand)."""
    planted = {"com9": "/dev/zero", "lpt2": "/dev/null"}
    for name, target in planted.items():
        link = Path(prefix) / "dosdevices" / name
        link.unlink(missing_ok=True)
        link.symlink_to(target)
    return planted


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
    with WineExecutor(str(probe64), str(scratch)) as executor:
        print(f"prefix ready: {executor.timings['prefix']:.2f} s; dosdevices links into /dev removed: "
              f"{executor.removed_device_links or 'none'}")
        for number, run in enumerate(RUNS, 1):
            for mode in MODES:
                run_case(executor, scratch / "x86_64", number, run, mode)
        for mode in MODES:
            print(f"mode {mode}: code pages (ACP OEMCP console output) {MODES[mode]['codepages']}, "
                  f"PAUSE {executor.pause_prompt(mode)!r}")

    # Launches of cmd.exe other than the hardened one must be caught by the log check. The first executor
    # finds links into /dev planted in the prefix it reuses, and removes them before anything runs.
    for index, (name, launch, expected) in enumerate(LAUNCHES):
        source = programs / f"{name}.c"
        source.write_text(LAUNCHER_SOURCE.replace("LAUNCH", launch))
        build("x86_64-w64-mingw32-gcc", programs / f"{name}.exe", [source], cxx=False)
        planted = plant_device_links(scratch / "prefix") if index == 0 else {}
        with WineExecutor(str(programs / f"{name}.exe"), str(scratch)) as executor:
            if planted:
                print(f"planted {planted}; removed on reuse: {executor.removed_device_links}")
                check("planted links into /dev removed on reuse", device_links(executor.prefix), {})
                check("planted links into /dev reported removed",
                      {k: v for k, v in executor.removed_device_links.items() if k in planted}, planted)
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
            for number, run in enumerate(RUNS, 1):
                run_case(executor, scratch / "i686", number, run, "C.UTF-8/pipes")
            run_case(executor, scratch / "i686", len(RUNS) + 1, RUNS[0], "zh_TW.UTF-8/console")
            run_case(executor, scratch / "i686", len(RUNS) + 2, RUNS[-1], "C.UTF-8/console-chcp950")
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

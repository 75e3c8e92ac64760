"""Runs nodrel.exe under Wine with chosen drives, and records the command lines it sends.

Usage (from a scenario runner):

    executor = WineExecutor("build/win64/nodrel.exe", "/tmp/scratch")
    stdout, commands = executor.run({"E": ("removable", "/tmp/scratch/E")}, "/tmp/scratch/work", b"\\n")
    executor.close()

The Wine prefix lives in <scratch_dir>/prefix and is made once, then reused (by one executor at a time). In it:
  - no drive maps the whole machine (the usual Z: is removed);
  - C:\\windows\\system32\\cmd.exe is a small logger (tests/wine/cmdlog.c) that writes each command line it gets
    to a log file, then hands it to the real interpreter, kept as cmd-real.exe;
  - each run maps the given letters, sets their types, and maps the work folder to W: as a network drive.

A 32-bit (i686) exe needs Wine's 32-bit loader, which some kernels cannot execute. Only there does the constructor
raise Unsupported32Bit, with the reason; i686_support() answers the same question without making a prefix. Where the
kernel runs 32-bit programs, a missing loader or a prefix that cannot start a 32-bit program is an error
(RuntimeError), never a reason to skip. Every program runs by its Windows path on C:, as the 64-bit loader hands a
32-bit one to start.exe, which cannot reach a Unix path outside every drive.
"""

import errno
import os
import shutil
import subprocess
import tempfile
import time
import weakref
from pathlib import Path

WINE_DIR = Path("/usr/lib/wine")
LOADER_64 = WINE_DIR / "wine64"
LOADER_32 = WINE_DIR / "wine"
SERVER_64 = WINE_DIR / "wineserver64"

HERE = Path(__file__).resolve().parent
KERNEL_32BIT_CHECK = HERE.parent / "scripts" / "can-run-32bit.sh"
LOGGER_SOURCE = HERE / "wine" / "cmdlog.c"

# Type words of the scenarios, and the registry words that give them (GetDriveTypeA in the comment).
REGISTRY_TYPES = {
    "removable": "floppy",  # 2
    "fixed": "hd",  # 3
    "remote": "network",  # 4
    "cdrom": "cdrom",  # 5
    "ramdisk": "ramdisk",  # 6
}
# A drive whose letter is listed but whose root cannot be opened (1): its link points nowhere.
NO_ROOT = "noroot"

WORK_LETTER = "W"
HARDENED_PREFIX = "/d /u /v:off /c "
LOG_WINDOWS_PATH = r"C:\nodrel-cmdlog.txt"
RUN_TIMEOUT = 60
MACHINE_I386 = 0x14C
PROBE_32_WINDOWS_PATH = r"C:\nodrel-tools\hello32.exe"


class Unsupported32Bit(Exception):
    """A 32-bit Windows program cannot run on this machine; the message says why."""


def kernel_runs_32bit():
    """True when this kernel executes 32-bit x86 programs (the same check that decides whether to install
    wine32)."""
    return subprocess.run(["sh", str(KERNEL_32BIT_CHECK)], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, check=False).returncode == 0


def i686_support():
    """Returns (True, "") when 32-bit programs must run here, or (False, reason) when this kernel cannot
    execute them. Raises RuntimeError when the kernel can but Wine's 32-bit half is missing or broken."""
    if not kernel_runs_32bit():
        return False, "this kernel cannot execute 32-bit (i386) programs (scripts/can-run-32bit.sh fails)"
    if not LOADER_32.exists():
        raise RuntimeError(f"this kernel runs 32-bit programs, but Wine's 32-bit loader {LOADER_32} is not "
                           f"installed (package wine32:i386; scripts/install-deps.sh installs it)")
    try:
        subprocess.run([str(LOADER_32), "--version"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30, check=False)
    except OSError as error:
        raise RuntimeError(f"this kernel runs 32-bit programs, but {LOADER_32} does not start: {error}")
    return True, ""


def pe_is_32bit(path):
    """True when the PE file is an i386 program."""
    with open(path, "rb") as file:
        header = file.read(4096)
    if header[:2] != b"MZ":
        raise ValueError(f"{path} is not a Windows program")
    offset = int.from_bytes(header[0x3C:0x40], "little")
    if header[offset:offset + 4] != b"PE\0\0":
        raise ValueError(f"{path} is not a Windows program")
    return int.from_bytes(header[offset + 4:offset + 6], "little") == MACHINE_I386


def _stop_server(env):
    """Ends the prefix's wineserver and every Wine process of that prefix."""
    subprocess.run([str(SERVER_64), "-k"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    subprocess.run([str(SERVER_64), "-w"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False, timeout=30)


class WineExecutor:
    def __init__(self, exe_path: str, scratch_dir: str, locale: str = "C.UTF-8"):
        """Prepares a prefix under scratch_dir for running exe_path.

        locale is the Unix locale Wine runs under. The default gives an English Windows (code pages 1252/437,
        English cmd.exe messages such as PAUSE's). "zh_TW.UTF-8" gives a Traditional Chinese one (code page 950
        for both, so cmd.exe writes file names in Big5, with Chinese messages); it is compiled into
        <scratch_dir>/locale when the system does not have it.
        """
        self.exe_path = Path(exe_path).resolve()
        self.scratch = Path(scratch_dir).resolve()
        self.prefix = self.scratch / "prefix"
        self.last_stderr = b""
        self.last_returncode = None
        self.timings = {}

        if pe_is_32bit(self.exe_path):
            supported, reason = i686_support()
            if not supported:
                raise Unsupported32Bit(reason)

        self.scratch.mkdir(parents=True, exist_ok=True)
        self._env = self._base_env(locale)
        self._finalizer = weakref.finalize(self, _stop_server, dict(self._env))
        self._mapped = {}  # letter -> link target of the current mapping
        self._applied_types = None  # registry types the running wineserver was started with

        started = time.monotonic()
        self._make_prefix()
        self.timings["prefix"] = time.monotonic() - started

        if pe_is_32bit(self.exe_path):
            self._check_32bit_runs()

    # ---------------------------------------------------------------- setup

    def _base_env(self, locale):
        env = {key: value for key, value in os.environ.items()
               if not key.startswith(("WINE", "LC_")) and key not in ("LANG", "LANGUAGE", "LOCPATH",
                                                                      "DISPLAY", "WAYLAND_DISPLAY")}
        env.update({
            "WINEPREFIX": str(self.prefix),
            # Chosen by hand: /usr/bin/wine and /usr/lib/wine/wineserver pick the 32-bit binaries when present.
            "WINELOADER": str(LOADER_64),
            "WINESERVER": str(SERVER_64),
            "WINEDEBUG": "-all",
            # No Mono or Gecko installer at prefix creation.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "LANG": locale,
            "LC_ALL": locale,
        })
        if locale not in ("C", "POSIX", "C.UTF-8", "C.utf8"):
            env["LOCPATH"] = str(self._compile_locale(locale))
        return env

    def _compile_locale(self, locale):
        """Builds the locale into <scratch>/locale (once) and returns that folder, for LOCPATH."""
        folder = self.scratch / "locale"
        if not (folder / locale).is_dir():
            name, _, charset = locale.partition(".")
            folder.mkdir(parents=True, exist_ok=True)
            result = subprocess.run(["localedef", "-i", name, "-f", charset or "UTF-8", str(folder / locale)],
                                    capture_output=True, check=False)
            # localedef exits 1 on mere warnings; the folder tells whether it worked.
            if not (folder / locale).is_dir():
                raise RuntimeError(f"cannot compile locale {locale}: {result.stderr.decode(errors='replace')}")
        return folder

    def _wine(self, *args, timeout=120):
        """Runs a Wine helper; returns (exit code, its stdout and stderr as text).

        Its output goes through a file, not a pipe: Wine's background services, started by the first program
        of a new wineserver, inherit that program's output handles and would hold a pipe open.
        """
        with tempfile.TemporaryFile() as output:
            result = subprocess.run([str(LOADER_64), *args], env=self._env, cwd=self.prefix / "drive_c",
                                    stdin=subprocess.DEVNULL, stdout=output, stderr=output,
                                    timeout=timeout, check=False)
            output.seek(0)
            return result.returncode, output.read().decode(errors="replace")

    def _start_server(self):
        """Starts a wineserver that stays up until close(), and Wine's background services in it.

        The services must be up before a run: started by nodrel.exe, they would inherit its stdout pipe and
        keep it open after the program ends.
        """
        subprocess.run([str(SERVER_64), "-p"], env=self._env, cwd=self.prefix, check=True)
        self._wine("reg", "query", r"HKLM\Software\Wine\Drives", "/reg:64")

    def _make_prefix(self):
        marker = self.prefix / ".nodrel-ready"
        if not marker.exists():
            shutil.rmtree(self.prefix, ignore_errors=True)
            self.prefix.mkdir(parents=True)
            subprocess.run([str(LOADER_64), "wineboot", "-i"], env=self._env, cwd=self.prefix,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300, check=True)
            _stop_server(self._env)  # writes the new registry to disk
            self._install_logger()
            marker.write_text("ready\n")
        else:
            _stop_server(self._env)  # another executor may have left it running
            self._install_logger()  # the logger source may have changed since
        # Only the drives of each run: C: is the prefix's own system drive.
        dosdevices = self.prefix / "dosdevices"
        for link in dosdevices.iterdir():
            if len(link.name) == 2 and link.name[1] == ":" and link.name != "c:":
                link.unlink()

    def _install_logger(self):
        """Puts the logger at cmd.exe in system32 (and syswow64, for 32-bit callers, when it is there)."""
        tools = self.scratch / "tools"
        tools.mkdir(exist_ok=True)
        windows = self.prefix / "drive_c" / "windows"
        for folder, compiler in (("system32", "x86_64-w64-mingw32-gcc"), ("syswow64", "i686-w64-mingw32-gcc")):
            cmd = windows / folder / "cmd.exe"
            real = windows / folder / "cmd-real.exe"
            if not cmd.exists() or shutil.which(compiler) is None:
                continue
            logger = tools / f"cmdlog-{folder}.exe"
            subprocess.run([compiler, "-static", "-O2", "-Wall", "-Wextra", "-o", str(logger),
                            str(LOGGER_SOURCE)], check=True, capture_output=True)
            if not real.exists():  # keep the real one, never a logger from an earlier install
                shutil.copy2(cmd, real)
            shutil.copy2(logger, cmd)

    def _check_32bit_runs(self):
        """Runs a tiny i686 program in the prefix, by its Windows path; raises RuntimeError when Wine cannot."""
        tools = self.prefix / "drive_c" / "nodrel-tools"
        tools.mkdir(exist_ok=True)
        source = self.scratch / "tools" / "hello32.c"
        source.parent.mkdir(exist_ok=True)
        source.write_text('#include <stdio.h>\nint main(void) { puts("i686 runs"); return 0; }\n')
        subprocess.run(["i686-w64-mingw32-gcc", "-static", "-o", str(tools / "hello32.exe"), str(source)],
                       check=True, capture_output=True)
        _, output = self._wine(PROBE_32_WINDOWS_PATH, timeout=60)
        if "i686 runs" not in output:
            raise RuntimeError("Wine cannot run a 32-bit program in this prefix: " + output.strip())

    # ---------------------------------------------------------------- drives

    def _map_drives(self, drives, workdir):
        """Points the dosdevices links at this run's folders; returns the registry type each letter needs
        (None: no type at all)."""
        wanted = {}
        types = {}
        for letter, (kind, folder) in drives.items():
            letter = letter.upper()
            if letter == "C":
                # The prefix's own system drive stays where it is and its folder is not used; only a type
                # other than fixed is written.
                if kind != "fixed":
                    types["C"] = REGISTRY_TYPES[kind]
                continue
            if len(letter) != 1 or not "A" <= letter <= "Z" or letter in ("C", WORK_LETTER):
                raise ValueError(f"drive {letter}: as {kind} cannot be used: C: is the prefix's fixed "
                                 f"system drive, W: the work folder")
            if kind == NO_ROOT:
                wanted[letter] = str(self.scratch / f"no-root-{letter}")  # never created
                types[letter] = None
                continue
            if kind not in REGISTRY_TYPES:
                raise NotImplementedError(f"drive type {kind!r} is not known under Wine")
            folder = os.path.abspath(folder)
            if not os.path.isdir(folder):
                raise ValueError(f"folder of drive {letter}: does not exist: {folder}")
            wanted[letter] = folder
            types[letter] = REGISTRY_TYPES[kind]
        wanted[WORK_LETTER] = os.path.abspath(workdir)
        types[WORK_LETTER] = "network"

        dosdevices = self.prefix / "dosdevices"
        for letter in set(self._mapped) - set(wanted):
            (dosdevices / f"{letter.lower()}:").unlink(missing_ok=True)
        for letter, target in wanted.items():
            link = dosdevices / f"{letter.lower()}:"
            if self._mapped.get(letter) != target or not link.is_symlink():
                link.unlink(missing_ok=True)
                link.symlink_to(target)
        self._mapped = wanted
        return types

    def _apply_types(self, types):
        """Writes the drive types and restarts the wineserver when the letters or their types changed.

        Wine's mount manager reads the types only when the server starts, and keeps a drive it knows listed
        even after its dosdevices link is gone: a letter removed also needs a restart. Links of the same
        letters may point elsewhere without one.
        """
        if types == self._applied_types:
            return
        lines = ["REGEDIT4", "", r"[-HKEY_LOCAL_MACHINE\Software\Wine\Drives]", "",
                 r"[HKEY_LOCAL_MACHINE\Software\Wine\Drives]"]
        lines += [f'"{letter.lower()}:"="{word}"' for letter, word in sorted(types.items()) if word is not None]
        reg_file = self.prefix / "drive_c" / "nodrel-drives.reg"
        reg_file.write_text("\r\n".join(lines) + "\r\n", encoding="ascii")
        # /reg:64: a 32-bit reg.exe would write to Wow6432Node, where the types do not apply.
        code, output = self._wine("reg", "import", r"C:\nodrel-drives.reg", "/reg:64")
        if code != 0:
            raise RuntimeError(f"reg import failed: {output}")
        _stop_server(self._env)
        self._start_server()
        self._applied_types = dict(types)

    # ---------------------------------------------------------------- runs

    def run(self, drives: dict, workdir: str, stdin: bytes = b"") -> tuple:
        """Runs the program once; returns (stdout bytes, command lines without the leading /d /v:off /c)."""
        if not self._finalizer.alive:
            raise RuntimeError("executor already closed")
        types = self._map_drives(drives, workdir)
        self._apply_types(types)

        log = self.prefix / "drive_c" / LOG_WINDOWS_PATH[3:]
        log.unlink(missing_ok=True)
        program = self.prefix / "drive_c" / "nodrel-run" / self.exe_path.name
        program.parent.mkdir(exist_ok=True)
        shutil.copy2(self.exe_path, program)

        env = dict(self._env)
        env["WINEDLLOVERRIDES"] += ";cmd.exe=n"  # the logger at system32\cmd.exe, not Wine's built-in one
        env["NODREL_CMDLOG"] = LOG_WINDOWS_PATH
        started = time.monotonic()
        try:
            result = subprocess.run([str(LOADER_64), "C:\\nodrel-run\\" + self.exe_path.name],
                                    input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                    cwd=workdir, env=env, timeout=RUN_TIMEOUT, check=False)
        except subprocess.TimeoutExpired:
            # The program's children (cmd.exe) may still run: end the whole prefix.
            _stop_server(self._env)
            self._applied_types = None
            raise
        self.timings["last_run"] = time.monotonic() - started
        self.last_stderr = result.stderr
        self.last_returncode = result.returncode
        return result.stdout, self._read_commands(log)

    @staticmethod
    def _read_commands(log):
        if not log.exists():
            return []
        lines = log.read_bytes().decode("utf-8").split("\n")
        if lines[-1] != "":
            raise AssertionError(f"last command line in the log is cut short: {lines[-1]!r}")
        commands = []
        for line in lines[:-1]:
            if not line.startswith(HARDENED_PREFIX):
                raise AssertionError(f"command not started as cmd.exe {HARDENED_PREFIX.strip()}: {line!r}")
            commands.append(line[len(HARDENED_PREFIX):])
        return commands

    def close(self):
        """Stops the prefix's wineserver and every Wine process in the prefix."""
        self._finalizer()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

"""Runs nodrel.exe under Wine with chosen drives, and records the command lines it sends.

Usage (from a scenario runner):

    executor = WineExecutor("build/win64/nodrel.exe", "/tmp/scratch")
    stdout, commands = executor.run({"E": ("removable", "/tmp/scratch/E")}, "/tmp/scratch/work",
                                    mode="zh_TW.UTF-8/console")
    prompt = executor.pause_prompt("zh_TW.UTF-8/console")  # what PAUSE writes there, exactly
    executor.close()

The Wine prefix lives in <scratch_dir>/prefix and is made once, then reused (by one executor at a time). In it:
  - no drive maps the whole machine (the usual Z: is removed);
  - no name reaches a real device: every dosdevices link into /dev is removed, and the registry maps COM1..COM255
    and LPT1..LPT255 to nothing, so that Wine gives any serial or parallel port it finds the number 256, which is
    then unlinked too. A run may map COM1 to a canary file instead;
  - C:\\windows\\system32\\cmd.exe is a small logger (tests/wine/cmdlog.c) that writes each command line it gets
    to a log file, then hands it to the real interpreter, kept as cmd-real.exe;
  - each run maps the given letters, sets their types, and maps the work folder to W: as a network drive.

Each run has a mode, "<Unix locale>/<start>" (MODES): the locale gives Windows its code pages, the start how
the program meets its user:
  pipes            stdin and stdout are pipes; stdin holds the given input (default: none);
  console          stdin is a terminal (the command runs under script(1)), stdout a file, so that the
                   terminal never rewrites the program's bytes; the given input (default: a newline) is typed;
  console-chcp950  as console, but Wine's own cmd.exe first runs "chcp 950" on that console and then starts the
                   program by its Windows path from a batch file (not through the logger, so the batch file's
                   lines are never taken for the program's commands).
  terminal         stdin and stdout are the terminal, as for a user at a console window (TERMINAL_MODES, not in
                   MODES: what a terminal shows is not the program's bytes). The stdout returned is the visible
                   text of script(1)'s typescript: escape sequences out, a cursor move right as blanks, line ends
                   CR LF.

A 32-bit (i686) exe needs Wine's 32-bit loader, which some kernels cannot execute. Only there does the constructor
raise Unsupported32Bit, with the reason; i686_support() answers the same question without making a prefix. Where the
kernel runs 32-bit programs, a missing loader or a prefix that cannot start a 32-bit program is an error
(RuntimeError), never a reason to skip. Every program runs by its Windows path on C:, as the 64-bit loader hands a
32-bit one to start.exe, which cannot reach a Unix path outside every drive.
"""

import os
import re
import shlex
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

# Run modes: Unix locale and how the program is started.
MODES = ("C.UTF-8/pipes", "C.UTF-8/console", "C.UTF-8/console-chcp950", "zh_TW.UTF-8/pipes",
         "zh_TW.UTF-8/console")
TERMINAL_MODES = ("C.UTF-8/terminal", "zh_TW.UTF-8/terminal")
DEFAULT_MODE = "C.UTF-8/pipes"
STARTS = ("pipes", "console", "console-chcp950")

WORK_LETTER = "W"
HARDENED_PREFIX = "/d /u /v:off /c "
LOG_WINDOWS_PATH = r"C:\nodrel-cmdlog.txt"
REAL_CMD_WINDOWS_PATH = r"C:\windows\system32\cmd-real.exe"
RUN_FOLDER = "nodrel-run"  # in drive_c: the program, and the batch file of console-chcp950
SYSTEM_FOLDER = "nodrel-system"  # in drive_c: folders that scenarios own on the system drive
RUN_TIMEOUT = 60
LOGGER_RETRY = "cmdlog: starting cmd-real.exe failed"  # tests/wine/cmdlog.c, on stderr
MACHINE_I386 = 0x14C
PROBE_32_WINDOWS_PATH = r"C:\nodrel-tools\hello32.exe"
# mountmgr takes port numbers 1..255 from the registry and gives a port it finds the first number left,
# up to 256; a registry entry of "" leaves its number unused.
REGISTRY_PORTS = range(1, 256)


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


def split_mode(mode):
    """"zh_TW.UTF-8/console" -> ("zh_TW.UTF-8", "console"); ValueError for a mode not in MODES or
    TERMINAL_MODES."""
    if mode not in MODES + TERMINAL_MODES:
        raise ValueError(f"unknown Wine mode {mode!r}; known: {', '.join(MODES)}")
    locale, _, start = mode.partition("/")
    return locale, start


def _run_under_script(inner, typescript, stdin, workdir, env):
    """Runs the shell command inner on script(1)'s terminal, typing stdin; returns its exit code.

    script's stdin stays open until the command ends: at its end, script waits up to 2 s for the terminal to take
    in what is left, then types an end-of-file character, which is a key too."""
    env["SHELL"] = "/bin/sh"
    process = subprocess.Popen(["script", "-qec", inner, typescript], stdin=subprocess.PIPE,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=workdir, env=env)
    try:
        process.stdin.write(stdin)
        process.stdin.flush()
        return process.wait(timeout=RUN_TIMEOUT)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        raise
    finally:
        process.stdin.close()


def visible_text(typescript):
    """What a terminal shows of script(1)'s typescript: Wine's console moves the cursor right over a blank
    ("ESC[1C"), hides and shows the cursor and clears to the end of the line around every character."""
    data = typescript.split(b"\nScript done on ")[0]
    if data.startswith(b"Script started on "):
        data = data.split(b"\n", 1)[1] if b"\n" in data else b""
    if data.startswith(b"\r\n"):  # Wine's console begins on a fresh line
        data = data[2:]
    data = re.sub(rb"\x1b\[([0-9]*)C", lambda m: b" " * int(m.group(1) or b"1"), data)
    data = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", data)
    return data.replace(b"\r\r\n", b"\r\n")


def _stop_server(env):
    """Ends the prefix's wineserver and every Wine process of that prefix."""
    subprocess.run([str(SERVER_64), "-k"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    subprocess.run([str(SERVER_64), "-w"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False, timeout=30)


def device_links(prefix):
    """The entries of the prefix's dosdevices folder that lead into /dev, as {name: target}."""
    found = {}
    dosdevices = Path(prefix) / "dosdevices"
    if not dosdevices.is_dir():
        return found
    for link in dosdevices.iterdir():
        if link.is_symlink():
            target = os.path.realpath(link)
            if target == "/dev" or target.startswith("/dev/") or os.readlink(link).startswith("/dev"):
                found[link.name] = os.readlink(link)
    return found


def remove_device_links(prefix):
    """Unlinks every dosdevices entry that leads into /dev; returns {name: target} of those removed."""
    found = device_links(prefix)
    for name in found:
        (Path(prefix) / "dosdevices" / name).unlink()
    left = device_links(prefix)
    if left:
        raise RuntimeError(f"dosdevices links into /dev could not be removed: {left}")
    return found


def _reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def _write_ports(prefix, com1):
    """Rewrites the Ports key in the stopped prefix's system.reg: every COMn and LPTn of REGISTRY_PORTS maps to
    nothing, except COM1 to the Unix path com1 when given."""
    values = []
    for kind in ("COM", "LPT"):
        for number in REGISTRY_PORTS:
            target = com1 if (kind, number) == ("COM", 1) and com1 is not None else ""
            values.append(f"{_reg_string(f'{kind}{number}')}={_reg_string(target)}")
    registry = Path(prefix) / "system.reg"
    lines = registry.read_text(encoding="utf-8").split("\n")
    header = re.compile(r"^\[Software\\\\Wine\\\\Ports\]( |$)")
    try:
        start = next(i for i, line in enumerate(lines) if header.match(line))
    except StopIteration:
        lines[-1:] = ["", r"[Software\\Wine\\Ports] 0"] + values + ["", ""]
    else:
        end = start + 1
        while end < len(lines) and lines[end].startswith("#"):
            end += 1  # the key's own meta lines (#time=...)
        stop = end
        while stop < len(lines) and lines[stop] != "":
            stop += 1
        lines[end:stop] = values
    registry.write_text("\n".join(lines), encoding="utf-8")


class WineExecutor:
    def __init__(self, exe_path: str, scratch_dir: str):
        """Prepares a prefix under scratch_dir for running exe_path."""
        self.exe_path = Path(exe_path).resolve()
        self.scratch = Path(scratch_dir).resolve()
        self.prefix = self.scratch / "prefix"
        self.last_stderr = b""
        self.last_returncode = None
        self.logger_retries = 0
        self.timings = {}
        self.removed_device_links = {}  # every dosdevices link into /dev removed so far: {name: target}

        if pe_is_32bit(self.exe_path):
            supported, reason = i686_support()
            if not supported:
                raise Unsupported32Bit(reason)

        self.scratch.mkdir(parents=True, exist_ok=True)
        self._env = self._locale_env("C.UTF-8")
        self._finalizer = weakref.finalize(self, _stop_server, dict(self._env))
        self._mapped = {}  # letter -> link target of the current mapping
        self._applied = None  # (drive types, COM1 target) the running wineserver was started with
        self._prompts = {}  # mode -> PAUSE's bytes

        started = time.monotonic()
        self._make_prefix()
        self.timings["prefix"] = time.monotonic() - started

        if pe_is_32bit(self.exe_path):
            self._check_32bit_runs()

    # ---------------------------------------------------------------- setup

    def _locale_env(self, locale):
        """The environment of every Wine process under the given Unix locale.

        "C.UTF-8" gives an English Windows (code pages 1252/437, English cmd.exe messages). "zh_TW.UTF-8" gives a
        Traditional Chinese one (950/950, Chinese messages); it is compiled into <scratch_dir>/locale when the
        system does not have it.
        """
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
        keep it open after the program ends. One of them, the mount manager, links the ports it finds into
        dosdevices; those links go at once.
        """
        subprocess.run([str(SERVER_64), "-p"], env=self._env, cwd=self.prefix, check=True)
        self._wine("reg", "query", r"HKLM\Software\Wine\Drives", "/reg:64")
        self.removed_device_links.update(remove_device_links(self.prefix))

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
        _write_ports(self.prefix, None)
        self.removed_device_links.update(remove_device_links(self.prefix))
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

    def system_folder(self):
        """A folder on the prefix's system drive C: (made when missing), for scenarios to own."""
        folder = self.prefix / "drive_c" / SYSTEM_FOLDER
        folder.mkdir(exist_ok=True)
        return folder

    # ---------------------------------------------------------------- drives and ports

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

    def _apply(self, types, com1):
        """Writes the drive types and the COM1 mapping, and restarts the wineserver when either changed.

        Wine's mount manager reads both only when the server starts, and keeps a drive it knows listed even
        after its dosdevices link is gone: a letter removed also needs a restart. Links of the same letters may
        point elsewhere without one.
        """
        wanted = (types, com1)
        if wanted == self._applied:
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
        _stop_server(self._env)  # saves the registry, so that the ports can be written into its file
        _write_ports(self.prefix, com1)
        self._start_server()
        self._applied = (dict(types), com1)
        if com1 is not None:
            self._check_com1(com1)

    def _check_com1(self, canary):
        """Raises RuntimeError unless COM1 now is the canary file: its link, and its content read as COM1."""
        link = self.prefix / "dosdevices" / "com1"
        target = os.readlink(link) if link.is_symlink() else None
        if target != str(canary):
            raise RuntimeError(f"COM1 is not mapped to the canary {canary}: dosdevices/com1 is {target!r}")
        with open(canary, "rb") as file:
            content = file.read()
        if b"\r" in content or b"\n" in content[:-1]:
            raise ValueError("a canary holds one line, so that type can show it unchanged")
        # Right after a restart of the server, type has once read nothing from COM1 (one run of the whole test
        # command on a loaded machine); a few tries tell that from a wrong mapping.
        for attempt in range(3):
            if attempt:
                time.sleep(1)
            _, output = self._wine(REAL_CMD_WINDOWS_PATH, "/d", "/c", "type", "COM1", timeout=60)
            if output.replace("\r\n", "\n").encode() == content:
                return
        raise RuntimeError(f"COM1 does not read as the canary {canary}: {output!r}")

    # ---------------------------------------------------------------- runs

    def _launch(self, windows_command, mode, stdin, workdir, env, merge_stderr=False):
        """Starts a Windows command line (program path and switches, no quoting needed) in the given mode;
        returns (exit code, stdout bytes, stderr bytes). merge_stderr: stderr goes where stdout goes (and
        the stderr returned is empty)."""
        locale, start = split_mode(mode)
        env = dict(env)
        env.update({k: v for k, v in self._locale_env(locale).items() if k in ("LANG", "LC_ALL", "LOCPATH")})
        if locale in ("C", "POSIX", "C.UTF-8", "C.utf8"):
            env.pop("LOCPATH", None)
        if stdin is None:
            stdin = b"" if start == "pipes" else b"\n"
        if start == "console-chcp950":
            batch = self.prefix / "drive_c" / RUN_FOLDER / "chcp950.bat"
            batch.parent.mkdir(exist_ok=True)
            batch.write_bytes(b"@echo off\r\nchcp 950 >nul\r\n" + windows_command.encode("ascii") + b"\r\n")
            windows_command = f"{REAL_CMD_WINDOWS_PATH} /d /c C:\\{RUN_FOLDER}\\chcp950.bat"
        argv = [str(LOADER_64)] + windows_command.split(" ")
        try:
            if start == "terminal":
                return self._launch_on_terminal(argv, stdin, workdir, env, merge_stderr)
            if start == "pipes":
                result = subprocess.run(argv, input=stdin, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT if merge_stderr else subprocess.PIPE,
                                        cwd=workdir, env=env, timeout=RUN_TIMEOUT, check=False)
                return result.returncode, result.stdout, result.stderr or b""
            # On a terminal: stdin is script's terminal, stdout and stderr go to files.
            out, err = self.scratch / "console-stdout.bin", self.scratch / "console-stderr.bin"
            inner = "exec " + " ".join(map(shlex.quote, argv)) + f" >{shlex.quote(str(out))} " \
                                                                 + ("2>&1" if merge_stderr else
                                                                    f"2>{shlex.quote(str(err))}")
            code = _run_under_script(inner, "/dev/null", stdin, workdir, env)
            stdout, stderr = out.read_bytes(), err.read_bytes() if err.exists() else b""
            out.unlink()
            err.unlink(missing_ok=True)
            return code, stdout, stderr
        except subprocess.TimeoutExpired:
            # The program's children (cmd.exe) may still run: end the whole prefix.
            _stop_server(self._env)
            self._applied = None
            raise

    def _launch_on_terminal(self, argv, stdin, workdir, env, merge_stderr):
        """Runs argv with stdin and stdout on script(1)'s terminal; returns (exit code, visible text, stderr)."""
        typescript, err = self.scratch / "terminal-typescript.bin", self.scratch / "terminal-stderr.bin"
        inner = "exec " + " ".join(map(shlex.quote, argv)) + ("" if merge_stderr else f" 2>{shlex.quote(str(err))}")
        code = _run_under_script(inner, str(typescript), stdin, workdir, env)
        data = typescript.read_bytes()
        stderr = err.read_bytes() if err.exists() else b""
        typescript.unlink()
        err.unlink(missing_ok=True)
        return code, visible_text(data), stderr

    def pause_prompt(self, mode=DEFAULT_MODE):
        """The exact bytes that cmd.exe's PAUSE writes to stdout in this mode, started with the program's
        switches; measured once per mode with Wine's own cmd.exe."""
        if mode not in self._prompts:
            if self._applied is None:
                self._apply({WORK_LETTER: "network"}, None)
            command = f"{REAL_CMD_WINDOWS_PATH} {HARDENED_PREFIX}pause"
            code, stdout, stderr = self._launch(command, mode, None, str(self.prefix / "drive_c"), self._env)
            if code != 0 or not stdout:
                raise RuntimeError(f"PAUSE could not be measured in mode {mode}: exit {code}, "
                                   f"stdout {stdout!r}, stderr {stderr!r}")
            self._prompts[mode] = stdout
        return self._prompts[mode]

    def run(self, drives: dict, workdir: str, stdin: bytes = None, mode: str = DEFAULT_MODE,
            com1: str = None, becomes_folder: str = None, merge_stderr: bool = False) -> tuple:
        """Runs the program once; returns (stdout bytes, command lines without the leading switches).

        stdin: the input (None: none through a pipe, a newline on a terminal). com1: the Unix path of a canary
        file that COM1 maps to during this run (None: COM1 maps to nothing). becomes_folder: a Windows path of
        a file that the logger turns into a folder just before the start of cmd.exe that names it (a race).
        merge_stderr: the program's stderr goes to the same pipe or file as its stdout.
        """
        if not self._finalizer.alive:
            raise RuntimeError("executor already closed")
        split_mode(mode)
        types = self._map_drives(drives, workdir)
        self._apply(types, None if com1 is None else str(Path(com1).resolve()))
        self.removed_device_links.update(remove_device_links(self.prefix))

        log = self.prefix / "drive_c" / LOG_WINDOWS_PATH[3:]
        log.unlink(missing_ok=True)
        program = self.prefix / "drive_c" / RUN_FOLDER / self.exe_path.name
        program.parent.mkdir(exist_ok=True)
        shutil.copy2(self.exe_path, program)

        env = dict(self._env)
        env["WINEDLLOVERRIDES"] += ";cmd.exe=n"  # the logger at system32\cmd.exe, not Wine's built-in one
        env["NODREL_CMDLOG"] = LOG_WINDOWS_PATH
        if becomes_folder is not None:
            env["NODREL_BECOMES_FOLDER"] = becomes_folder
        started = time.monotonic()
        code, stdout, stderr = self._launch(f"C:\\{RUN_FOLDER}\\{self.exe_path.name}", mode, stdin, workdir, env,
                                            merge_stderr)
        self.timings["last_run"] = time.monotonic() - started
        self.last_stderr = stderr
        self.last_returncode = code
        # The logger says on stderr when Wine failed to start cmd-real.exe and it tried again.
        self.logger_retries = stderr.count(LOGGER_RETRY.encode())
        self.removed_device_links.update(remove_device_links(self.prefix))
        return stdout, self._read_commands(log)

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

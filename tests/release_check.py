#!/usr/bin/python3
"""Makes the release twice and checks that it is reproducible and complete.

Usage: /usr/bin/python3 tests/release_check.py [repository]

Clones the repository (by default the one holding this file) twice, into
folders with paths of different lengths, checks out its committed HEAD in both,
and runs `sh scripts/release.sh` in each, a while apart and with different
temporary folders, so that the two builds differ in path and in time. The
second clone also gets an uncommitted change, a stale build and a stale dist/,
none of which may reach the release. Then both dist/ folders must hold the same
bytes, and each zip exactly the files a user should get. Exits 1 on any
failure and keeps its folders, saying where.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))

MIT = """\
MIT License

Copyright (c) 2026 The Nodrel developers

Permission is hereby granted, free of charge, to any person obtaining a copy
of this software and associated documentation files (the "Software"), to deal
in the Software without restriction, including without limitation the rights
to use, copy, modify, merge, publish, distribute, sublicense, and/or sell
copies of the Software, and to permit persons to whom the Software is
furnished to do so, subject to the following conditions:

The above copyright notice and this permission notice shall be included in all
copies or substantial portions of the Software.

THE SOFTWARE IS PROVIDED "AS IS", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR
IMPLIED, INCLUDING BUT NOT LIMITED TO THE WARRANTIES OF MERCHANTABILITY,
FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT. IN NO EVENT SHALL THE
AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY CLAIM, DAMAGES OR OTHER
LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR OTHERWISE, ARISING FROM,
OUT OF OR IN CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER DEALINGS IN THE
SOFTWARE.
""".encode("ascii")

# Each build: its PE machine type and the words its README.txt uses for it.
ARCHES = {"win64": (0x8664, b"64-bit"), "win32": (0x14C, b"32-bit")}
ENTRIES = ["nodrel.exe", "README.txt", "guide.zh-TW.txt", "LICENSE.txt"]
MODES = {"nodrel.exe": 0o100755}  # the text files: 0o100644
BOM = b"\xef\xbb\xbf"

failures = []


def fail(text):
    failures.append(text)
    print(f"FAIL {text}")


def git(repo, *args):
    return subprocess.run(["git", "-C", repo, *args], check=True,
                          capture_output=True).stdout


def read(path):
    with open(path, "rb") as file:
        return file.read()


def crlf_problem(data):
    """Says what is wrong with the line ends of a text file, or None."""
    if not data.endswith(b"\r\n"):
        return "does not end with CRLF"
    bare_lf = len(re.findall(rb"(?<!\r)\n", data))
    bare_cr = len(re.findall(rb"\r(?!\n)", data))
    if bare_lf or bare_cr:
        return f"{bare_lf} bare LF and {bare_cr} bare CR"
    return None


def release(clone, tmpdir, log):
    """Runs the release command in a clone; returns True when it succeeds."""
    os.makedirs(tmpdir)
    env = dict(os.environ, TMPDIR=tmpdir)
    with open(log, "wb") as out:
        done = subprocess.run(["sh", "scripts/release.sh"], cwd=clone, env=env,
                              stdout=out, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        tail = read(log).decode("utf-8", "replace").splitlines()[-20:]
        fail(f"sh scripts/release.sh in {clone} exited {done.returncode}; "
             f"its output is in {log}, ending:\n  " + "\n  ".join(tail))
        return False
    return True


def dist_files(clone):
    folder = os.path.join(clone, "dist")
    return {name: read(os.path.join(folder, name)) for name in sorted(os.listdir(folder))}


def check_sums(dist, names, where):
    """SHA256SUMS: one line per name, in order, with the right sums, and
    accepted by sha256sum -c."""
    lines = dist["SHA256SUMS"].decode("ascii", "replace").splitlines()
    expected = [f"{hashlib.sha256(dist[name]).hexdigest()}  {name}" for name in names]
    if lines != expected:
        fail(f"{where}/SHA256SUMS is\n  " + "\n  ".join(lines)
             + "\nexpected\n  " + "\n  ".join(expected))
    done = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=where,
                          capture_output=True, text=True)
    if done.returncode != 0 or done.stdout.splitlines() != [f"{name}: OK" for name in names]:
        fail(f"sha256sum -c SHA256SUMS in {where} exited {done.returncode}:\n"
             f"{done.stdout}{done.stderr}")


def check_exe(data, arch, where, paths):
    machine, _ = ARCHES[arch]
    try:
        pe = pefile.PE(data=data, fast_load=True)
    except pefile.PEFormatError as error:
        fail(f"{where}: not a PE file: {error}")
        return
    if pe.FILE_HEADER.Machine != machine:
        fail(f"{where}: machine {pe.FILE_HEADER.Machine:#x}, expected {machine:#x}")
    if pe.FILE_HEADER.TimeDateStamp != 0:
        fail(f"{where}: link time stamp {pe.FILE_HEADER.TimeDateStamp:#x}, expected 0")
    sections = [section.Name.rstrip(b"\0").decode("ascii", "replace") for section in pe.sections]
    debug = [name for name in sections if name.startswith((".debug", "/"))]
    if debug:
        fail(f"{where}: debug sections {debug}")
    for path in paths:
        if path.encode() in data:
            fail(f"{where}: holds the build path {path}")


def check_zip(path, arch, dist, version, commit, epoch, sources, work, paths):
    _, bits = ARCHES[arch]
    where = os.path.basename(path)
    try:
        archive = zipfile.ZipFile(path)
    except zipfile.BadZipFile as error:
        fail(f"{where}: not a zip: {error}")
        return
    with archive:
        infos = archive.infolist()
        names = [info.filename for info in infos]
        if names != ENTRIES:
            fail(f"{where} holds {names}, expected {ENTRIES}")
        bad = archive.testzip()
        if bad is not None:
            fail(f"{where}: {bad} does not match its CRC")
        when = time.gmtime(epoch)
        stamp = (*when[:5], when.tm_sec // 2 * 2)  # DOS times count 2-second steps
        for info in infos:
            mode = MODES.get(info.filename, 0o100644)
            found = (info.date_time, info.create_system, info.external_attr >> 16,
                     info.compress_type, info.extra, info.comment)
            wanted = (stamp, 3, mode, zipfile.ZIP_DEFLATED, b"", b"")
            if found != wanted:
                fail(f"{where}/{info.filename}: (time, system, mode, method, extra, comment) "
                     f"= {found}, expected {wanted}")
        if archive.comment:
            fail(f"{where}: zip comment {archive.comment!r}")
        content = {name: archive.read(name) for name in names}

    exe = content.get("nodrel.exe")
    if exe is not None:
        named = f"nodrel-{version}-{arch}.exe"
        if exe != dist.get(named):
            fail(f"{where}/nodrel.exe is not the same bytes as dist/{named}")
        check_exe(exe, arch, f"{where}/nodrel.exe", paths)
        folder = os.path.join(work, "extracted", arch)
        os.makedirs(folder)
        with open(os.path.join(folder, "nodrel.exe"), "wb") as file:
            file.write(exe)

    for name in ENTRIES[1:]:
        if name in content:
            problem = crlf_problem(content[name])
            if problem:
                fail(f"{where}/{name}: {problem}")

    if "LICENSE.txt" in content:
        text = content["LICENSE.txt"].replace(b"\r\n", b"\n")
        if text != MIT:
            fail(f"{where}/LICENSE.txt is not the MIT license of The Nodrel developers")
        if text != sources["LICENSE"]:
            fail(f"{where}/LICENSE.txt differs from LICENSE at {commit}")

    if "guide.zh-TW.txt" in content:
        guide = content["guide.zh-TW.txt"]
        if not guide.startswith(BOM):
            fail(f"{where}/guide.zh-TW.txt does not start with the UTF-8 byte order mark")
        if guide[len(BOM):].replace(b"\r\n", b"\n") != sources["docs/guide.zh-TW.md"]:
            fail(f"{where}/guide.zh-TW.txt differs from docs/guide.zh-TW.md at {commit}")

    if "README.txt" in content:
        readme = content["README.txt"]
        try:
            readme.decode("ascii")
        except UnicodeDecodeError:
            fail(f"{where}/README.txt is not plain ASCII")
        for needed in (f"Nodrel {version} for ".encode() + bits, b"guide.zh-TW.txt",
                       b"LICENSE.txt", b"MIT", f"nodrel-{version}-{arch}.zip".encode(),
                       f"nodrel-{version}-{arch}.exe".encode(),
                       b"certutil -hashfile nodrel.exe SHA256", b"sha256sum -c SHA256SUMS",
                       b"sh scripts/release.sh", commit.encode()):
            if needed not in readme:
                fail(f"{where}/README.txt does not say {needed.decode()!r}")


def main(args):
    repo = os.path.abspath(args[0] if args else os.path.join(HERE, ".."))
    commit = git(repo, "rev-parse", "HEAD").decode().strip()
    epoch = int(git(repo, "log", "-1", "--format=%ct", commit))
    print(f"release check: commit {commit} of {repo} (uncommitted changes are not part of it)")
    work = tempfile.mkdtemp(prefix="nodrel-release-check.")

    # Paths of different lengths, for the clones and for the temporary folders
    # that the builds run in.
    clones = [os.path.join(work, "a", "nodrel"),
              os.path.join(work, "second-copy-at-a-longer-path", "nodrel")]
    tmpdirs = [os.path.join(work, "t1"), os.path.join(work, "tmp-of-the-second-build")]
    for clone in clones:
        subprocess.run(["git", "clone", "-q", repo, clone], check=True)
        git(clone, "checkout", "-q", "--detach", commit)

    # What the release must not pick up: an uncommitted edit, an old build
    # and an old dist/ with a file that does not belong there.
    second = clones[1]
    with open(os.path.join(second, "docs", "guide.zh-TW.md"), "ab") as file:
        file.write(b"uncommitted line\n")
    os.makedirs(os.path.join(second, "build", "win64"))
    with open(os.path.join(second, "build", "win64", "nodrel.exe"), "wb") as file:
        file.write(b"an old build")
    os.makedirs(os.path.join(second, "dist"))
    with open(os.path.join(second, "dist", "old.txt"), "wb") as file:
        file.write(b"an old release")

    built = []
    for number, (clone, tmpdir) in enumerate(zip(clones, tmpdirs)):
        if number:
            time.sleep(1.5)  # a later second for anything that would take the time
        started = time.monotonic()
        ok = release(clone, tmpdir, os.path.join(work, f"release-{number + 1}.log"))
        print(f"release {number + 1}: {clone}, {time.monotonic() - started:.1f} s")
        built.append(ok)

    version = None
    if all(built):
        match = re.search(rb"^project\(nodrel VERSION (\d+)\.(\d+)\.\d+\.\d+ ",
                          read(os.path.join(clones[0], "CMakeLists.txt")), re.M)
        if not match:
            fail("no project VERSION a.b.c.d in CMakeLists.txt")
        else:
            version = f"{match[1].decode()}.{match[2].decode()}"

    if version:
        zips = [f"nodrel-{version}-{arch}.zip" for arch in ARCHES]
        exes = [f"nodrel-{version}-{arch}.exe" for arch in ARCHES]
        names = zips + exes
        dists = [dist_files(clone) for clone in clones]
        for clone, dist in zip(clones, dists):
            if sorted(dist) != sorted(names + ["SHA256SUMS"]):
                fail(f"{clone}/dist holds {sorted(dist)}, expected {sorted(names + ['SHA256SUMS'])}")
        for name in sorted(set(dists[0]) | set(dists[1])):
            if dists[0].get(name) != dists[1].get(name):
                fail(f"dist/{name} differs between the two builds")
        for clone, dist in zip(clones, dists):
            if "SHA256SUMS" in dist:
                check_sums(dist, names, os.path.join(clone, "dist"))

        sources = {name: git(repo, "show", f"{commit}:{name}")
                   for name in ("LICENSE", "docs/guide.zh-TW.md")}
        paths = clones + tmpdirs + ["nodrel-release."]
        for arch in ARCHES:
            for dist, clone in zip(dists, clones):
                if f"nodrel-{version}-{arch}.exe" in dist:
                    check_exe(dist[f"nodrel-{version}-{arch}.exe"], arch,
                              f"{clone}/dist/nodrel-{version}-{arch}.exe", paths)
            check_zip(os.path.join(clones[0], "dist", f"nodrel-{version}-{arch}.zip"),
                      arch, dists[0], version, commit, epoch, sources, work, paths)

        extracted = [os.path.join(work, "extracted", arch, "nodrel.exe") for arch in ARCHES]
        if all(os.path.exists(path) for path in extracted):
            done = subprocess.run(["/usr/bin/python3", os.path.join(HERE, "version_record.py"),
                                   *extracted])
            if done.returncode != 0:
                fail("the version record of an exe taken out of a zip is not as shipped")
        else:
            fail("not every zip held a nodrel.exe to check the version record of")

        if not failures:
            print("SHA256SUMS of both builds:")
            print(dists[0]["SHA256SUMS"].decode("ascii"), end="")

    if failures:
        print(f"release check: {len(failures)} failures; the clones, logs and "
              f"extracted exes are kept in {work}")
        return 1
    shutil.rmtree(work)
    print("release check: both builds gave the same bytes, and the zips hold what they should")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

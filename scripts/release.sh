#!/bin/sh
# Makes the release from the committed HEAD and writes it to dist/: a zip per
# Windows build (nodrel.exe, README.txt, guide.zh-TW.txt, LICENSE.txt), the two
# exes, and SHA256SUMS over all four. HEAD is exported into a fresh temporary
# folder and built there, so uncommitted files and old builds never leak in.
# The same commit gives the same bytes: the build flags leave out times and
# paths, and the zip entries take the commit's time, a fixed order and modes.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

commit=$(git -C "$root" rev-parse HEAD)
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct "$commit")
export SOURCE_DATE_EPOCH

work=$(mktemp -d "${TMPDIR:-/tmp}/nodrel-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM
src="$work/src"
out="$work/dist"
mkdir "$src" "$out"
git -C "$root" archive --format=tar "$commit" | tar -x -C "$src"

# The one place the version is written: the project line of CMakeLists.txt,
# e.g. VERSION 1.6.0.0; the release is named by its first two numbers.
version=$(sed -n 's/^project(nodrel VERSION \([0-9]*\.[0-9]*\)[.0-9]* .*/\1/p' "$src/CMakeLists.txt")
if [ -z "$version" ]; then
    echo "release: no project VERSION in CMakeLists.txt" >&2
    exit 1
fi
echo "release: nodrel $version from commit $commit" >&2

sh "$src/scripts/build-windows.sh" >/dev/null
for arch in win64 win32; do
    cp "$src/build/$arch/nodrel.exe" "$out/nodrel-$version-$arch.exe"
done

/usr/bin/python3 - "$src" "$out" "$version" "$commit" <<'EOF'
import os
import sys
import time
import zipfile

src, out, version, commit = sys.argv[1:]
# Zip entry times are DOS times, which start in 1980.
stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]

README = """\
Nodrel {version} for {bits} Windows

Nodrel removes autorun-style malware (a hidden autorun.inf, hidden programs,
programs named like the folders they hid) from USB sticks and other drives.
Plug in the stick and start nodrel.exe, with no arguments, from a console in
code page 950 ("chcp 950" first if the text is garbled); read the report and
press a key. It never scans the system drive or A:, and needs no DLL.
guide.zh-TW.txt is the user's guide, in Traditional Chinese.

To check the download, compare its SHA-256 sums with SHA256SUMS, published with
it, which lists this zip and this nodrel.exe (as nodrel-{version}-{arch}.exe):
    certutil -hashfile nodrel-{version}-{arch}.zip SHA256     (Windows)
    certutil -hashfile nodrel.exe SHA256
    sha256sum -c SHA256SUMS                         (Linux)
The build is reproducible: "sh scripts/release.sh" at commit
{commit} gives the same sums.

License: MIT, see LICENSE.txt.
"""


def crlf(data):
    """Text with CRLF line ends, for Notepad."""
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def read(name):
    with open(os.path.join(src, name), "rb") as file:
        return file.read()


def add(archive, name, data, mode):
    info = zipfile.ZipInfo(name, date_time=stamp)
    info.create_system = 3  # Unix, so that unzip takes the mode below
    info.external_attr = (0o100000 | mode) << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    archive.writestr(info, data, compresslevel=9)


for arch, bits in (("win64", "64-bit"), ("win32", "32-bit")):
    name = f"nodrel-{version}-{arch}"
    readme = README.format(version=version, bits=bits, arch=arch, commit=commit)
    with zipfile.ZipFile(os.path.join(out, name + ".zip"), "w") as archive:
        add(archive, "nodrel.exe", read(f"build/{arch}/nodrel.exe"), 0o755)
        add(archive, "README.txt", crlf(readme.encode("ascii")), 0o644)
        # UTF-8 with a byte order mark, which every Notepad reads as UTF-8.
        add(archive, "guide.zh-TW.txt", b"\xef\xbb\xbf" + crlf(read("docs/guide.zh-TW.md")), 0o644)
        add(archive, "LICENSE.txt", crlf(read("LICENSE")), 0o644)
EOF

(cd "$out" && sha256sum "nodrel-$version-win64.zip" "nodrel-$version-win32.zip" \
    "nodrel-$version-win64.exe" "nodrel-$version-win32.exe" >SHA256SUMS)

rm -rf "$root/dist"
cp -R "$out" "$root/dist"
echo "release: written to $root/dist" >&2
cat "$root/dist/SHA256SUMS"

#!/usr/bin/env bash
# The release archives: dist.sh LINUX_BUILD WINDOWS_BUILD DIST_DIR.
#   marlovex-VERSION-linux-x64.tar.gz   the program, its man page and the docs, as installed
#                                       under /usr/local
#   marlovex-VERSION-windows-x64.zip    marlovex.exe, the README, the docs and the man page as text
set -euo pipefail
linux=${1:?Linux build folder}
windows=${2:?Windows build folder}
dist=${3:?output folder}
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/.*kVersione\[\] = "\(.*\)";/\1/p' "$linux/generato/versione.h")
[ -n "$version" ] || { echo "dist: no version in $linux/generato/versione.h" >&2; exit 1; }
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# Linux: the staged install, under a folder named after the release.
name=marlovex-$version-linux-x64
DESTDIR="$tmp/$name" cmake --install "$linux" --prefix /usr/local --strip >/dev/null
tar -C "$tmp" -czf "$dist/$name.tar.gz" "$name"

# Windows: one folder with the program and its documents; the man page rendered as text with
# Windows line ends, for Notepad.
name=marlovex-$version-windows-x64
mkdir -p "$tmp/$name/docs"
cp "$windows/marlovex.exe" "$tmp/$name/"
cp "$root/README.md" "$tmp/$name/"
cp "$root"/docs/*.md "$tmp/$name/docs/"
MANWIDTH=80 man -l "$linux/generato/marlovex.1" 2>/dev/null | col -bx | sed 's/$/\r/' \
  >"$tmp/$name/marlovex.txt"
[ -s "$tmp/$name/marlovex.txt" ] || { echo "dist: the man page did not render" >&2; exit 1; }
rm -f "$dist/$name.zip"
(cd "$tmp" && zip -qr "$dist/$name.zip" "$name")
ls -l "$dist"

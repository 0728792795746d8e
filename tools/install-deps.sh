#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
set -euo pipefail
need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v make >/dev/null 2>&1 || need+=(make)
command -v sqlite3 >/dev/null 2>&1 || need+=(sqlite3)
[ -f /usr/include/sqlite3.h ] || need+=(libsqlite3-dev)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
# clang with libFuzzer, for `make fuzz`.
command -v clang++ >/dev/null 2>&1 || need+=(clang)
# The Windows cross build and its tests (`make windows`, `make test-windows`, `make dist`):
# mingw-w64's posix-threads compilers, GoogleTest's sources to build for Windows, npm to fetch
# the SQLite amalgamation, Wine to run the tests, zip for the release archive.
if [ "${1:-}" = windows ]; then
  command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || need+=(g++-mingw-w64-x86-64-posix)
  [ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
  command -v npm >/dev/null 2>&1 || need+=(npm)
  command -v wine >/dev/null 2>&1 || need+=(wine wine64)
  command -v zip >/dev/null 2>&1 || need+=(zip)
fi
[ ${#need[@]} -eq 0 ] && exit 0
if command -v apt-get >/dev/null 2>&1 && [ "$(id -u)" = 0 ]; then
  echo "Installing: ${need[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
else
  echo "Missing packages: ${need[*]}" >&2
  echo "Install them (for example: sudo apt-get install ${need[*]}) and run make again." >&2
  exit 1
fi

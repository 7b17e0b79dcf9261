#!/usr/bin/env bash
# Configures and builds one of the two builds: "win" (KestruneAV.exe and the Win32
# tests, cross-compiled) or "native" (the portable code and its unit tests on the
# stand-in platform, with AddressSanitizer and UBSan).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${KAV_JOBS:-2}
case "${1:-}" in
  win)
    cmake --no-warn-unused-cli -S "$root" -B "$root/build/win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$root/build/win" -j "$jobs" -- --no-print-directory >/dev/null
    ;;
  native)
    cmake -S "$root" -B "$root/build/native" -DKAV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build "$root/build/native" -j "$jobs" -- --no-print-directory >/dev/null
    ;;
  *)
    echo "usage: tools/build.sh win|native" >&2
    exit 2
    ;;
esac

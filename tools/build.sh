#!/usr/bin/env bash
# Configures and builds one of the builds: "win" (KestruneAV.exe and the Win32
# tests, cross-compiled), "native" (the portable code and its unit tests on the
# stand-in platform, with AddressSanitizer and UBSan), "tsan" (the same tests under
# ThreadSanitizer) or "bench-native" (the benchmark's native program, optimised).
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
  tsan)
    # The same unit tests under ThreadSanitizer, for the threaded parts.
    cmake -S "$root" -B "$root/build/tsan" -DKAV_TSAN=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build "$root/build/tsan" -j "$jobs" --target kav_unit_tests -- --no-print-directory >/dev/null
    ;;
  bench-native)
    # The benchmark's native program, optimised and without sanitizers.
    cmake -S "$root" -B "$root/build/bench-native" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$root/build/bench-native" -j "$jobs" --target kav_native_bench -- --no-print-directory >/dev/null
    ;;
  *)
    echo "usage: tools/build.sh win|native|tsan|bench-native" >&2
    exit 2
    ;;
esac

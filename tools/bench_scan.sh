#!/usr/bin/env bash
# Benchmark of the engine: KestruneScan.exe under Wine over a generated folder of
# mixed files (small notes, scripts, executables with and without noise). Prints
# the files per second of a few runs. Not part of the tests: timings depend on the
# machine. Usage: bash tools/bench_scan.sh [FILES] [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
files=${1:-2000}
runs=${2:-3}
bash "$root/tools/setup.sh"
bash "$root/tools/build.sh" win

export WINEPREFIX="$root/build/wine-bench"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1 || true; }
corpus="$WINEPREFIX/drive_c/users/Public/Downloads/kav-bench"
if [ "$(find "$corpus" -type f 2>/dev/null | wc -l)" -ne "$files" ]; then
  rm -rf "$corpus" && mkdir -p "$corpus"
  for i in $(seq 1 "$files"); do
    case $((i % 4)) in
      0) printf 'meeting notes %d\r\n' "$i" >"$corpus/note$i.txt" ;;
      1) printf 'WScript.Echo %d\r\n' "$i" >"$corpus/script$i.js" ;;
      2) head -c 65536 /dev/urandom >"$corpus/packed$i.exe" ;;
      3) { printf 'MZ'; head -c 4094 /dev/zero; } >"$corpus/tool$i.exe" ;;
    esac
  done
fi
for run in $(seq 1 "$runs"); do
  start=$(date +%s.%N)
  wine "$root/build/win/KestruneScan.exe" 'C:\users\Public\Downloads\kav-bench' >/dev/null || true
  end=$(date +%s.%N)
  awk -v n="$files" -v s="$start" -v e="$end" -v r="$run" \
    'BEGIN { printf "run %d: %d files in %.2f s, %.0f files/s\n", r, n, e - s, n / (e - s) }'
done

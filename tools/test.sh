#!/usr/bin/env bash
# Runs every test and exits non-zero on any failure: the native unit tests (stand-in
# platform) under AddressSanitizer and UBSan and again under ThreadSanitizer, the
# Win32 tests under Wine, and the
# end-to-end tests of KestruneAV.exe under Wine with Xvfb and IceWM.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
passed=0
failed=0

# Adds a GoogleTest run's totals; a run that printed no totals counts as one failure.
count_gtest() {
  local log=$1 rc=$2 p f
  p=$(grep -aoE '^\[  PASSED  \] [0-9]+' "$log" | grep -oE '[0-9]+$' | tail -n 1)
  f=$(grep -aoE '^\[  FAILED  \] [0-9]+ tests?,' "$log" | grep -oE '[0-9]+' | tail -n 1)
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
  if [ "$rc" -ne 0 ] && [ "${f:-0}" -eq 0 ]; then failed=$((failed + 1)); fi
}

stage() { printf '\n== %s\n' "$*"; }

stage "set-up"
bash tools/setup.sh || { echo "tests: 0 passed, 1 failed"; exit 1; }

stage "native unit tests (AddressSanitizer, UBSan)"
if bash tools/build.sh native; then
  mkdir -p build/logs
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    build/native/tests/kav_unit_tests --gtest_brief=1 2>&1 | tee build/logs/unit.log
  count_gtest build/logs/unit.log "${PIPESTATUS[0]}"
else
  echo "native build failed"
  failed=$((failed + 1))
fi

stage "native unit tests (ThreadSanitizer)"
mkdir -p build/logs
if bash tools/build.sh tsan; then
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    build/tsan/tests/kav_unit_tests --gtest_brief=1 2>&1 | tee build/logs/tsan.log
  count_gtest build/logs/tsan.log "${PIPESTATUS[0]}"
else
  echo "ThreadSanitizer build failed"
  failed=$((failed + 1))
fi

stage "Windows build and Win32 tests under Wine"
if bash tools/build.sh win; then
  mkdir -p build/logs
  rm -rf build/wine-tests
  (unset DISPLAY; tools/wine-run.sh build/win/tests/kav_win32_tests.exe --gtest_brief=1) >build/logs/win32.log 2>&1
  rc=$?
  grep -av -e ':warn:seh:' build/logs/win32.log
  count_gtest build/logs/win32.log "$rc"
  (unset DISPLAY; WINEPREFIX="$root/build/wine-tests" wineserver -k 2>/dev/null)

  # The Win32 tests that need a window and a notification area, on a display of their own.
  xvfb-run -a tools/wine-run.sh build/win/tests/kav_win32_tests.exe --gtest_brief=1 --gtest_filter='TrayWin32.*' \
    >build/logs/win32-desktop.log 2>&1
  rc=$?
  grep -av -e ':warn:seh:' build/logs/win32-desktop.log
  count_gtest build/logs/win32-desktop.log "$rc"
  (WINEPREFIX="$root/build/wine-tests" wineserver -k 2>/dev/null)

  stage "end-to-end tests of KestruneAV.exe"
  bash tests/e2e/run_e2e.sh 2>&1 | tee build/logs/e2e.log
  rc=${PIPESTATUS[0]}
  p=$(sed -nE 's/^e2e: ([0-9]+) passed, [0-9]+ failed$/\1/p' build/logs/e2e.log | tail -n 1)
  f=$(sed -nE 's/^e2e: [0-9]+ passed, ([0-9]+) failed$/\1/p' build/logs/e2e.log | tail -n 1)
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
  if [ "$rc" -ne 0 ] && [ "${f:-0}" -eq 0 ]; then failed=$((failed + 1)); fi
else
  echo "Windows build failed"
  failed=$((failed + 1))
fi

echo
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]

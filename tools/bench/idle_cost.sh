#!/usr/bin/env bash
# Idle cost of KestruneAV.exe: the processor time the program (and, apart, Wine's
# server and the prefix's other Wine processes) uses per minute once its start-up
# has settled, first with its window shown, then started hidden in the tray with
# /background. Runs on an Xvfb desktop of its own with IceWM, in the benchmark's
# prefix with a home folder of its own, so the start-up scans of the user's folders
# have next to nothing to walk. Leaves the screen of each run in
# build/bench/idle-visible.png and idle-background.png (for a person to check that
# the window was shown, then only the tray icon), the program's output in
# build/bench/idle-*.log and the figures in build/bench/idle-result.txt.
# Usage: bash tools/bench/idle_cost.sh APP_EXE
# Environment: KAV_BENCH_IDLE_SECONDS (measuring window, 60), KAV_BENCH_SETTLE_SECONDS
#   (least wait for the start-up to settle, 30).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -ge 1 ] && [ -f "$1" ] || { echo "usage: bash tools/bench/idle_cost.sh APP_EXE" >&2; exit 2; }
app=$(realpath -- "$1")
window=${KAV_BENCH_IDLE_SECONDS:-60}
settle=${KAV_BENCH_SETTLE_SECONDS:-30}
# shellcheck source=tools/bench/common.sh
source "$root/tools/bench/common.sh"
mkdir -p "$bench_out"
result="$bench_out/idle-result.txt"
data="$WINEPREFIX/drive_c/ProgramData/KestruneAV"
say() { echo "idle: $*" >&2; }
bench_lock

bench_prefix
export HOME="$idle_home"

# A prefix's server is tied to the display it started with: end the one a headless
# run may have left before this desktop is used.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

display=57
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
xvfb_pid="" wm_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  bench_unlock
  return 0
}
trap cleanup EXIT
Xvfb ":$display" -screen 0 1280x800x24 -nolisten tcp >"$bench_out/idle-xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=":$display"
for _ in $(seq 1 40); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.5; done
xdpyinfo >/dev/null 2>&1 || { say "Xvfb did not start on $DISPLAY"; exit 1; }
icewm >"$bench_out/idle-icewm.log" 2>&1 &
wm_pid=$!
sleep 2

visible_window() { xdotool search --onlyvisible --name '^Kestrune AV$' >/dev/null 2>&1; }
# The tray icon: its blue ring in the notification area of the screenshot.
tray_icon() { [ "$(convert "$1" -crop 400x30+880+770 +repage txt:- 2>/dev/null | grep -c '#1E90FF')" -gt 0 ]; }

# The prefix's other Wine processes (explorer.exe draws the tray, services.exe and
# the device host serve the program): every .exe process of this prefix but the
# program itself.
helper_pids() {
  local pid
  for pid in $(pgrep -f '\.exe' 2>/dev/null); do
    [ "$pid" = "$1" ] && continue
    in_prefix "$pid" || continue
    case "$(argv0_of "$pid")" in *.exe | *.EXE) echo "$pid" ;; esac
  done
}
sum_cpu() { local t=0 pid; for pid in "$@"; do t=$(awk -v a="$t" -v b="$(cpu_seconds "$pid" || echo 0)" 'BEGIN { print a + b }'); done; echo "$t"; }

# idle_run MODE ARGS...: starts the program, waits for its start-up to settle,
# measures a window, ends it, and appends a line to the result file.
idle_run() {
  local mode=$1
  shift
  local log="$bench_out/idle-$mode.log" pid="" server shown=no size last quiet=0 waited=0
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  # A fresh data folder with the terms already accepted (the first word of
  # terms_accepted.txt, as the Terms page writes it), so the dashboard opens at once.
  rm -rf "$data" && mkdir -p "$data" && printf 'yes' >"$data/terms_accepted.txt"
  # The program writes no log file; its activity lines go to the Windows debug
  # channel, which Wine prints with warn+seh. The output's growth tells when the
  # start-up is over.
  say "$mode: starting $app $* ..."
  (WINEDEBUG=-all,warn+seh exec wine "$app" "$@" >"$log" 2>&1) &
  disown  # ended by wineserver -k, which the shell need not report
  for _ in $(seq 1 120); do
    pid=$(pids_of_exe KestruneAV.exe | head -n 1)
    [ -n "$pid" ] && break
    sleep 0.5
  done
  [ -n "$pid" ] || { say "$mode: the program did not start (see $log)"; printf '%s\tfailed\t-\t-\t-\t-\t-\t-\n' "$mode" >>"$result"; return 1; }
  # At least $settle seconds, then until the output has not grown for 10 s (at most
  # 90 s more), so that the start-up scans and first passes are done.
  last=$(stat -c %s "$log")
  while :; do
    sleep 1
    waited=$((waited + 1))
    size=$(stat -c %s "$log")
    if [ "$size" = "$last" ]; then quiet=$((quiet + 1)); else quiet=0; last=$size; fi
    [ "$waited" -ge "$settle" ] && [ "$quiet" -ge 10 ] && break
    [ "$waited" -ge $((settle + 90)) ] && { say "$mode: output still growing after $waited s; measuring anyway"; break; }
  done
  kill -0 "$pid" 2>/dev/null || { say "$mode: the program ended during start-up (see $log)"; printf '%s\tended\t-\t-\t-\t-\t-\t-\n' "$mode" >>"$result"; return 1; }
  visible_window && shown=shown || shown=hidden
  import -window root "$bench_out/idle-$mode.png"
  [ "$shown" = hidden ] && tray_icon "$bench_out/idle-$mode.png" && shown="hidden, in tray"
  server=$(prefix_server_pid || true)
  local helpers
  helpers=$(helper_pids "$pid" | tr '\n' ' ')
  local names="" h a
  for h in $helpers; do a=$(argv0_of "$h"); names="$names $h(${a##*[\\/]})"; done
  say "$mode: settled after $waited s, window $shown; measuring $window s (program $pid, wineserver ${server:-?}, others:${names:- none})"
  local p0 s0 h0 p1 s1 h1
  p0=$(cpu_seconds "$pid")
  s0=$(if [ -n "$server" ]; then cpu_seconds "$server"; else echo 0; fi)
  # shellcheck disable=SC2086
  h0=$(sum_cpu $helpers)
  sleep "$window"
  p1=$(cpu_seconds "$pid") || { say "$mode: the program ended while measured"; printf '%s\tended\t-\t-\t-\t-\t-\t-\n' "$mode" >>"$result"; return 1; }
  s1=$(if [ -n "$server" ]; then cpu_seconds "$server" || echo "$s0"; else echo 0; fi)
  # shellcheck disable=SC2086
  h1=$(sum_cpu $helpers)
  awk -v m="$mode" -v w="$window" -v sh="$shown" -v p0="$p0" -v p1="$p1" -v s0="$s0" -v s1="$s1" -v h0="$h0" -v h1="$h1" \
    'BEGIN { p = p1 - p0; s = s1 - s0; h = h1 - h0
             printf "%s\t%s\t%.3f\t%.2f\t%.3f\t%.2f\t%.3f\t%.2f\n", m, sh, p * 60 / w, p * 100 / w, s * 60 / w, s * 100 / w, h * 60 / w, h * 100 / w }' >>"$result"
  tail -n 1 "$result" | awk -F '\t' '{ printf "idle: %s (window %s): KestruneAV.exe %s CPU s/min = %s %% of one core; wineserver %s s/min = %s %%; other Wine processes %s s/min = %s %%\n", $1, $2, $3, $4, $5, $6, $7, $8 }' >&2
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

: >"$result"
idle_run visible || true
idle_run background /background || true
# mode, window, program s/min, program %, wineserver s/min, %, other Wine s/min, %
cat "$result"

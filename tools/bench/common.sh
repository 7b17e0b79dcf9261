# shellcheck shell=bash
# Sourced by tools/bench.sh and tools/bench/idle_cost.sh: the benchmark's own Wine
# prefix and the paths they share. Expects $root (the top of the repository).
bench_out="$root/build/bench"
idle_home="$bench_out/idle-home"
export WINEPREFIX="${KAV_BENCH_PREFIX:-$bench_out/prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Creates the prefix once, reporting Windows 10, without a display. It is made with
# the idle run's home folder: Wine links the profile's Desktop, Documents and
# Downloads to the home folder of the prefix's creation, and the program's start-up
# scans of those folders should find next to nothing there.
bench_prefix() {
  mkdir -p "$idle_home"
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  echo "bench: creating the Wine prefix $WINEPREFIX ..." >&2
  (
    unset DISPLAY
    export HOME="$idle_home"
    wineboot -i >/dev/null 2>&1 || true
    wine winecfg -v win10 >/dev/null 2>&1 || true
    wineserver -w || true
  )
  [ -f "$WINEPREFIX/system.reg" ] || { echo "bench: could not create $WINEPREFIX" >&2; return 1; }
}

# A host path as Wine sees it through drive Z:, which maps the host's /.
win_path() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

# The wineserver of this prefix (another prefix's server may be running too): its
# working folder is a server folder named after the prefix's device and inode.
prefix_server_pid() {
  local dir pid
  dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
  for pid in $(pgrep -x 'wineserver(64)?' 2>/dev/null); do
    [ "$(basename "$(readlink "/proc/$pid/cwd" 2>/dev/null)")" = "$dir" ] && { echo "$pid"; return 0; }
  done
  return 1
}

argv0_of() {  # the first word of a process's command line; "" once it has ended
  local a=""
  { IFS= read -r -d '' a <"/proc/$1/cmdline"; } 2>/dev/null || true
  printf '%s' "$a"
}

# Whether a process runs in this prefix (another one, a test run's, may run the same
# programs at the same time). grep reads all its input, so tr never meets a closed pipe.
in_prefix() {
  { tr '\0' '\n' <"/proc/$1/environ"; } 2>/dev/null | grep -xF "WINEPREFIX=$WINEPREFIX" >/dev/null
}

# Processes of this prefix whose program (the first word of the command line, as Wine
# sets it) ends with the given name, e.g. KestruneAV.exe; never this script, which
# only names it.
pids_of_exe() {
  local name=$1 pid argv0
  for pid in $(pgrep -f -- "$name" 2>/dev/null); do
    in_prefix "$pid" || continue
    argv0=$(argv0_of "$pid")
    case "${argv0,,}" in *"${name,,}") echo "$pid" ;; esac
  done
}

# CPU seconds (user + system, all threads) a process has used so far.
cpu_seconds() {
  local stat
  stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  # Fields after the command name, which may hold blanks: utime and stime are 12 and 13.
  awk -v tck="$(getconf CLK_TCK)" '{ printf "%.2f\n", ($12 + $13) / tck }' <<<"${stat##*) }"
}

# One benchmark at a time: two runs share the prefix, the folders and the output
# files, and one's "wineserver -k" would end the other's programs. The lock is a
# folder holding the owner's PID (not an open file, which Wine's server and Xvfb
# would inherit and keep); a lock whose owner has ended is taken over. idle_cost.sh
# started by bench.sh runs under its parent's lock.
bench_lock() {
  local lock="$bench_out/.lock" owner
  [ "${KAV_BENCH_LOCK_OWNER:-}" = "$PPID" ] && [ "$(cat "$lock/pid" 2>/dev/null)" = "$PPID" ] && return 0
  mkdir -p "$bench_out"
  if ! mkdir "$lock" 2>/dev/null; then
    owner=$(cat "$lock/pid" 2>/dev/null || true)
    if [ -n "$owner" ] && kill -0 "$owner" 2>/dev/null; then
      echo "bench: another benchmark run (PID $owner) is using $bench_out; try again when it has ended" >&2
      exit 1
    fi
    rm -rf "$lock" && mkdir "$lock" || { echo "bench: cannot take $lock" >&2; exit 1; }
  fi
  echo "$$" >"$lock/pid"
  export KAV_BENCH_LOCK_OWNER=$$
  bench_lock_held=1
}
bench_unlock() {
  [ "${bench_lock_held:-0}" = 1 ] && [ "$(cat "$bench_out/.lock/pid" 2>/dev/null)" = "$$" ] && rm -rf "$bench_out/.lock"
  return 0
}

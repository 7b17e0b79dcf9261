#!/usr/bin/env bash
# Benchmark of Kestrune AV on this machine, in one run: the console scanner under
# Wine over a generated Downloads tree (one job and the default, with no hash lists
# and with 5,000 listed hashes), the bare cost of hashing the same files, ClamAV's
# clamscan with the same hashes, the portable engine built natively over the same
# tree, and the idle cost of KestruneAV.exe. Prints a table and the ratios with their
# targets, and keeps the report in build/bench/report.txt. Not one of the tests:
# the figures depend on the machine.
# Usage: bash tools/bench.sh [FILES]   (default 2000 files, about 2 GB)
# Environment: KAV_BENCH_RUNS (runs per measurement, best kept; 3),
#   KAV_BENCH_NO_BUILD=1 (use the binaries as they are), KAV_BENCH_NO_JOBS=1 (leave
#   out --jobs, for a scanner that predates it), KAV_BENCH_NO_IDLE=1 (skip the idle
#   cost), KAV_BENCH_IDLE_SECONDS (its measuring window; 60), and the binaries
#   KAV_BENCH_SCAN, KAV_BENCH_HASHWALK, KAV_BENCH_NATIVE, KAV_BENCH_APP.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
files=${1:-2000}
runs=${KAV_BENCH_RUNS:-3}
[[ "$files" =~ ^[0-9]+$ ]] && [[ "$runs" =~ ^[1-9][0-9]*$ ]] || {
  echo "usage: bash tools/bench.sh [FILES]  (KAV_BENCH_RUNS >= 1)" >&2
  exit 2
}
# shellcheck source=tools/bench/common.sh
source "$root/tools/bench/common.sh"
# Paths given relative to where the command was started.
abs() { realpath -m -- "$1"; }
scan=$(abs "${KAV_BENCH_SCAN:-$root/build/win/KestruneScan.exe}")
hashwalk=$(abs "${KAV_BENCH_HASHWALK:-$root/build/win/kav_hash_walk.exe}")
native=$(abs "${KAV_BENCH_NATIVE:-$root/build/bench-native/kav_native_bench}")
app=$(abs "${KAV_BENCH_APP:-$root/build/win/KestruneAV.exe}")
no_jobs=${KAV_BENCH_NO_JOBS:-0}
cd "$root"
mkdir -p "$bench_out/out"
say() { echo "bench: $*" >&2; }
bench_lock
trap bench_unlock EXIT

# --- Builds --------------------------------------------------------------------
if [ "${KAV_BENCH_NO_BUILD:-0}" != 1 ]; then
  bash tools/setup.sh
  say "building the Windows programs ..."
  bash tools/build.sh win
  # The native engine benchmark, optimised and without the sanitizers (which would
  # measure themselves), in build/bench-native, apart from the test build.
  say "building the native benchmark (release) ..."
  bash tools/build.sh bench-native
else
  say "KAV_BENCH_NO_BUILD=1: using the binaries as they are"
fi

# --- ClamAV, the peer ----------------------------------------------------------
if ! command -v clamscan >/dev/null; then
  say "installing ClamAV from Debian ..."
  # The package would start its freshclam service; the benchmark fetches no
  # signatures, so Debian's policy-rc.d hook keeps services from starting.
  policy=/usr/sbin/policy-rc.d
  added_policy=0
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy" && chmod 755 "$policy" && added_policy=1
  fi
  install_clam() { DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clamav >/dev/null; }
  install_clam || { apt-get update -qq && install_clam; } || say "ClamAV could not be installed"
  [ "$added_policy" = 1 ] && rm -f "$policy"
fi

# --- The corpus ----------------------------------------------------------------
corpus_summary=$(bash tools/bench/make_corpus.sh "$bench_out/corpus" "$files")
echo "$corpus_summary" >&2
corpus="$bench_out/corpus/Users/bench/Downloads"
n_files=$(find "$corpus" -type f | wc -l)
n_bytes=$(find "$corpus" -type f -printf '%s\n' | awk '{ t += $1 } END { printf "%.0f", t }')
corpus_win=$(win_path "$corpus")

# --- Hash lists ----------------------------------------------------------------
# No lists at all: an empty data folder (the scanner only reads it).
empty_data="$bench_out/data-empty"
rm -rf "$empty_data" && mkdir -p "$empty_data"
# 5,000 listed hashes: 4,990 pseudo-random ones and the real SHA-256 of 10 corpus
# files of up to 32 MiB, picked evenly from the sorted list, so some files match.
hash_data="$bench_out/data-hashes"
rm -rf "$hash_data" && mkdir -p "$hash_data"
find "$corpus" -type f -size -32769k -printf '%P\n' | sort >"$bench_out/out/candidates"
awk -v n="$(wc -l <"$bench_out/out/candidates")" 'BEGIN { for (i = 0; i < 10; i++) print int((i + 0.5) * n / 10) + 1 }' |
  awk 'NR == FNR { want[$1] = 1; next } FNR in want' - "$bench_out/out/candidates" >"$bench_out/out/listed-files"
(cd "$corpus" && xargs -d '\n' sha256sum <"$bench_out/out/listed-files" |
  while read -r hash path; do printf '%s\t%s\t%s\n' "$hash" "$(stat -c %s "$path")" "$path"; done) >"$bench_out/out/listed"
{ openssl enc -aes-256-ctr -pbkdf2 -iter 1 -md sha256 -nosalt -pass pass:kav-bench-hashes </dev/zero 2>/dev/null || true; } |
  head -c $((4990 * 32)) | od -An -v -tx1 | tr -d ' \n' | fold -w 64 >"$bench_out/out/random-hashes"
# The real ones spread through the list (after every 499th random line).
awk 'NR == FNR { real[++n] = $1 "\t" $2; next } { print $1 "\t-"; if (FNR % 499 == 0 && k < n) print real[++k] }
     END { while (k < n) print real[++k] }' "$bench_out/out/listed" "$bench_out/out/random-hashes" >"$bench_out/out/hashes"
awk -F '\t' 'BEGIN { printf "# sha256 of confirmed bad files, one per line\r\n" } { printf "%s\r\n", $1 }' \
  "$bench_out/out/hashes" >"$hash_data/bad-hashes.txt"
[ "$(grep -c '^[0-9a-f]\{64\}' "$hash_data/bad-hashes.txt")" -eq 5000 ] || { say "bad-hashes.txt does not hold 5,000 hashes"; exit 1; }

# ClamAV's form, sha256:size:name. ClamAV only computes a file's SHA-256 when a
# signature of that size exists (or one has the "*" size, ClamAV 0.98 and later,
# needing the minimum functionality level 73 as a fourth field); so the random
# hashes get "*" when this clamscan accepts it, to make it hash every file as our
# scanner does, and the real ones their real size.
clam_db="$bench_out/out/bench.hsb"
clam_wild=0
if command -v clamscan >/dev/null; then
  probe="$bench_out/out/clam-probe"
  rm -rf "$probe" && mkdir -p "$probe" && printf 'probe\n' >"$probe/probe.txt"
  printf '%s:*:Kav.Bench.Probe:73\n' "$(sha256sum <"$probe/probe.txt" | cut -c1-64)" >"$probe/probe.hsb"
  clamscan --no-summary -d "$probe/probe.hsb" "$probe/probe.txt" >/dev/null 2>&1 && rc=0 || rc=$?
  [ "$rc" = 1 ] && clam_wild=1
  awk -F '\t' -v wild="$clam_wild" '
    { x = (NR * 7919) % 104729 }
    $2 != "-" { printf "%s:%s:Kav.Bench.Listed.%d\n", $1, $2, NR; next }
    wild == 1 { printf "%s:*:Kav.Bench.Random.%d:73\n", $1, NR; next }
    { printf "%s:%d:Kav.Bench.Random.%d\n", $1, 1024 + x * 37, NR }' "$bench_out/out/hashes" >"$clam_db"
fi

# --- Measuring -----------------------------------------------------------------
# results: key TAB what TAB jobs TAB lists TAB seconds TAB peak KiB TAB note
results="$bench_out/out/results.tsv"
: >"$results"
record() { printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$@" >>"$results"; }
skip() { record "$1" "$2" "$3" "$4" - - "$5"; say "$2: $5"; }

# Peak memory: GNU time's %M is the largest resident set of the process it waited
# for. The wine launcher execs itself into the Windows program's own process (same
# PID; checked against VmHWM in /proc/PID/status of the process running the .exe,
# which agreed to the KiB), and the Wine helpers it may start are detached, never
# waited for, so %M is the program's peak. As a guard, the .exe's VmHWM is watched
# as well, and a larger value there replaces %M and is noted.
watch_peak() {  # watch_peak EXE_NAME OUT: the largest VmHWM seen in KiB
  local name=$1 out=$2 pid="" key value _ peak=0 tries=0
  while [ -z "$pid" ] && [ "$tries" -lt 600 ]; do
    pid=$(pids_of_exe "$name" | head -n 1)
    [ -n "$pid" ] || { sleep 0.1; tries=$((tries + 1)); }
  done
  [ -n "$pid" ] || return 0
  while [ -r "/proc/$pid/status" ]; do
    while read -r key value _; do
      [ "$key" = VmHWM: ] && [ "$value" -gt "$peak" ] && peak=$value && echo "$peak" >"$out"
    done <"/proc/$pid/status" 2>/dev/null || true
    sleep 0.5
  done
}

# Runs a command $runs times; keeps the best wall time and the largest peak.
# measure KEY WHAT JOBS LISTS OKCODES EXE_NAME(or -) OUTFILE CMD...
measure() {
  local key=$1 what=$2 jobs=$3 lists=$4 ok=$5 exe=$6 outfile=$7
  shift 7
  local best="" peak=0 run start end rc m watcher="" watched=0 note=""
  say "$what (jobs $jobs, lists $lists): $runs runs ..."
  for run in $(seq 1 "$runs"); do
    rm -f "$bench_out/out/peak.watch"
    if [ "$exe" != - ]; then watch_peak "$exe" "$bench_out/out/peak.watch" & watcher=$!; fi
    start=$EPOCHREALTIME
    /usr/bin/time -f '%M' -o "$bench_out/out/time.txt" "$@" >"$outfile" 2>"$outfile.err" && rc=0 || rc=$?
    end=$EPOCHREALTIME
    if [ -n "$watcher" ]; then kill "$watcher" 2>/dev/null || true; wait "$watcher" 2>/dev/null || true; watcher=""; fi
    if [[ " $ok " != *" $rc "* ]]; then
      record "$key" "$what" "$jobs" "$lists" - - "failed (exit $rc, see $outfile.err)"
      say "$what: failed with exit code $rc"
      return 1
    fi
    m=$(tail -n 1 "$bench_out/out/time.txt")
    [ "$m" -gt "$peak" ] && peak=$m
    if [ -f "$bench_out/out/peak.watch" ] && [ "$(cat "$bench_out/out/peak.watch")" -gt "$watched" ]; then
      watched=$(cat "$bench_out/out/peak.watch")
    fi
    best=$(awk -v s="$start" -v e="$end" -v b="$best" 'BEGIN { t = e - s; if (b == "" || t < b) b = t; printf "%.3f", b }')
    say "  run $run: $(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f", e - s }') s, exit $rc"
  done
  if [ "$watched" -gt $((peak + 1024)) ]; then
    note="peak from VmHWM ($peak KiB by GNU time)"
    peak=$watched
  fi
  record "$key" "$what" "$jobs" "$lists" "$best" "$peak" "$note"
}

# Adds a note to the last line of a key (what the output showed).
annotate() {
  local key=$1 text=$2
  awk -F '\t' -v OFS='\t' -v k="$key" -v t="$text" '$1 == k { $7 = ($7 == "" ? t : $7 "; " t) } 1' "$results" >"$results.new"
  mv "$results.new" "$results"
}

# Drops the figures of a key whose run did not do the work (a usage error exits 2 too).
invalidate() {
  awk -F '\t' -v OFS='\t' -v k="$1" -v t="$2" '$1 == k { $5 = "-"; $6 = "-"; $7 = t } 1' "$results" >"$results.new"
  mv "$results.new" "$results"
  say "$1: $2"
}

# What the scanner's output says: the summary line, and how many of the 10 listed
# files came out as quarantine 10.
scanner_notes() {
  local key=$1 out=$2 lists=$3 summary matched
  summary=$(tr -d '\r' <"$out" | grep -E '^Scanned [0-9]+ files' | tail -n 1 || true)
  [ -n "$summary" ] || { invalidate "$key" "failed: no summary line (see $out)"; return 0; }
  local scanned=${summary#Scanned }
  scanned=${scanned%% *}
  [ "$scanned" -eq "$n_files" ] || annotate "$key" "scanned $scanned of $n_files files"
  if [ "$lists" = 5000 ]; then
    matched=$(tr -d '\r' <"$out" | awk -F '\t' 'NR == FNR { want[$3] = 1; next }
      $1 == "quarantine" && $2 == 10 { p = $5; sub(/^.*\\Downloads\\/, "", p); gsub(/\\/, "/", p); if (p in want) n++ }
      END { print n + 0 }' "$bench_out/out/listed" -)
    annotate "$key" "$matched of 10 listed files found"
  fi
}

bench_prefix
unset DISPLAY  # the console programs need none; a prefix's server is tied to the display it saw
# One server kept running through the Wine measurements, started before them, so
# no run pays for the server's or the prefix's services' start.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
wineserver -p
trap 'wineserver -k 2>/dev/null || true; bench_unlock' EXIT
wine cmd /c exit >/dev/null 2>&1 || true

# The fixed cost of starting a Windows program under Wine, which every Wine line
# below includes once.
measure wine-start "wine start-up (cmd /c exit)" - - "0" - "$bench_out/out/wine-start.txt" wine cmd /c exit || true

say "warming the page cache with the corpus ($n_bytes bytes) ..."
find "$corpus" -type f -print0 | xargs -0 cat >/dev/null

# c. The hashing limit: only walk and SHA-256 every file with BCrypt.
if [ -f "$hashwalk" ]; then
  if measure hashwalk "hash walk (BCrypt SHA-256)" 1 - "0" kav_hash_walk.exe "$bench_out/out/hashwalk.txt" \
    wine "$hashwalk" "$corpus_win"; then
    line=$(tr -d '\r' <"$bench_out/out/hashwalk.txt" | grep -E '^hashed [0-9]+ files' | tail -n 1 || true)
    if [ -n "$line" ]; then annotate hashwalk "$line"; else invalidate hashwalk "failed: no 'hashed' line (see $bench_out/out/hashwalk.txt)"; fi
  fi
else
  skip hashwalk "hash walk (BCrypt SHA-256)" 1 - "skipped (missing $hashwalk)"
fi

# a, b. The scanner: both list states, --jobs 1 and the default (one job per processor).
if [ "$no_jobs" = 1 ]; then
  one_job=() jobs_one="1*" jobs_default="def*"
else
  one_job=(--jobs 1) jobs_one=1 jobs_default="def($(nproc))"
fi
for lists in 0 5000; do
  if [ "$lists" = 0 ]; then data=$empty_data; tag=empty; else data=$hash_data; tag=hashes; fi
  for mode in one default; do
    key="scan-$mode-$tag"
    if [ "$mode" = one ]; then jobs=$jobs_one opt=("${one_job[@]}"); else jobs=$jobs_default opt=(); fi
    if [ ! -f "$scan" ]; then
      skip "$key" "scanner" "$jobs" "$lists" "skipped (missing $scan)"
      continue
    fi
    if measure "$key" "scanner" "$jobs" "$lists" "0 1 2" KestruneScan.exe "$bench_out/out/$key.txt" \
      wine "$scan" --data-dir "$(win_path "$data")" "${opt[@]}" "$corpus_win"; then
      scanner_notes "$key" "$bench_out/out/$key.txt" "$lists"
    fi
  done
done
[ -z "$(ls -A "$empty_data")" ] || say "note: the scanner wrote into the empty data folder: $(ls -A "$empty_data" | tr '\n' ' ')"

wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
trap bench_unlock EXIT

# d. The peer: clamscan, natively, with only the hash database (-d loads that file
# and nothing else). Exit code 1 means something was found, which is expected.
if command -v clamscan >/dev/null; then
  if measure clamscan "clamscan (ClamAV $(clamscan --version | awk '{ print $2 }' | cut -d/ -f1))" 1 5000 "0 1" - \
    "$bench_out/out/clamscan.txt" clamscan --no-summary -r -d "$clam_db" "$corpus"; then
    found=$(grep -c ': Kav\.Bench\.Listed\.[0-9]*\.UNOFFICIAL FOUND$' "$bench_out/out/clamscan.txt" || true)
    annotate clamscan "$found of 10 listed files found"
    [ "$clam_wild" = 1 ] || annotate clamscan "no '*' size: hashes only files of listed sizes"
  fi
else
  skip clamscan "clamscan" 1 5000 "skipped (missing clamscan)"
fi

# e. The engine built natively over the stand-in platform, and plain OpenSSL
# hashing of the same files for comparison.
if [ -x "$native" ]; then
  best_first="" best_rescan="" native_peak=0
  for run in $(seq 1 "$runs"); do
    /usr/bin/time -f '%M' -o "$bench_out/out/time.txt" "$native" "$corpus" >"$bench_out/out/native.txt" \
      2>"$bench_out/out/native.txt.err" && rc=0 || rc=$?
    [ "$rc" = 0 ] || break
    m=$(tail -n 1 "$bench_out/out/time.txt")
    [ "$m" -gt "$native_peak" ] && native_peak=$m
    read -r _ first_files first_s < <(grep -E '^first-scan ' "$bench_out/out/native.txt" || echo "- - -")
    read -r _ rescan_files rescan_s < <(grep -E '^rescan ' "$bench_out/out/native.txt" || echo "- - -")
    best_first=$(awk -v a="$first_s" -v b="$best_first" 'BEGIN { if (b == "" || a + 0 < b + 0) b = a; print b }')
    best_rescan=$(awk -v a="$rescan_s" -v b="$best_rescan" 'BEGIN { if (b == "" || a + 0 < b + 0) b = a; print b }')
    say "  native run $run: first-scan $first_s s, rescan $rescan_s s"
  done
  if [ "$rc" != 0 ]; then
    skip native-first "native engine, first scan" 1 0 "failed (exit $rc, see $bench_out/out/native.txt.err)"
  elif [[ "$best_first" =~ ^[0-9.]+$ ]] && [[ "$best_rescan" =~ ^[0-9.]+$ ]]; then
    record native-first "native engine, first scan" 1 0 "$best_first" "$native_peak" "$first_files files"
    record native-rescan "native engine, rescan" 1 0 "$best_rescan" "$native_peak" "$rescan_files files"
  else
    skip native-first "native engine, first scan" 1 0 "output without first-scan and rescan lines"
  fi
else
  skip native-first "native engine" 1 0 "skipped (missing $native)"
fi
measure openssl "openssl dgst -sha256 (native)" 1 - "0" - "$bench_out/out/openssl.txt" \
  bash -c 'find "$1" -type f -print0 | xargs -0 openssl dgst -sha256' _ "$corpus" || true

# f. The idle cost of the program, visible and hidden in the tray.
idle_result="$bench_out/idle-result.txt"
rm -f "$idle_result"
idle_note=""
if [ "${KAV_BENCH_NO_IDLE:-0}" = 1 ]; then
  idle_note="skipped (KAV_BENCH_NO_IDLE=1)"
elif [ -f "$app" ]; then
  bash tools/bench/idle_cost.sh "$app" >&2 || idle_note="tools/bench/idle_cost.sh ended with exit code $? (see its idle: lines on standard error)"
else
  idle_note="skipped (missing $app)"
fi
[ -z "$idle_note" ] || say "idle cost: $idle_note"

# --- The report ----------------------------------------------------------------
value_of() { awk -F '\t' -v k="$1" -v f="$2" '$1 == k && $f != "-" { print $f }' "$results"; }
ratio_line() {  # ratio_line WHAT VALUE TARGET_OP TARGET
  local what=$1 value=$2 op=$3 target=$4
  if [[ "$value" =~ ^[0-9.]+$ ]]; then
    awk -v w="$what" -v v="$value" -v o="$op" -v t="$target" 'BEGIN {
      ok = (o == "<=" && v <= t) || (o == "<" && v < t) || (o == ">=" && v >= t)
      printf "  %-58s %8.3f  %-2s %-5s %s\n", w, v, o, t, ok ? "PASS" : "MISS" }'
  else
    printf '  %-58s %8s  %-2s %-5s %s\n' "$what" - "$op" "$target" "skipped (${value:-no figure})"
  fi
}
divide() { [[ "$1" =~ ^[0-9.]+$ ]] && [[ "$2" =~ ^[0-9.]+$ ]] && awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b }'; }

{
  echo "Kestrune AV benchmark"
  echo "  date:      $(date '+%Y-%m-%d %H:%M:%S %Z')"
  echo "  machine:   $(nproc) processors, $(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(awk '/^MemTotal/ { printf "%.1f GiB RAM", $2 / 1048576 }' /proc/meminfo)"
  echo "  load:      $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min averages at the end)"
  echo "  wine:      $(wine --version 2>/dev/null || echo missing)"
  echo "  clamscan:  $(clamscan --version 2>/dev/null || echo missing)"
  echo "  scanner:   $scan"
  echo "  runs:      best of $runs per line; files/s and MB/s (10^6 bytes) over the whole corpus"
  echo "$corpus_summary" | sed 's/^/  /'
  [ "$no_jobs" = 1 ] && echo "  KAV_BENCH_NO_JOBS=1: --jobs left out, so 1* and def* are the same command"
  echo
  printf '  %-40s %-7s %-5s %9s %9s %8s %9s  %s\n' what jobs lists seconds files/s MB/s "peak MiB" note
  awk -F '\t' -v n="$n_files" -v b="$n_bytes" '{
    if ($1 == "wine-start" && $5 != "-") { printf "  %-40s %-7s %-5s %9.3f %9s %8s %9.1f  %s\n", $2, $3, $4, $5, "-", "-", $6 / 1024, $7; next }
    if ($5 == "-") { printf "  %-40s %-7s %-5s %9s %9s %8s %9s  %s\n", $2, $3, $4, "-", "-", "-", "-", $7; next }
    nf = n; if ($1 == "native-rescan" || $1 == "native-first") { split($7, w, " "); if (w[1] ~ /^[0-9]+$/) nf = w[1] }
    fps = $5 > 0 ? nf / $5 : 0; mbs = ($1 == "native-rescan") ? "-" : sprintf("%.1f", $5 > 0 ? b / $5 / 1e6 : 0)
    printf "  %-40s %-7s %-5s %9.3f %9.1f %8s %9.1f  %s\n", $2, $3, $4, $5, fps, mbs, $6 / 1024, $7 }' "$results"
  echo
  echo "  idle cost of KestruneAV.exe (CPU seconds per minute, % of one core):"
  [ -z "$idle_note" ] || echo "  $idle_note"
  if [ -f "$idle_result" ]; then
    awk -F '\t' '$3 == "-" { printf "  %-11s %s (see build/bench/idle-%s.log)\n", $1, $2, $1; next }
      { printf "  %-11s window %-15s program %6.3f s/min %6.2f %%   wineserver %6.3f s/min %6.2f %%   other Wine processes %6.3f s/min %6.2f %%\n",
      $1, $2, $3, $4, $5, $6, $7, $8 }' "$idle_result"
  fi
  echo
  echo "  ratio                                                         value  target  result"
  hw=$(value_of hashwalk 5)
  ratio_line "scanner --jobs 1, 5,000 hashes / hash walk" "$(divide "$(value_of scan-one-hashes 5)" "$hw")" "<=" 1.3
  ratio_line "scanner --jobs 1, empty lists / hash walk" "$(divide "$(value_of scan-one-empty 5)" "$hw")" "<=" 0.6
  if [ "$no_jobs" = 1 ]; then
    ratio_line "scanner default jobs / --jobs 1 (empty lists, $(nproc) cores)" "--jobs left out" "<=" 0.7
  else
    ratio_line "scanner default jobs / --jobs 1 (empty lists, $(nproc) cores)" \
      "$(divide "$(value_of scan-default-empty 5)" "$(value_of scan-one-empty 5)")" "<=" 0.7
  fi
  ratio_line "clamscan / scanner (empty lists, default jobs)" \
    "$(divide "$(value_of clamscan 5)" "$(value_of scan-default-empty 5)")" ">=" 2
  ratio_line "native rescan seconds" "$(value_of native-rescan 5)" "<" 0.5
  peak=$(awk -F '\t' '$1 ~ /^scan-/ && $6 != "-" { if ($6 > m) m = $6; seen = 1 } END { if (seen) printf "%.1f", m / 1024 }' "$results")
  ratio_line "peak memory of the scanner, any jobs (MiB)" "$peak" "<=" 64
  idle_bg=$(awk -F '\t' '$1 == "background" { print $4 }' "$idle_result" 2>/dev/null || true)
  ratio_line "idle hidden in the tray (% of one core, program)" "$idle_bg" "<" 1
} >"$bench_out/report.txt"
cat "$bench_out/report.txt"

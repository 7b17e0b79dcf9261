#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/fuzz) and runs each for the given
# seconds (600 unless given), from a seed corpus it generates, keeping what each
# run found in build/fuzz/corpus/<target>. Not part of the tests: crashes are left
# as build/fuzz/crash-* files and make the command fail.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
bash "$root/tools/setup.sh" >/dev/null
if ! command -v clang++ >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang >/dev/null
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -DKAV_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/fuzz" -j "${KAV_JOBS:-2}" -- --no-print-directory >/dev/null
bash "$root/tools/fuzz/make_seeds.sh" "$root/build/fuzz/seeds"

status=0
cd "$root/build/fuzz"
for binary in tools/fuzz/fuzz_*; do
  target=${binary##*/fuzz_}
  mkdir -p "corpus/$target"
  log="fuzz-$target.log"
  if ! "$binary" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="crash-$target-" \
      "corpus/$target" "seeds/$target" >"$log" 2>&1; then
    status=1
  fi
  runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+)/\1/p' "$log" | tail -n 1)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1)
  printf '%-16s %12s runs  %s%s\n' "$target" "${runs:-?}" "${cov:-?}" "$([ $status -ne 0 ] && grep -q 'ERROR\|deadly' "$log" && echo '  FAILED' || true)"
done
exit $status

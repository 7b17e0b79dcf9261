#!/usr/bin/env bash
# What the fuzzing corpus reaches: builds the libFuzzer targets again with clang's
# source-based coverage (build/fuzz-cov), runs every input kept in
# build/fuzz/corpus/<target> (and the seeds) once, and prints, per target, the line
# and region coverage of the reader it drives. Run tools/fuzz.sh first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz-cov"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DKAV_FUZZ=ON -DKAV_FUZZ_COVERAGE=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${KAV_JOBS:-2}" -- --no-print-directory >/dev/null

# target: the functions it drives, as llvm-cov names them (a pattern on the demangled name)
declare -A drives=(
  [pe_sections]='HasRwxSection'
  [entropy]='EntropyOfHead|EntropyTally'
  [page_check]='PageHeadReader|IsPhishingText'
  [scan_index_line]='ParseScanIndexLine'
  [bad_hash_list]='ParseBadHashList'
  [safe_hash_list]='LoadSafeHashes|ReadHashList'
  [sidecar]='SidecarOriginal'
  [task_command]='FirstTaskCommand'
  [executable_path]='ExtractExecutablePath'
  [test_file]='IsAntiMalwareTestFile'
)
cd "$build"
printf '%-16s %-40s %16s %9s %9s\n' target function lines regions branches
for binary in tools/fuzz/fuzz_*; do
  target=${binary##*/fuzz_}
  inputs=()
  for folder in "$root/build/fuzz/corpus/$target" "$root/build/fuzz/seeds/$target"; do
    [ -d "$folder" ] && inputs+=("$folder")
  done
  [ ${#inputs[@]} -eq 0 ] && continue
  rm -f "$target".profraw
  LLVM_PROFILE_FILE="$target.profraw" "$binary" -runs=0 "${inputs[@]}" >"$target.run.log" 2>&1 || true
  llvm-profdata merge -sparse "$target.profraw" -o "$target.profdata"
  # Columns of the function view: the name, then regions, lines and branches, each as
  # count, missed and cover.
  llvm-cov report -show-functions -Xdemangler=c++filt -instr-profile="$target.profdata" "$binary" \
      "$root"/engine/*.cpp "$root"/inspect/*.cpp "$root"/response/*.cpp "$root"/app/*.cpp 2>/dev/null |
    awk -v t="$target" -v want="${drives[$target]:-^$}" '
      NF > 9 && $(NF) ~ /%$/ {
        name = $1; for (i = 2; i <= NF - 9; ++i) name = name " " $i
        if (name !~ want) next
        gsub(/\(anonymous namespace\)::|\[abi:cxx11\]|^void /, "", name); sub(/\(.*$/, "", name)
        lines = sprintf("%s (%d/%d)", $(NF-3), $(NF-5) - $(NF-4), $(NF-5))
        branches = $(NF-2) == 0 ? "-" : $(NF)  # a function without branches
        printf "%-16s %-40.40s %16s %9s %9s\n", t, name, lines, $(NF-6), branches
      }'
done

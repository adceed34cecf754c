#!/usr/bin/env bash
# A long fuzzing campaign of one libFuzzer target, outside CI:
#   scripts/fuzz.sh TARGET MINUTES
# TARGET is one of exports_fuzz tune_load_fuzz sldb_check_fuzz sldb_load_fuzz
# stil_load_fuzz database_load_fuzz index_load_fuzz. The corpus grows in
# build-fuzz/corpus/TARGET and is kept between campaigns; findings are written
# to build-fuzz/TARGET-crash-* and the like. Tune targets are also seeded with
# the small tunes of ../shared/corpus when it is there (never committed).
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz.sh TARGET MINUTES}
minutes=${2:?usage: scripts/fuzz.sh TARGET MINUTES}

# exports_fuzz runs the emulator, whose tens of thousands of coverage features
# make the entropic schedule's bookkeeping cost half the executions: plain
# scheduling there.
extra=()
case $target in
  exports_fuzz) seeds=tune dict=tune extra=(-entropic=0) ;;
  tune_load_fuzz) seeds=tune dict=tune ;;
  sldb_check_fuzz|sldb_load_fuzz) seeds=sldb dict=songlengths ;;
  stil_load_fuzz) seeds=stil dict=stil ;;
  database_load_fuzz) seeds=database dict=database ;;
  index_load_fuzz) seeds=index dict=index ;;
  *) echo "unknown target: $target" >&2; exit 2 ;;
esac

cmake -S . -B build-fuzz -DZORVEX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build-fuzz -j"$(nproc)" --target "$target"
mkdir -p "build-fuzz/corpus/$target" "build-fuzz/seeds/$target"

# Real tunes of every kind, each behind the byte that picks its extension
# (0 .sid, 1 .prg, 2 .p00, 3 .mus, 4 .str): the small ones, where a fuzzer moves fast.
shared=../shared/corpus
if [ "$seeds" = tune ] && [ -d "$shared" ]; then
  add() {
    local kind=$1 file=$2
    { printf "\\x$(printf %02x "$kind")"; cat "$file"; } > "build-fuzz/seeds/$target/$(basename "$file").$kind"
  }
  while IFS= read -r f; do add 0 "$f"; done < <(find "$shared/C64Music" -name '*.sid' -size -3k | sort | head -n 120)
  while IFS= read -r f; do add 1 "$f"; done < <(find "$shared/prg" -iname '*.prg' -size -8k | sort | head -n 20)
  while IFS= read -r f; do add 2 "$f"; done < <(find "$shared/prg" -iname '*.p00' | sort | head -n 5)
  while IFS= read -r f; do add 3 "$f"; done < <(find "$shared/mus" -iname '*.mus' -size -4k | sort | head -n 10)
fi

log="build-fuzz/$target-campaign.log"
echo "fuzzing $target for $minutes minutes (log: $log)"
status=0
"./build-fuzz/tests/fuzz/$target" -max_total_time=$((minutes * 60)) -max_len=8192 -timeout=10 \
  -dict="tests/fuzz/$dict.dict" -artifact_prefix="build-fuzz/$target-" -print_final_stats=1 "${extra[@]}" \
  "build-fuzz/corpus/$target" "tests/fuzz/seeds/$seeds" "build-fuzz/seeds/$target" 2> "$log" || status=$?
grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9]+[a-zA-Z]*' "$log" | tail -n 1 || true
grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$log" || true
if [ "$status" -ne 0 ]; then
  tail -n 40 "$log"
  echo "$target: FINDING (exit $status); see build-fuzz/$target-* and $log"
  exit 1
fi
echo "$target: no finding in $minutes minutes"

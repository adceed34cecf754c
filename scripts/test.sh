#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite twice: a release build and an
# AddressSanitizer + UndefinedBehaviorSanitizer build; then fuzzes the parsers of
# the collection's documents and the tune loader with the machine for a bounded
# time (ZORVEX_FUZZ_SECONDS each, 60 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
jobs=$(nproc)
for config in "build:-DCMAKE_BUILD_TYPE=Release" "build-asan:-DZORVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug"; do
  dir=${config%%:*}
  flags=${config#*:}
  # shellcheck disable=SC2086
  cmake -S . -B "$dir" $flags
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs"
done

# libFuzzer targets, built by clang in a directory of their own. Any crash,
# sanitizer report or broken invariant ends the fuzzer with an error and fails the run.
cmake -S . -B build-fuzz -DZORVEX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz -j"$jobs"
seconds=${ZORVEX_FUZZ_SECONDS:-60}
for entry in sldb_check_fuzz:sldb:songlengths sldb_load_fuzz:sldb:songlengths stil_load_fuzz:stil:stil \
            tune_load_fuzz:tune:tune database_load_fuzz:database:database index_load_fuzz:index:index; do
  IFS=: read -r target seeds dict <<< "$entry"
  mkdir -p "build-fuzz/corpus/$target"
  echo "fuzzing $target for ${seconds}s"
  "./build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -dict="tests/fuzz/$dict.dict" -artifact_prefix="build-fuzz/$target-" \
    "build-fuzz/corpus/$target" "tests/fuzz/seeds/$seeds" 2> "build-fuzz/$target.log" ||
    { tail -n 60 "build-fuzz/$target.log"; exit 1; }
  tail -n 1 "build-fuzz/$target.log"
done

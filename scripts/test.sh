#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite twice: a release build and an
# AddressSanitizer + UndefinedBehaviorSanitizer build; runs the Python package's
# tests over the release build's library; builds for Windows and tests that
# under Wine; then fuzzes the parsers of
# the collection's documents, the tune loader, database.txt and hvscindex.dat
# for a bounded time (ZORVEX_FUZZ_SECONDS each, 60 by default). Ends with the
# verdict: one line for the test runs, one per fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
jobs=$(nproc)
failed=0
summary=()

for config in "build:-DCMAKE_BUILD_TYPE=Release" "build-asan:-DZORVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug"; do
  dir=${config%%:*}
  flags=${config#*:}
  # shellcheck disable=SC2086
  cmake -S . -B "$dir" $flags
  cmake --build "$dir" -j"$jobs"
  if ctest --test-dir "$dir" --output-on-failure -j"$jobs" | tee "$dir/ctest.log"; then :; else failed=1; fi
  counts=$(grep -E '^[0-9]+% tests passed' "$dir/ctest.log" | tail -n 1 || true)
  total=$(sed -nE 's/.* out of ([0-9]+).*/\1/p' <<< "$counts")
  bad=$(sed -nE 's/.*, ([0-9]+) tests failed.*/\1/p' <<< "$counts")
  summary+=("$dir: $(( ${total:-0} - ${bad:-0} )) passed, ${bad:-?} failed of ${total:-?} tests")
done

# The Python package over the release build's library, installed as users install it.
if ./scripts/python-test.sh; then summary+=("python: passed"); else summary+=("python: FAILED"); failed=1; fi

# The Windows build (mingw-w64): its test programs under Wine, and kelvary.exe's
# hash lines compared with the Linux build's.
if ./scripts/windows-test.sh; then summary+=("windows: passed"); else summary+=("windows: FAILED"); failed=1; fi

# libFuzzer targets, built by clang in a directory of their own. Any crash,
# sanitizer report or broken invariant ends the fuzzer with an error and fails the run.
cmake -S . -B build-fuzz -DZORVEX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz -j"$jobs"
seconds=${ZORVEX_FUZZ_SECONDS:-60}
for entry in sldb_check_fuzz:sldb:songlengths sldb_load_fuzz:sldb:songlengths stil_load_fuzz:stil:stil \
            tune_load_fuzz:tune:tune exports_fuzz:tune:tune database_load_fuzz:database:database \
            index_load_fuzz:index:index; do
  IFS=: read -r target seeds dict <<< "$entry"
  mkdir -p "build-fuzz/corpus/$target"
  echo "fuzzing $target for ${seconds}s"
  extra=()
  [ "$target" = exports_fuzz ] && extra=(-entropic=0)  # see scripts/fuzz.sh
  if "./build-fuzz/tests/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 "${extra[@]}" \
       -dict="tests/fuzz/$dict.dict" -artifact_prefix="build-fuzz/$target-" \
       "build-fuzz/corpus/$target" "tests/fuzz/seeds/$seeds" 2> "build-fuzz/$target.log"; then
    summary+=("$target: $(grep -E '^Done [0-9]+ runs' "build-fuzz/$target.log" | tail -n 1 | sed -E 's/^Done ([0-9]+) runs in ([0-9]+) second.*/\1 runs in \2 s/'), no finding")
  else
    tail -n 60 "build-fuzz/$target.log"
    summary+=("$target: FAILED (build-fuzz/$target.log)")
    failed=1
  fi
done

echo
echo "Summary:"
printf '%s\n' "${summary[@]}"
if [ "$failed" -ne 0 ]; then echo "FAILED"; exit 1; fi
echo "ALL PASSED"

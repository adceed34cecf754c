#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite twice: a release build and an
# AddressSanitizer + UndefinedBehaviorSanitizer build.
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

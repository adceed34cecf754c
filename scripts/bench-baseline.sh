#!/usr/bin/env bash
# The collection benchmark of this tree against the same benchmark built from
# an earlier commit (the machine before its rebuild by default), run back to
# back on one core so that the two figures can be quoted as a ratio:
#   scripts/bench-baseline.sh [REV]
#   scripts/bench-baseline.sh --instructions [REV]
# The earlier commit is checked out in build-baseline/src (a git worktree) and
# built in build-baseline/build; both are kept for later runs.
# Wall time on a shared machine can drift by a tenth between two runs; with
# --instructions both run under callgrind (10 s of each tune) and the figure is
# the instructions executed, which is the same in every run of the same binary.
set -euo pipefail
cd "$(dirname "$0")/.."
instructions=false
if [ "${1:-}" = --instructions ]; then
  instructions=true
  shift
fi
rev=${1:-49012b0}
root=$PWD
jobs=$(nproc)

if [ ! -d build-baseline/src ]; then
  git worktree add --detach build-baseline/src "$rev" > /dev/null
else
  git -C build-baseline/src checkout --quiet --detach "$rev"
fi
# The same benchmark source on both sides.
cp bench/CollectionBench.cpp build-baseline/src/bench/CollectionBench.cpp
if ! grep -q collection_bench build-baseline/src/bench/CMakeLists.txt; then
  cat >> build-baseline/src/bench/CMakeLists.txt <<'EOF'
add_executable(collection_bench CollectionBench.cpp)
target_link_libraries(collection_bench PRIVATE zorvex benchmark::benchmark_main)
target_compile_definitions(collection_bench PRIVATE ZORVEX_SHARED_DIR="${ZORVEX_SHARED_DIR}")
EOF
fi
cmake -S build-baseline/src -B build-baseline/build -DCMAKE_BUILD_TYPE=Release -DZORVEX_TESTS=OFF \
  -DZORVEX_SHARED_DIR="$root/../shared" > /dev/null
cmake --build build-baseline/build -j"$jobs" --target collection_bench > /dev/null
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build -j"$jobs" --target collection_bench > /dev/null

for side in baseline:build-baseline/build current:build; do
  name=${side%%:*}
  dir=${side#*:}
  echo "== $name ($( [ "$name" = baseline ] && echo "$rev" || git rev-parse --short HEAD))"
  if $instructions; then
    out=$(mktemp)
    ZORVEX_BENCH_SECONDS=10 valgrind --tool=callgrind --callgrind-out-file=/dev/null \
      "$dir/bench/collection_bench" --benchmark_filter=Collection > "$out" 2>&1
    grep -o 'Collected : [0-9]*' "$out" | sed 's/Collected :/instructions:/'
    rm -f "$out"
  else
    taskset -c 0 "$dir/bench/collection_bench" --benchmark_filter=Collection
  fi
done

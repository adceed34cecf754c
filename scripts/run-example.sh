#!/usr/bin/env bash
# Sets up, builds and runs the example on the bundled sample program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target run_binary
./build/examples/run_binary examples/data/scale.prg 100000

#!/usr/bin/env bash
# The main job on the bundled sample data: asks of our own example tunes
# (examples/tunes) whether they are in HVSC, against the database of release
# 83 that ships with kelvary; then builds the example collection from them,
# makes kelvary's hash database of it, makes "new rips" of those tunes
# (renamed and retitled copies, programs made with scripts/psid2prg.py, a
# program rip) and lets kelvary name each of them, by data hash and then by a
# search of their data in an index of the collection.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target zorvex kelvary
[ -f build/bin/database.txt ] || cmake --build build --target shipped_database

kelvary="$PWD/build/bin/kelvary"
# One minute of each song covers every example tune's loop at least once;
# the database and the look-up must use the same time.
minutes=1

python3 examples/make-collection.py build/example-collection
echo "Are the example tunes in HVSC? (the shipped database of release 83, $(grep -c '^[0-9a-f]' build/bin/database.txt) sub-tunes):"
(cd build/example-collection/C64Music && "$kelvary" -s '*.sid') || true
echo "Hashes of the collection (build/example-collection/database.txt):"
(cd build/example-collection/C64Music && "$kelvary" -g -s -t"$minutes" '*.sid' > ../database.txt)
cat build/example-collection/database.txt

python3 examples/make-rips.py build/example-collection build/example-rips --lib build/bin/libzorvex.so
echo "New rips looked up:"
"$kelvary" -t"$minutes" -d"$PWD/build/example-collection/database.txt" -s 'build/example-rips/*'

# The same rips found by their data alone, against an index of the example
# collection. A copy of kelvary gets the index beside it, so that an index of a
# real collection beside build/bin/kelvary stays as it is.
mkdir -p build/example-bin
cp -P build/bin/kelvary build/bin/libzorvex.so* build/example-bin/
echo "New rips searched by their data (-bo):"
"$PWD/build/example-bin/kelvary" -i -g -l"$PWD/build/example-collection/C64Music" || [ $? -eq 8 ]
"$PWD/build/example-bin/kelvary" -bo -t"$minutes" -l"$PWD/build/example-collection/C64Music" -s 'build/example-rips/*'

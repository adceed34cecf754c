#!/usr/bin/env bash
# Runs the Python package's tests (python/tests) against libzorvex, building the
# library first when build/bin/libzorvex.so is missing (ZORVEX_LIBRARY names
# another). The package is installed with pip into a virtual environment under
# build/, as a user installs it, so a run also shows that it installs offline.
# Debian packages: python3-venv python3-pip python3-pytest, python3-numpy for
# the array tests; arguments go to pytest.
set -euo pipefail
cd "$(dirname "$0")/.."
library=${ZORVEX_LIBRARY:-build/bin/libzorvex.so}
if [ ! -f "$library" ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
  cmake --build build -j"$(nproc)" --target zorvex
fi
library=$(realpath "$library")

# Debian's interpreter: apt's pytest, NumPy, setuptools and wheel reach the
# environment through its system site packages, so pip needs no index.
python=${PYTHON:-/usr/bin/python3}
venv=$PWD/build/python-venv
[ -x "$venv/bin/python" ] || "$python" -m venv --system-site-packages "$venv"
if ! "$venv/bin/python" -c 'import pytest' 2>/dev/null; then
  echo "python-test: pytest missing (apt-get install python3-pytest)" >&2
  exit 1
fi
"$venv/bin/python" -m pip install --quiet --no-index --no-deps --no-build-isolation --force-reinstall ./python

cd python
ZORVEX_LIBRARY=$library ZORVEX_ROMS=builtin exec "$venv/bin/python" -m pytest -q tests "$@"

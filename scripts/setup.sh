#!/usr/bin/env bash
# Installs the build tools and libraries the project needs on Debian, when missing
# (pkgconf: the install test builds a program the way users do; the python3
# packages install and test the Python package offline).
set -euo pipefail
# clang with its runtime libraries (libFuzzer, sanitizers) builds the fuzz targets.
packages=(cmake g++ make clang libclang-rt-dev libgtest-dev libgmock-dev libbenchmark-dev acme python3 pkgconf xz-utils
          python3-venv python3-pip python3-pytest python3-numpy)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

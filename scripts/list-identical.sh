#!/usr/bin/env bash
# The tunes of a tree that are byte for byte the same file at the same place in
# an HVSC release: the ones whose hashes the shipped database must give.
#   scripts/list-identical.sh TREE HVSC_DIR > data/identical-in-release.txt
# TREE and HVSC_DIR are collection roots (the folders holding MUSICIANS); the
# names are written as the database writes them ("/MUSICIANS/...").
set -euo pipefail
if [ $# -ne 2 ] || [ ! -d "$1" ] || [ ! -d "$2" ]; then
  echo "usage: $0 TREE HVSC_DIR" >&2
  exit 1
fi
tree=$1
hvsc=$2
cd "$tree"
find DEMOS GAMES MUSICIANS -type f -iname '*.sid' 2> /dev/null | LC_ALL=C sort | while IFS= read -r name; do
  if [ -f "$hvsc/$name" ] && cmp -s "$name" "$hvsc/$name"; then echo "/$name"; fi
done

#!/usr/bin/env bash
# Makes database.txt of an HVSC release: the data hash of every sub-tune of
# every tune in DEMOS, GAMES and MUSICIANS, played for the default 3 minutes.
#
#   scripts/make-database.sh HVSC_DIR [OUT]      (OUT: database.txt)
#
# HVSC_DIR is the collection's root (the folder holding DOCUMENTS). The work is
# done folder by folder (DEMOS/A-F, MUSICIANS/H, ...) into OUT.parts/, and a
# folder whose part is there is not played again: a run that was stopped goes
# on where it was. Delete a folder's part to play it again, e.g. after a
# change of the machine that alters the hashes of its tunes.
# Lines are sorted by name and sub-tune, so two runs compare with diff.
#
# Environment: KELVARY (the program; default build/bin/kelvary), JOBS (workers;
# default one per CPU).
set -euo pipefail

if [ $# -lt 1 ] || [ ! -d "$1/DOCUMENTS" ]; then
  echo "usage: $0 HVSC_DIR [OUT]   (HVSC_DIR: the folder holding DOCUMENTS, DEMOS, GAMES, MUSICIANS)" >&2
  exit 1
fi
here=$(cd "$(dirname "$0")/.." && pwd)
hvsc=$(cd "$1" && pwd)
out=$(realpath -m "${2:-database.txt}")
kelvary=$(realpath -m "${KELVARY:-$here/build/bin/kelvary}")
[ -x "$kelvary" ] || { echo "$0: no program at $kelvary (build first, or set KELVARY)" >&2; exit 1; }
parts="$out.parts"
mkdir -p "$parts"

# The release: the highest update marker DOCUMENTS/Update<n>.hvs, n of one to
# three characters beginning with a digit, padded to three and compared as text.
release=000
for marker in "$hvsc"/DOCUMENTS/*.hvs; do
  name=$(basename "$marker")
  lower=${name,,}
  case $lower in *pdate*) ;; *) continue ;; esac
  number=${lower#*pdate}
  number=${number%????}
  [ -n "$number" ] && [ ${#number} -le 3 ] && [[ $number == [0-9]* ]] || continue
  number=$(printf '%3s' "$number" | tr ' ' 0)
  [[ $number > $release ]] && release=$number
done

# The folders, each one unit of work; loose files of a top folder are one more.
units=()
for top in DEMOS GAMES MUSICIANS; do
  [ -d "$hvsc/$top" ] || continue
  units+=("$top/")
  while IFS= read -r dir; do units+=("$top/$dir/"); done < <(cd "$hvsc/$top" && find . -mindepth 1 -maxdepth 1 -type d -printf '%P\n' | LC_ALL=C sort)
done

started=$(date +%s)
done_units=0
for unit in "${units[@]}"; do
  part="$parts/$(printf '%s' "${unit%/}" | tr '/' '_').txt"
  done_units=$((done_units + 1))
  [ -f "$part" ] && continue
  # A loose-files unit plays only the folder's own files; a folder all below it.
  if [ "$unit" = "${unit%%/*}/" ]; then subdirs=(); else subdirs=(-s); fi
  echo "[$done_units/${#units[@]}] $unit" >&2
  status=0
  (cd "$hvsc" && "$kelvary" -g "${subdirs[@]}" ${JOBS:+-c$JOBS} "${unit}*") > "$part.tmp" 2> "$part.log" || status=$?
  # 8: nothing in the folder.
  if [ $status -ne 0 ] && [ $status -ne 8 ] && [ $status -ne 3 ]; then
    echo "$0: kelvary ended with $status on $unit (see $part.log)" >&2
    exit 1
  fi
  mv "$part.tmp" "$part"
done

# Parts made under other conditions (another ROM set or play time, after a
# resume with another build) would not make one database.
head=""
for part in "$parts"/*.txt; do
  this=$(grep '^;' "$part" || true)
  [ -z "$this" ] && continue
  if [ -z "$head" ]; then head=$this; elif [ "$this" != "$head" ]; then
    echo "$0: $part was made under other conditions than the rest:" >&2
    diff <(echo "$head") <(echo "$this") >&2 || true
    exit 1
  fi
done

# One database: the program's own comment lines once, then the hash lines with
# collection names ("/MUSICIANS/..."), by name and then sub-tune number.
{
  [[ $release =~ ^[0-9]+$ ]] && release=$((10#$release))
  echo "; HVSC release $release: data hashes of $(basename "$hvsc") made by scripts/make-database.sh"
  [ -n "$head" ] && echo "$head"
  cat "$parts"/*.txt | grep -E '^[0-9a-f]{32}=' |
    awk '{ at = match($0, / #[0-9]+$/); name = substr($0, 34, at - 34); number = substr($0, at + 2);
           printf "%s\t%d\t%s=/%s\n", name, number, substr($0, 1, 32), substr($0, 34) }' |
    LC_ALL=C sort -t $'\t' -k1,1 -k2,2n | cut -f3
} > "$out.tmp"
mv "$out.tmp" "$out"
lines=$(grep -c '^[0-9a-f]' "$out" || true)
echo "$out: release $release, $lines hash lines, $(( $(date +%s) - started )) s in this run" >&2

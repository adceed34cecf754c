#!/usr/bin/env bash
# Makes database.txt of an HVSC release: the data hash of every sub-tune of
# every tune in DEMOS, GAMES and MUSICIANS, played for the default 3 minutes.
#
#   scripts/make-database.sh HVSC_DIR [OUT] [--redo LIST]    (OUT: database.txt)
#
# HVSC_DIR is the collection's root (the folder holding DOCUMENTS). The work is
# done folder by folder (DEMOS/A-F, MUSICIANS/H, ...) into OUT.parts/, and a
# folder whose part is there is not played again: a run that was stopped goes
# on where it was. Delete a folder's part to play it again, e.g. after a
# change of the machine that alters the hashes of its tunes; or name the files
# whose hashes may have changed, one collection name ("/MUSICIANS/...") a line,
# in LIST: --redo plays only those and their lines replace the folders' lines.
# Lines are sorted by name and sub-tune, so two runs compare with diff.
#
# Environment: KELVARY (the program; default build/bin/kelvary), JOBS (workers;
# default one per CPU).
set -euo pipefail

positional=()
redo=""
while [ $# -gt 0 ]; do
  case $1 in
    --redo) redo=$(realpath -m "${2:?--redo needs a list}"); shift 2 ;;
    *) positional+=("$1"); shift ;;
  esac
done
if [ ${#positional[@]} -lt 1 ] || [ ! -d "${positional[0]}/DOCUMENTS" ] || { [ -n "$redo" ] && [ ! -f "$redo" ]; }; then
  echo "usage: $0 HVSC_DIR [OUT] [--redo LIST]   (HVSC_DIR: the folder holding DOCUMENTS, DEMOS, GAMES, MUSICIANS)" >&2
  exit 1
fi
here=$(cd "$(dirname "$0")/.." && pwd)
hvsc=$(cd "${positional[0]}" && pwd)
out=$(realpath -m "${positional[1]:-database.txt}")
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

# The listed files again, in a tree of links of their own; their lines go to
# redo.txt, which outranks the folders' parts (earlier redone files stay).
if [ -n "$redo" ]; then
  tree="$parts/redo-tree"
  rm -rf "$tree"
  while IFS= read -r name; do
    name=${name#/}
    [ -n "$name" ] && [ -f "$hvsc/$name" ] || continue
    mkdir -p "$tree/$(dirname "$name")"
    ln -s "$hvsc/$name" "$tree/$name"
  done < "$redo"
  echo "redoing $(find "$tree" -type l | wc -l) files" >&2
  : > "$parts/redo.new"
  for top in DEMOS GAMES MUSICIANS; do
    [ -d "$tree/$top" ] || continue
    status=0
    (cd "$tree" && "$kelvary" -g -s ${JOBS:+-c$JOBS} "$top/*") >> "$parts/redo.new" 2>> "$parts/redo.log" || status=$?
    if [ $status -ne 0 ] && [ $status -ne 3 ]; then
      echo "$0: kelvary ended with $status on the redone files (see $parts/redo.log)" >&2
      exit 1
    fi
  done
  # One head, then the earlier redone lines of files not redone now, then the new lines.
  {
    grep '^;' "$parts/redo.new" | awk '!seen[$0]++'
    if [ -f "$parts/redo.txt" ]; then
      grep -E '^[0-9a-f]{32}=' "$parts/redo.txt" |
        awk 'NR == FNR { if ($0 != "") done[substr($0, 2)] = 1; next }
             { name = substr($0, 34); sub(/ #[0-9]+$/, "", name); if (!(name in done)) print }' "$redo" - || true
    fi
    grep -E '^[0-9a-f]{32}=' "$parts/redo.new" || true
  } > "$parts/redo.tmp"
  mv "$parts/redo.tmp" "$parts/redo.txt"
  rm -rf "$tree" "$parts/redo.new"
fi

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
  # A file that redo.txt names takes its lines from there alone.
  folders=()
  for part in "$parts"/*.txt; do [ "$part" = "$parts/redo.txt" ] || folders+=("$part"); done
  {
    [ -f "$parts/redo.txt" ] && grep -E '^[0-9a-f]{32}=' "$parts/redo.txt" | sed 's/^/R\t/'
    cat "${folders[@]}" | grep -E '^[0-9a-f]{32}=' | sed 's/^/F\t/'
  } |
    awk -F '\t' '{ line = $2; at = match(line, / #[0-9]+$/); name = substr(line, 34, at - 34)
                   if ($1 == "R") redone[name] = 1; else if (name in redone) next
                   printf "%s\t%d\t%s=/%s\n", name, substr(line, at + 2), substr(line, 1, 32), substr(line, 34) }' |
    LC_ALL=C sort -t $'\t' -k1,1 -k2,2n | cut -f3
} > "$out.tmp"
mv "$out.tmp" "$out"
lines=$(grep -c '^[0-9a-f]' "$out" || true)
echo "$out: release $release, $lines hash lines, $(( $(date +%s) - started )) s in this run" >&2

#!/usr/bin/env bash
# The Windows build, tested on Debian: cross-builds zorvex.dll, kelvary.exe and
# the portable test programs with mingw-w64 (build-win), runs each test program
# under Wine, then plays a spread of corpus tunes with kelvary.exe -g and with a
# look-up in a database made from them, and compares every line with what the
# Linux kelvary prints for the same tunes. The hash lines are a data format:
# they must not depend on the platform. Ends with a one-line verdict.
#
# Environment: ZORVEX_E2E_TUNES (how many collection tunes, 200 by default; the
# extra, PRG and Sidplayer files come on top in proportion), ZORVEX_LINUX_KELVARY
# (the Linux program to compare with; build/bin/kelvary, built when missing),
# ZORVEX_SHARED_DIR (the shared test data, ../shared by default).
# Debian packages: mingw-w64 g++-mingw-w64-x86-64-posix wine wine64 googletest ninja-build (installed
# here when missing, through sudo when not root).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
shared=$(realpath -m "${ZORVEX_SHARED_DIR:-../shared}")
tunes=${ZORVEX_E2E_TUNES:-200}
started=$(date +%s)

packages=(mingw-w64 g++-mingw-w64-x86-64-posix wine wine64 googletest ninja-build)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing[@]}"
fi

# A Wine prefix of our own inside the build tree, made once; quiet Wine.
export WINEPREFIX=$root/build-win/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DZORVEX_SHARED_DIR="$shared"
cmake --build build-win -j"$jobs"
# wineserver -w: the prefix's first start-up is finished before the tests start.
[ -d "$WINEPREFIX" ] || { wineboot -i > /dev/null 2>&1 || true; wineserver -w || true; }

failed=0
summary=()

# One Wine process per test program; the shared data is reached through Wine's Z: drive.
if ctest --test-dir build-win --output-on-failure -j"$jobs" | tee build-win/ctest.log; then :; else failed=1; fi
# GoogleTest's own tally of each program, from ctest's log of their output.
while read -r line; do summary+=("$line"); done < <(awk '
  /^[0-9]+\/[0-9]+ Testing: / { name = $3; seen[name] = 1 }
  /^\[  PASSED  \] [0-9]+ test/ { passed[name] = $4 }
  /^\[  SKIPPED \] [0-9]+ test/ { skipped[name] = $4 }
  /^\[  FAILED  \] [0-9]+ test/ { failed[name] = $4 }
  END { for (n in seen) printf "wine %s: %d passed, %d skipped, %d failed\n", n, passed[n], skipped[n], failed[n] }
  ' build-win/Testing/Temporary/LastTest.log | sort)
result=$(grep -E '^[0-9]+% tests passed' build-win/ctest.log | tail -n 1 || true)
summary+=("wine ctest: ${result:-no result}")

# The end-to-end comparison needs the corpus and a Linux kelvary.
if [ ! -d "$shared/corpus/C64Music" ]; then
  summary+=("end-to-end: SKIPPED, no corpus at $shared/corpus")
else
  linux=${ZORVEX_LINUX_KELVARY:-build/bin/kelvary}
  if [ ! -x "$linux" ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
    cmake --build build -j"$jobs" --target kelvary zorvex
  fi
  linux=$(realpath "$linux")

  # The tunes, copied under their corpus paths: every n-th collection tune in
  # byte order, every n-th extra tune and PRG file, the Sidplayer files with
  # their stereo companions. Both programs see the same relative names.
  e2e=$root/build-win/e2e
  rm -rf "$e2e"
  mkdir -p "$e2e/tunes"
  pick() {  # pick COUNT: every n-th line of standard input, COUNT of them at most
    mapfile -t all
    local count=$1 step
    [ ${#all[@]} -gt 0 ] || return 0
    step=$(( (${#all[@]} + count - 1) / count ))
    [ "$step" -ge 1 ] || step=1
    for ((i = 0; i < ${#all[@]}; i += step)); do echo "${all[$i]}"; done
  }
  (
    cd "$shared/corpus"
    find C64Music -name '*.sid' | LC_ALL=C sort | pick "$tunes"
    find extra -iname '*.sid' | LC_ALL=C sort | pick $(( tunes / 8 + 1 ))
    find prg -iname '*.prg' | LC_ALL=C sort | pick $(( tunes / 8 + 1 ))
    find mus -iname '*.mus' | LC_ALL=C sort | pick $(( tunes / 10 + 1 ))
  ) > "$e2e/list.txt"
  while read -r file; do
    mkdir -p "$e2e/tunes/$(dirname "$file")"
    cp "$shared/corpus/$file" "$e2e/tunes/$file"
    companion="${file%.*}.str"
    [ ! -f "$shared/corpus/$companion" ] || cp "$shared/corpus/$companion" "$e2e/tunes/$companion"
  done < "$e2e/list.txt"
  # Every tenth collection tune once more under another name, outside the
  # collection: rips for the binary search to find in the index.
  mkdir -p "$e2e/tunes/rips"
  grep '^C64Music/' "$e2e/list.txt" | awk 'NR % 10 == 1' | while read -r file; do
    cp "$shared/corpus/$file" "$e2e/tunes/rips/rip_$(basename "$file")"
  done

  # Copies of both programs with their libraries: what they keep beside
  # themselves (the index) stays in this folder.
  mkdir -p "$e2e/linux-bin" "$e2e/windows-bin"
  cp -P "$linux" "$(dirname "$linux")"/libzorvex.so* "$e2e/linux-bin/"
  cp build-win/bin/kelvary.exe build-win/bin/zorvex.dll "$e2e/windows-bin/"
  linux=$e2e/linux-bin/$(basename "$linux")
  windows=$e2e/windows-bin/kelvary.exe

  # kelvary.exe names files in the ANSI code page (the "A" calls), Linux in
  # the file system's UTF-8: a few corpus folders have names beyond ASCII.
  # The comparison reads kelvary.exe's lines in UTF-8, and kelvary.exe gets
  # the database in its code page, as a database on Windows would be.
  acp=$(wine reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP 2> /dev/null |
        tr -d '\r' | awk '$1 == "ACP" { print $3 }')
  acp=CP${acp:-1252}

  # run NAME ARGS...: both programs in the staged tree, once per mask in
  # masks, one minute per sub-tune; "-D" stands for each one's database.
  # Lines of different workers come in any order: sorted. Standard output
  # must not gain a CR on Windows.
  masks=('*.sid' '*.prg' '*.mus')
  run() {
    local name=$1 mask
    shift
    for mask in "${masks[@]}"; do
      (cd "$e2e/tunes" && "$linux" "${@/#-D/-d$e2e/database.txt}" -t1 "$mask" 2>> "$e2e/$name.linux.err" || true)
    done | LC_ALL=C sort > "$e2e/$name.linux.txt"
    for mask in "${masks[@]}"; do
      (cd "$e2e/tunes" && wine "$windows" "${@/#-D/-d$e2e/database.$acp.txt}" -t1 "$mask" \
         2>> "$e2e/$name.windows.err" || true)
    done | iconv -f "$acp" -t UTF-8 | LC_ALL=C sort > "$e2e/$name.windows.txt"
  }
  # Result lines (hash lines, "same as" lines) and the database comments must
  # match byte for byte; status lines name the file as the search found it,
  # with the platform's separator, and match once that is "/".
  compare() {
    local name=$1 result='^([0-9a-f]{32}=|;)' lines statuses
    grep -aE "$result" "$e2e/$name.linux.txt" > "$e2e/$name.linux.results" || true
    grep -aE "$result" "$e2e/$name.windows.txt" > "$e2e/$name.windows.results" || true
    grep -avE "$result" "$e2e/$name.linux.txt" > "$e2e/$name.linux.status" || true
    grep -avE "$result" "$e2e/$name.windows.txt" | tr '\\' / > "$e2e/$name.windows.status" || true
    lines=$(wc -l < "$e2e/$name.linux.results")
    statuses=$(wc -l < "$e2e/$name.linux.status")
    if [ "$lines" -gt 0 ] && cmp -s "$e2e/$name.linux.results" "$e2e/$name.windows.results" &&
       cmp -s "$e2e/$name.linux.status" "$e2e/$name.windows.status"; then
      summary+=("end-to-end $name: $lines result lines identical, $statuses status lines alike")
    else
      diff "$e2e/$name.linux.txt" "$e2e/$name.windows.txt" | head -n 20 || true
      summary+=("end-to-end $name: DIFFERENT or empty ($lines Linux result lines; see $e2e/$name.*.txt)")
      failed=1
    fi
  }

  run hashes -g -s
  compare hashes
  # The Linux hash lines as the database both programs look the tunes up in.
  grep -aE '^[0-9a-f]{32}=' "$e2e/hashes.linux.txt" > "$e2e/database.txt" || true
  iconv -f UTF-8 -t "$acp" "$e2e/database.txt" > "$e2e/database.$acp.txt"
  run lookup -D -s
  compare lookup
  found=$(grep -ac -- '-> same as:' "$e2e/lookup.windows.txt" || true)
  summary+=("end-to-end: $(wc -l < "$e2e/list.txt") tunes, $found look-ups found by kelvary.exe")

  # The index of the staged collection is a file format too; then the rips'
  # data found in it by the binary search alone.
  (cd "$e2e/tunes" && "$linux" -i -lC64Music > /dev/null 2>&1 || true)
  (cd "$e2e/tunes" && wine "$windows" -i -lC64Music > /dev/null 2>&1 || true)
  index=$e2e/linux-bin/hvscindex.dat
  if [ -s "$index" ] && cmp -s "$index" "$e2e/windows-bin/hvscindex.dat"; then
    summary+=("end-to-end index: hvscindex.dat identical, $(stat -c %s "$index") bytes")
  else
    summary+=("end-to-end index: DIFFERENT or missing ($e2e/*-bin/hvscindex.dat)")
    failed=1
  fi
  masks=('rips/*.sid')
  run search -bo -lC64Music
  compare search
  found=$(grep -ac -- '-> found as:' "$e2e/search.windows.txt" || true)
  summary+=("end-to-end rips: $(ls "$e2e/tunes/rips" | wc -l) files, $found sub-tunes found by kelvary.exe")
fi

echo
echo "Summary:"
printf '%s\n' "${summary[@]}"
elapsed=$(( $(date +%s) - started ))
if [ "$failed" -ne 0 ]; then
  echo "windows-test: FAILED after ${elapsed}s"
  exit 1
fi
echo "windows-test: ALL PASSED in ${elapsed}s"

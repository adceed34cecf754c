#!/usr/bin/env bash
# The installed tree as its users meet it: cmake --install into a temporary
# prefix, a C program built against the installed header and library through
# pkg-config, and the installed kelvary on a tune.
#   install_test.sh BUILD_DIR SHARED_DIR [SANITIZE_FLAGS]
# A sanitized build's library needs its runtime first in the program: the
# probe is then built with the same flags.
set -euo pipefail
build=$1
shared=$2
sanitize=${3:-}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" > /dev/null
for file in bin/kelvary lib/libzorvex.so include/zorvex.h lib/pkgconfig/zorvex.pc \
            share/man/man1/kelvary.1 share/man/man3/zorvex.3; do
  [ -e "$prefix/$file" ] || fail "$file not installed"
done
soname=$(objdump -p "$prefix/lib/libzorvex.so" | awk '$1 == "SONAME" {print $2}')
[ "$soname" = libzorvex.so.1 ] || fail "SONAME is '$soname'"
[ -e "$prefix/lib/$soname" ] || fail "$soname not installed"

# A user's program, built with what pkg-config says.
cat > "$prefix/probe.c" <<'C'
#include <stdio.h>
#include <zorvex.h>
int main(int argc, char** argv) {
  printf("%x\n", getVersion());
  if (argc < 2) return 0;
  int32_t h = createC64();
  if (h == 0 || !loadFile(h, argv[1])) return 2;
  setSongToPlay(h, getDefaultSong(h));
  int writes = 0;
  for (long calls = 0; calls < 1000000 && writes < 10; ++calls) {
    run(h);
    if (getCommand(h) == ZORVEX_CMD_WRITE) ++writes;
  }
  printf("%d writes\n", writes);
  closeC64(h);
  return 0;
}
C
flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs zorvex)
include=$(sed -nE 's/.*-I([^ ]+).*/\1/p' <<< "$flags")
[ "$(realpath "$include")" = "$(realpath "$prefix/include")" ] || fail "pkg-config's include folder: $flags"
cc -std=c99 -Wall -Werror $sanitize "$prefix/probe.c" $flags -o "$prefix/probe"
out=$(LD_LIBRARY_PATH="$prefix/lib" "$prefix/probe")
[ "$out" = 137 ] || fail "probe printed '$out'"

tune="$shared/corpus/C64Music/MUSICIANS/H/Hubbard_Rob/BMX_Kidz.sid"
if [ ! -f "$tune" ]; then
  echo "SKIP: $tune not found: the installed library and kelvary were not run on a tune"
  exit 0
fi
out=$(LD_LIBRARY_PATH="$prefix/lib" "$prefix/probe" "$tune" | tail -n 1)
[ "$out" = "10 writes" ] || fail "probe on a tune printed '$out'"

# The installed kelvary finds its library from bin/ without help.
work="$prefix/work"
mkdir -p "$work"
cp "$tune" "$work/"
out=$(cd "$work" && env -u LD_LIBRARY_PATH "$prefix/bin/kelvary" -g -t1 BMX_Kidz.sid 2> /dev/null)
grep -q '^; ROM set: built-in$' <<< "$out" || fail "kelvary -g head: $out"
grep -Eq '^[0-9a-f]{32}=/BMX_Kidz.sid #1$' <<< "$out" || fail "kelvary -g: $out"
# And the database installed with it, when the build ships one.
if [ -f "$prefix/share/kelvary/database.txt" ]; then
  out=$(cd "$work" && "$prefix/bin/kelvary" BMX_Kidz.sid 2> /dev/null | sed -n 1p)  # sed reads it all: head would leave kelvary a broken pipe
  grep -Eq '^[0-9a-f]{32}=/BMX_Kidz.sid #1 -> same as: /MUSICIANS/H/Hubbard_Rob/BMX_Kidz.sid #1$' <<< "$out" ||
    fail "look-up in the installed database: $out"
fi
echo "installed tree works: $prefix"

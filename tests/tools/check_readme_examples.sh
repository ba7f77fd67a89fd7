#!/bin/sh
# usage: check_readme_examples.sh SOURCE_DIR BUILD_DIR
# The README's host examples, as a host author copies them: the C one built
# with AddressSanitizer, and the Python one, each run on the demo stores with
# the buffer size textfind-build printed for them; and its catalogue's
# commands, run as a keeper types them.
set -eu
source=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/readme-examples.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
# The block of the given language that follows the line holding the marker.
example() {
  awk -v marker="$1" -v language="$2" '
    index($0, marker) { found = 1; next }
    found && $0 == "```" language { inside = 1; next }
    inside && $0 == "```" { exit }
    inside { print }' "$source/README.md"
}
size=$("$build/bin/textfind-build" "$source/tools/demo/catalogue.tsv" "$work" |
  sed -n 's/.*a host.s buffer needs \([0-9]*\)).*/\1/p')
cp "$source/tools/demo/noused.txt" "$work/"
[ -n "$size" ] || { echo "FAIL textfind-build printed no buffer size"; exit 1; }

example "From C:" c >"$work/host.c"
if cc -fsanitize=address -o "$work/host" "$work/host.c" -ldl 2>"$work/cc.log" &&
   (cd "$work" && LD_LIBRARY_PATH="$build/lib" ./host "$size") >"$work/c.out" 2>&1 &&
   grep -q "^2 records$" "$work/c.out" && grep -q "Gattopardo" "$work/c.out"; then
  echo "ok   the README's C example, with the buffer size textfind-build printed ($size)"
else
  echo "FAIL the README's C example:"; cat "$work/cc.log" "$work/c.out" 2>/dev/null; status=1
fi

example "From Python, with ctypes:" python |
  sed "s|\"build/lib/libtextfind.so\"|\"$build/lib/libtextfind.so\"|" >"$work/host.py"
# A sanitized library needs its runtime loaded before Python's own.
asan=$(ldd "$build/lib/libtextfind.so" | awk '/libasan/ { print $3 }')
if (cd "$work" && LD_PRELOAD="$asan" ASAN_OPTIONS=detect_leaks=0 python3 host.py "$size") \
     >"$work/py.out" 2>&1 &&
   grep -q "Napoli milionaria" "$work/py.out"; then
  echo "ok   the README's Python example, with the same buffer size"
else
  echo "FAIL the README's Python example:"; cat "$work/py.out"; status=1
fi
# The catalogue's commands, as written but for the clone's build folder
# (make tools has run: these tests need it).
example "## Keeping a catalogue" sh | grep -v '^make tools' |
  sed "s|\.\./build/bin/|$build/bin/|g" >"$work/catalogue.sh"
if (cd "$work" && sh -e catalogue.sh) >"$work/catalogue.out" 2>&1 &&
   grep -q "^3 records$" "$work/catalogue.out" && [ -f "$work/scratch/stores/noused.txt" ]; then
  echo "ok   the README's catalogue commands"
else
  echo "FAIL the README's catalogue commands:"; cat "$work/catalogue.out"; status=1
fi
exit $status

#!/bin/sh
# usage: run-demo.sh BUILD_DIR
# Builds the demo stores into a scratch folder and searches them through the
# real exports, loading BUILD_DIR/lib/libtextfind.so by name.
set -eu
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/textfind-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT

"$build/bin/textfind-build" "$here/catalogue.tsv" "$work"
cp "$here/noused.txt" "$work/"
echo

cd "$work"
LD_LIBRARY_PATH="$build/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "$build/bin/textfind-demo" \
  1 "**"    "il romanzo della Sicilia" \
  0 "**"    "Venezia, Napoli" \
  0 "MM"    "memorie scuola" \
  0 "EE;MM" "memorie scuola"

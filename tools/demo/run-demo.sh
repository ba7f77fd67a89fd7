#!/bin/sh
# usage: run-demo.sh BUILD_DIR
# Builds the demo stores into a scratch folder and searches them through the
# real exports, loading BUILD_DIR/lib/libtextfind.so by name; then the same
# catalogue built for a Windows host's code page (CP1252), searched with a
# query in CP1252 bytes.
set -eu
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/textfind-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
export LD_LIBRARY_PATH="$build/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"

# The host sizes its text buffer from what the builder says the stores need.
bufferSize() { sed -n 's/.*a host.s buffer needs \([0-9]*\)).*/\1/p'; }
size=$("$build/bin/textfind-build" --stop-words "$here/noused.txt" "$here/catalogue.tsv" "$work" |
  tee /dev/stderr | bufferSize)
"$build/bin/textfind-check" "$work" | tail -1
echo

cd "$work"
"$build/bin/textfind-demo" "$size" \
  1 "**"    "il romanzo della Sicilia" \
  0 "**"    "Venezia, Napoli" \
  0 "MM"    "memorie scuola" \
  0 "EE;MM" "memorie scuola"

mkdir "$work/cp1252"
size=$("$build/bin/textfind-build" --encoding UTF-8:CP1252 --stop-words "$here/noused.txt" \
  "$here/catalogue.tsv" "$work/cp1252" | tee /dev/stderr | bufferSize)
echo
cd "$work/cp1252"
echo "CP1252 stores (the query and the texts in Windows-1252, shown here in UTF-8):"
"$build/bin/textfind-demo" "$size" 0 "MM" "$(printf 'Mémoires' | iconv -f UTF-8 -t CP1252)" |
  iconv -f CP1252 -t UTF-8

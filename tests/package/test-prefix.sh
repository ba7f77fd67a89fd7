#!/bin/sh
# usage: test-prefix.sh PREFIX BUILD-DIR
# Uses what is installed under PREFIX (by cmake --install, or unpacked from
# the Debian packages) as a host author would: the libraries' SONAMEs and
# exports, the tools' --version, the installed tools on the installed demo
# catalogue, and a project outside the tree, built once with find_package
# and once with pkg-config, that links the libraries and runs a search and
# a SortList. BUILD-DIR is the build the files came from.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
stage=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/hostlibs-prefix.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL $*"; status=1; }
pass() { echo "ok   $*"; }
libdir=$(dirname "$(find "$stage" -name libtextfind.so.1 | head -1)")
export LD_LIBRARY_PATH="$libdir"
version=$(cat "$build/hostlibs-version.txt")

for lib in textfind hostutil; do
  soname=$(objdump -p "$libdir/lib$lib.so.$version" | awk '$1 == "SONAME" { print $2 }')
  [ "$soname" = "lib$lib.so.1" ] && [ "$(readlink "$libdir/lib$lib.so.1")" = "lib$lib.so.$version" ] &&
    [ "$(readlink "$libdir/lib$lib.so")" = "lib$lib.so.1" ] &&
    pass "lib$lib.so -> lib$lib.so.1 -> lib$lib.so.$version (SONAME $soname)" ||
    fail "lib$lib: SONAME '$soname' or links wrong"
  # Only the interface, as the build tree's library (whose own test checks
  # it against the list of exports).
  nm -D --defined-only "$libdir/lib$lib.so.$version" | awk '{ print $3 }' | sort >"$work/have"
  nm -D --defined-only "$build/lib/lib$lib.so" | awk '{ print $3 }' | sort >"$work/want"
  if ! cmp -s "$work/want" "$work/have"; then
    fail "lib$lib exports more or less than its interface: $(tr '\n' ' ' <"$work/have")"
  else
    pass "lib$lib exports: $(tr '\n' ' ' <"$work/have")"
  fi
done
for tool in textfind-build textfind-check textfind-search; do
  [ "$("$stage/bin/$tool" --version)" = "$tool $version" ] && pass "$tool --version" ||
    fail "$tool --version: $("$stage/bin/$tool" --version)"
done

for tool in textfind-build textfind-check textfind-search; do
  page=$stage/share/man/man1/$tool.1.gz
  zcat "$page" 2>/dev/null | grep -q "^\.SH SYNOPSIS" && pass "$tool has its manual page" ||
    fail "no manual page $page"
done

# The installed example, built and searched with the installed tools.
examples=$stage/share/doc/textfind-tools/examples
mkdir "$work/stores"
cp "$examples/noused.txt" "$work/stores/"
"$stage/bin/textfind-build" "$examples/catalogue.tsv" "$work/stores" >/dev/null
"$stage/bin/textfind-check" "$work/stores" >/dev/null && pass "textfind-check: the example's stores are clean" ||
  fail "textfind-check on the example's stores"
# Every category, so that the tool has no records left out to tell of.
"$stage/bin/textfind-search" --folder "$work/stores" --any --selector '**EE;MM' divina commedia >"$work/expected"
echo "xx,yy,zz" >>"$work/expected"  # SortList of 3:zz,1:xx,2:yy
[ "$(head -1 "$work/expected")" != "0 records" ] || fail "the example query finds nothing"

for how in find_package pkg-config; do
  flag=OFF
  [ $how = pkg-config ] && flag=ON
  if PKG_CONFIG_PATH="$libdir/pkgconfig" cmake -S "$here/consumer" -B "$work/$how" \
       -DCMAKE_PREFIX_PATH="$stage" -DUSE_PKG_CONFIG=$flag >"$work/$how.log" 2>&1 &&
     cmake --build "$work/$how" >>"$work/$how.log" 2>&1; then
    if "$work/$how/consumer" "$work/stores" 0 '**EE;MM' "divina commedia" >"$work/$how.out" &&
       cmp -s "$work/expected" "$work/$how.out"; then
      pass "a consumer found with $how searches the example and sorts a list"
    else
      fail "the consumer found with $how answered:"; diff "$work/expected" "$work/$how.out" || true
    fi
    if objdump -p "$work/$how/consumer" | grep -q 'NEEDED.*libtextfind.so.1' &&
       objdump -p "$work/$how/consumer" | grep -q 'NEEDED.*libhostutil.so.1'; then
      pass "the consumer found with $how links libtextfind.so.1 and libhostutil.so.1"
    else
      fail "the consumer found with $how does not link the libraries by SONAME"
    fi
  else
    fail "a consumer cannot be built with $how:"; cat "$work/$how.log"
  fi
done
exit $status

#!/bin/sh
# usage: test-deb.sh BUILD-DIR
# Makes the Debian packages of BUILD-DIR with CPack and checks them: the
# four packages and their control fields, lintian (no error), and their
# contents unpacked with dpkg into a throw-away root, used there as
# test-prefix.sh uses an installed prefix.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/hostlibs-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL $*"; status=1; }
pass() { echo "ok   $*"; }
version=$(cat "$build/hostlibs-version.txt")
arch=$(dpkg --print-architecture)

echo "== Debian packages"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
packages="libtextfind1 libhostutil1 libtextfind-hostutil-dev textfind-tools"
for package in $packages; do
  deb=$build/${package}_${version}_$arch.deb
  if [ ! -f "$deb" ]; then fail "$package: no $deb"; continue; fi
  fields=$(dpkg-deb -f "$deb" Package Version Depends | tr '\n' ' ')
  pass "$(basename "$deb"): $fields"
done
[ "$(ls "$build"/*.deb | wc -l)" -eq 4 ] || fail "other packages besides the four: $(ls "$build"/*.deb)"
dpkg-deb -f "$build/libtextfind-hostutil-dev_${version}_$arch.deb" Depends |
  grep -q "libtextfind1 (= $version)" || fail "the development package does not depend on libtextfind1"
for lib in textfind hostutil; do
  dpkg-deb -I "$build/lib${lib}1_${version}_$arch.deb" shlibs | grep -q "^lib$lib 1 lib${lib}1" &&
    dpkg-deb -I "$build/lib${lib}1_${version}_$arch.deb" triggers | grep -q "activate-noawait ldconfig" &&
    pass "lib${lib}1 has shlibs and the ldconfig trigger" || fail "lib${lib}1 lacks shlibs or the trigger"
done

if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$build"/*.deb >"$work/lintian.txt" 2>/dev/null || true
  if grep -q '^E:' "$work/lintian.txt"; then
    fail "lintian reports errors:"; grep '^E:' "$work/lintian.txt" | sed 's/^/       /'
  else
    pass "lintian: no error; $(grep -c '^W:' "$work/lintian.txt") warnings:"
    grep '^W:' "$work/lintian.txt" | sed 's/^/       /'
  fi
  grep -q 'no-manual-page' "$work/lintian.txt" && fail "lintian: a tool has no manual page" ||
    pass "lintian: every tool has its manual page"
else
  fail "lintian is not installed"
fi

# Unpacked, not configured: configuring would run their ldconfig in the
# throw-away root, which holds no system to run it.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
: >"$root/var/lib/dpkg/status"
if dpkg --root="$root" --log=/dev/null --force-depends --no-triggers --unpack "$build"/*.deb \
     >"$work/dpkg.log" 2>&1; then
  pass "dpkg unpacks the four packages into a throw-away root: $(dpkg --root="$root" -l | awk '/^.U/ { print $2 }' | tr '\n' ' ')"
else
  fail "dpkg cannot unpack the packages:"; cat "$work/dpkg.log"
fi
"$here/test-prefix.sh" "$root/usr" "$build" || status=1
exit $status

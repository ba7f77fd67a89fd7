#!/bin/sh
# usage: build-bdb.sh TRIPLET
# Builds a static Berkeley DB 5.3 for a mingw-w64 target and prints its
# prefix. The result is cached outside the build tree, keyed by version and
# target, so later runs (and fresh build folders) reuse it.
set -eu
triplet=$1
version=5.3.28
cache=${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/hostlibs
prefix=$cache/db-$version-$triplet
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi
mkdir -p "$cache"
echo "build-bdb: building Berkeley DB $version for $triplet into $prefix" >&2

# The Debian source package, fetched once and shared by both targets.
src=$cache/src/db5.3
if [ ! -f "$src/.complete" ]; then
  if ! apt-get source --print-uris db5.3 2>/dev/null | grep -q "'"; then
    "$(dirname "$0")/enable-deb-src.sh"
  fi
  rm -rf "$cache/src"
  mkdir -p "$cache/src"
  (cd "$cache/src" && apt-get source -qq db5.3 >/dev/null 2>&1) || {
    echo "build-bdb: apt-get source db5.3 failed" >&2; exit 1; }
  dir=$(find "$cache/src" -maxdepth 1 -type d -name 'db5.3-*' | head -1)
  [ -n "$dir" ] || { echo "build-bdb: no source tree unpacked" >&2; exit 1; }
  mv "$dir" "$src"
  # mingw-w64's headers are lower case; the case-sensitive file system cares.
  sed -i 's/<WinIoCtl.h>/<winioctl.h>/' "$src/src/dbinc/win_db.h"
  touch "$src/.complete"
fi

work=$cache/work-$triplet
rm -rf "$work" "$prefix"
mkdir -p "$work"
cd "$work"
log=$work/build.log
{
  "$src/dist/configure" --host="$triplet" --prefix="$prefix" --enable-mingw \
    --disable-shared --enable-static --disable-cxx --disable-tcl \
    --disable-java --disable-sql &&
  make -j"${JOBS:-2}" libdb.a &&
  make install_include install_lib
} >"$log" 2>&1 || {
  echo "build-bdb: build for $triplet failed; last lines of $log:" >&2
  tail -30 "$log" >&2
  exit 1
}
touch "$prefix/.complete"
cd "$cache"
rm -rf "$work"
echo "$prefix"

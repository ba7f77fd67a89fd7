#!/bin/sh
# usage: build.sh TRIPLET BUILD-DIR DIST-DIR
# Cross-builds textfind.dll, hostutil.dll and the store tools for one
# mingw-w64 target (with a cached static Berkeley DB) and assembles what host
# authors get: the DLLs, their .def files and import libraries, the public
# headers, the tools and a README, and the same as a versioned zip archive.
set -eu
triplet=$1
build=$2
dist=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${JOBS:-2}

bdb=$("$root/cmake/windows/build-bdb.sh" "$triplet")
# Configured each time, so a changed HOSTLIBS_WERROR takes effect.
cmake -S "$root" -B "$build" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$triplet.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBDB_PREFIX="$bdb" \
  -DHOSTLIBS_WERROR="${HOSTLIBS_WERROR:-OFF}" >/dev/null
# The DLLs and the store tools; the rest of the tree is tests and benchmarks
# for the Linux build.
cmake --build "$build" -j "$jobs" --target textfind hostutil textfind-build textfind-check \
  textfind-search \
  >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 1; }

rm -rf "$dist"
mkdir -p "$dist/include"
cp "$root/include/textfind.h" "$root/include/hostutil.h" "$dist/include/"
for lib in textfind hostutil; do
  "$triplet-strip" --strip-unneeded -o "$dist/$lib.dll" "$build/bin/$lib.dll"
  # The 32-bit .def keeps the stdcall decorations (made from
  # cmake/exports.cmake): the import library then maps a caller's _Name@n to
  # the DLL's plain Name.
  cp "$build/$lib/$lib.def" "$dist/"
  case $triplet in
    i686-*) "$triplet-dlltool" -d "$dist/$lib.def" -D "$lib.dll" -k -l "$dist/$lib.dll.a" ;;
    *) "$triplet-dlltool" -d "$dist/$lib.def" -D "$lib.dll" -l "$dist/$lib.dll.a" ;;
  esac
done
# textfind-search loads textfind.dll from its own folder, as a host does.
for tool in textfind-build textfind-check textfind-search; do
  "$triplet-strip" -o "$dist/$tool.exe" "$build/bin/$tool.exe"
done
cp "$build/README-host.txt" "$dist/README.txt"

# The release archive: the dist folder under a versioned name, beside it.
version=$(cat "$build/hostlibs-version.txt")
case $triplet in i686-*) arch=x86 ;; *) arch=x64 ;; esac
name=textfind-hostutil-$version-windows-$arch
outside=$(cd "$(dirname "$dist")" && pwd)
staging=$(mktemp -d)
cp -R "$dist" "$staging/$name"
rm -f "$outside/$name.zip"
(cd "$staging" && cmake -E tar cf "$outside/$name.zip" --format=zip "$name")
rm -rf "$staging"
echo "windows: $dist, $outside/$name.zip"

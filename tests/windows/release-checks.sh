#!/bin/sh
# usage: release-checks.sh BUILD-DIR ZIP
# Checks a Windows release archive: it holds exactly the expected files
# under its versioned folder, and each DLL in it carries a version resource
# with the project's version and its Italian description.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$1
zip=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
version=$(cat "$build/hostlibs-version.txt")
name=$(basename "$zip" .zip)
passes=0
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
pass() { echo "ok   $*"; passes=$((passes + 1)); }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

case $name in
  textfind-hostutil-$version-windows-x86 | textfind-hostutil-$version-windows-x64)
    pass "$name.zip is named for version $version" ;;
  *) fail "$name.zip: expected textfind-hostutil-$version-windows-x86 or -x64" ;;
esac
printf '%s\n' README.txt hostutil.def hostutil.dll hostutil.dll.a include/ include/hostutil.h \
  include/textfind.h textfind-build.exe textfind-check.exe textfind-search.exe textfind.def \
  textfind.dll textfind.dll.a | sed "s|^|$name/|" | (echo "$name/"; cat) | sort >"$tmp/want"
python3 -c 'import sys, zipfile; print("\n".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip" |
  sort >"$tmp/have"
if cmp -s "$tmp/want" "$tmp/have"; then
  pass "$name.zip holds exactly the $(wc -l <"$tmp/want") expected entries"
else
  fail "$name.zip holds other entries than expected:"; diff "$tmp/want" "$tmp/have" | sed 's/^/       /'
fi

(cd "$tmp" && cmake -E tar xf "$zip")
for lib in textfind hostutil; do
  dll=$tmp/$name/$lib.dll
  [ -f "$dll" ] || { fail "$lib.dll is not in $name.zip"; continue; }
  python3 "$here/version_resource.py" "$dll" >"$tmp/$lib.txt" || true
  problems=""
  for line in "fixed-file=$version.0" "fixed-product=$version.0" "FileVersion=$version" \
              "ProductVersion=$version" "OriginalFilename=$lib.dll" "translation=0410 04b0"; do
    grep -qxF "$line" "$tmp/$lib.txt" || problems="$problems '$line'"
  done
  grep -q '^FileDescription=..' "$tmp/$lib.txt" || problems="$problems 'FileDescription'"
  if [ -z "$problems" ]; then
    pass "$name/$lib.dll: version $version, $(grep '^FileDescription=' "$tmp/$lib.txt")"
  else
    fail "$name/$lib.dll version resource lacks$problems:"; sed 's/^/       /' "$tmp/$lib.txt"
  fi
done
echo "release checks of $name.zip: $passes passed, $failures failed"
[ "$failures" -eq 0 ]

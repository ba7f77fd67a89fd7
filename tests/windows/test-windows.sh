#!/bin/sh
# usage: test-windows.sh X86-BUILD X64-BUILD X86-DIST X64-DIST [NATIVE-BUILD]
# The Windows part of the tests: static checks of the 32-bit DLLs, the
# release archives of both, then the test host under Wine on the 64-bit
# build, and on the 32-bit build where this machine can run 32-bit code.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
x86=$1 x64=$2 dist86=$3 dist64=$4 native=${5:-}
jobs=${JOBS:-2}

build_programs() {  # TRIPLET DLL-BUILD
  cmake -S "$here" -B "$2/tests-windows" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$1.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHOSTLIBS_WERROR="${HOSTLIBS_WERROR:-OFF}" >/dev/null
  cmake --build "$2/tests-windows" -j "$jobs" >/dev/null
}

status=0
echo "== static checks of the 32-bit DLLs"
"$here/static-checks.sh" "$x86" "$dist86" || status=1

echo "== the release archives"
version=$(cat "$x86/hostlibs-version.txt")
"$here/release-checks.sh" "$x86" "$(dirname "$dist86")/textfind-hostutil-$version-windows-x86.zip" || status=1
"$here/release-checks.sh" "$x64" "$(dirname "$dist64")/textfind-hostutil-$version-windows-x64.zip" || status=1

echo "== test host under wine64 (x86_64 DLLs)"
build_programs x86_64-w64-mingw32 "$x64"
"$here/run-wine-tests.sh" "$dist64" "$x64" /usr/lib/wine/wine64 "$native" || status=1

if ! "$here/can-run-i386.sh"; then
  echo "skipped: the test host on the 32-bit DLLs under Wine: this machine cannot run 32-bit x86 programs"
elif [ -s "$x86/wine32-not-installed.txt" ]; then
  echo "skipped: the test host on the 32-bit DLLs: 32-bit Wine could not be installed: $(cat "$x86/wine32-not-installed.txt")"
elif [ ! -x /usr/lib/wine/wine ]; then
  echo "skipped: the test host on the 32-bit DLLs under Wine: 32-bit Wine (/usr/lib/wine/wine, Debian wine32:i386) is not installed"
else
  echo "== test host under wine (i686 DLLs)"
  build_programs i686-w64-mingw32 "$x86"
  "$here/run-wine-tests.sh" "$dist86" "$x86" /usr/lib/wine/wine "$native" || status=1
fi
exit $status

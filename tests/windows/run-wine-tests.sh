#!/bin/sh
# usage: run-wine-tests.sh DIST-DIR BUILD-DIR WINE [NATIVE-BUILD-DIR]
# Runs the Windows test host on the DLLs shipped in DIST-DIR under WINE (the
# wine64 loader for x86_64 builds) in a private, throw-away Wine prefix, with
# a file-port printer, an SQLite ODBC data source and a virtual display. The
# test programs come from BUILD-DIR/tests-windows.
set -eu
# Everything runs on one virtual display: Wine's desktop process, started by
# the first Wine program, keeps the display it found for the whole session.
if [ -z "${HOSTLIBS_ON_XVFB:-}" ]; then
  HOSTLIBS_ON_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
here=$(cd "$(dirname "$0")" && pwd)
dlls=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
tests=$build/tests-windows
wine=$3
native=${4:-}
[ -z "$native" ] || native=$(cd "$native" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/hostlibs-wine.XXXXXX")
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
# No Mono or Gecko installers: nothing here needs them.
export WINEDLLOVERRIDES="mscoree,mshtml="
case $(basename "$wine") in
  wine64) export WINEARCH=win64; multiarch=x86_64-linux-gnu ;;
  *) export WINEARCH=win32; multiarch=i386-linux-gnu ;;
esac
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
cleanup() {
  status=$?
  "$wineserver" -k >/dev/null 2>&1 || true
  if [ $status -eq 0 ] || [ -n "${CI:-}" ]; then rm -rf "$work"; else echo "kept $work"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

run="$work/run"
mkdir -p "$run" "$work/odbc"
cp "$dlls/textfind.dll" "$dlls/hostutil.dll" "$run/"
cp "$tests/testhost.exe" "$tests/child.exe" "$run/"
cp "$dlls/textfind-check.exe" "$dlls/textfind-search.exe" "$run/"

# Search stores: records written on the Linux side when the native tool is
# there, else by the same tool built for Windows.
catalogue="$work/catalogue.txt"
printf '1\tEE\tIl gatto nero\n2\tMM\tIl cane bianco\n3\tAB\tGatto e cane\n5\tEE\t\n7\tmM\tCasa rossa\n' >"$catalogue"
printf 'IL\r\nE\r\n' >"$run/noused.txt"

echo "wine: preparing a prefix"
timeout 300 "$wine" wineboot --init >"$work/wineboot.log" 2>&1 || {
  cat "$work/wineboot.log"; exit 1; }
timeout 120 "$wineserver" -w || true

if [ -n "$native" ] && [ -x "$native/bin/textfind-build" ]; then
  "$native/bin/textfind-build" "$catalogue" "$run" >/dev/null
else
  (cd "$run" && "$wine" "$build/bin/textfind-build.exe" "$catalogue" . \
    >"$work/textfind-build.log" 2>&1) || { cat "$work/textfind-build.log"; exit 1; }
fi

# What the Linux store tools answer on these stores, for the test host to
# compare with the Windows tools' answers (store_tools_cases.cpp).
if [ -n "$native" ] && [ -x "$native/bin/textfind-check" ] && [ -x "$native/bin/textfind-search" ]; then
  mkdir -p "$run/store-tools" "$run/no-stores"
  tab=$(printf '\t')
  while IFS= read -r line; do
    name=${line%%"$tab"*}
    printf '%s\n' "$line" >>"$run/store-tools/cases.txt"
    # shellcheck disable=SC2086 # the fields are the arguments
    (cd "$run" && IFS=$tab && set -- $line && shift && program=$1 && shift &&
      status=0 && { "$native/bin/$program" "$@" >"store-tools/$name.out" \
        2>"store-tools/$name.err" || status=$?; } && echo $status >"store-tools/$name.status")
  done <<EOF
check${tab}textfind-check${tab}.
check-json${tab}textfind-check${tab}--json
check-empty${tab}textfind-check${tab}no-stores
all${tab}textfind-search${tab}GATTO${tab}cane
any${tab}textfind-search${tab}--any${tab}gatto${tab}cane
selector${tab}textfind-search${tab}--any${tab}--selector${tab}EE;AB${tab}gatto${tab}cane
stop-words${tab}textfind-search${tab}il${tab}gatto
count${tab}textfind-search${tab}--count${tab}--any${tab}casa${tab}cane
limit${tab}textfind-search${tab}--limit${tab}1${tab}--any${tab}gatto${tab}cane
json${tab}textfind-search${tab}--json${tab}--any${tab}gatto${tab}rossa
record${tab}textfind-search${tab}--record${tab}2
record-json${tab}textfind-search${tab}--json${tab}--record${tab}5
record-missing${tab}textfind-search${tab}--record${tab}99
no-stores${tab}textfind-search${tab}--folder${tab}no-stores${tab}gatto
EOF
fi

# Wine's odbc32 hands ODBC to the Linux driver manager; it reads this file.
driver=$(find "/usr/lib/$multiarch" -name libsqlite3odbc.so 2>/dev/null | head -1)
[ -n "$driver" ] || { echo "the SQLite3 ODBC driver is not installed" >&2; exit 1; }
printf '[SQLite3]\nDescription=SQLite3\nDriver=%s\n' "$driver" >"$work/odbc/odbcinst.ini"
: >"$work/odbc/odbc.ini"
export ODBCSYSINI="$work/odbc"
export ODBCINI="$work/odbc/odbc.ini"

printer="Hostlibs Test Printer"
port="$work/printer-port.prn"
cp "$here/test.ppd" "$work/test.ppd"
"$wine" "$tests/printer-setup.exe" "$printer" "$port" "Z:$(echo "$work/test.ppd" | tr / '\\')" \
  >"$work/printer-setup.log" 2>&1 || { cat "$work/printer-setup.log"; exit 1; }

echo "wine: running the test host"
cd "$run"
# A modal window that nobody answers would block for good: give up instead.
timeout 300 "$wine" testhost.exe "$printer" "$port" "DRIVER=SQLite3;Database=$work/test.db"

#!/bin/sh
# usage: static-checks.sh DLL-BUILD-DIR [DIST-DIR]
# Checks the 32-bit DLLs without running them: the export table is exactly
# the interface with undecorated names, every export removes its own
# arguments (ret 4*n), only Windows system DLLs are imported, and the host
# record layouts hold.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$1
bin=$build/bin
objdump=i686-w64-mingw32-objdump
passes=0
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
pass() { echo "ok   $*"; passes=$((passes + 1)); }

# The interface, "name:argument count", from the list the build made of
# cmake/exports.cmake.
list=$build/exports/exports.txt
[ -f "$list" ] || { echo "FAIL $list: not made by the build"; exit 1; }
textfind_exports=$(awk '$1 == "textfind" { print $2 ":" $3 }' "$list")
hostutil_exports=$(awk '$1 == "hostutil" { print $2 ":" $3 }' "$list")

# Windows system DLLs a DLL may import (compared case-insensitively).
system_dlls="kernel32.dll user32.dll gdi32.dll winspool.drv comdlg32.dll odbc32.dll
msvcrt.dll advapi32.dll ws2_32.dll shell32.dll ole32.dll"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

check_dll() {
  name=$1 exports=$2
  dll=$bin/$name.dll
  def=$build/$name/$name.def
  if [ ! -f "$dll" ]; then fail "$name.dll: not built"; return; fi
  $objdump -p "$dll" >"$tmp/$name.p"
  $objdump -d --no-show-raw-insn "$dll" >"$tmp/$name.d"

  # Export table: the names of the interface, nothing else.
  printf '%s\n' $exports | cut -d: -f1 | sort >"$tmp/want"
  sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' "$tmp/$name.p" |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort >"$tmp/have"
  if cmp -s "$tmp/want" "$tmp/have"; then
    pass "$name.dll exports exactly: $(tr '\n' ' ' <"$tmp/have")"
  else
    fail "$name.dll export table differs from the interface:"
    diff "$tmp/want" "$tmp/have" | sed 's/^/       /'
  fi
  # The .def names the same functions with the same argument bytes.
  printf '%s\n' $exports | awk -F: '{ print $1 "@" 4 * $2 }' | sort >"$tmp/want"
  grep -E '^[[:space:]]+[A-Za-z_][A-Za-z0-9_]*@[0-9]+' "$def" | awk '{ print $1 }' | sort >"$tmp/have"
  if cmp -s "$tmp/want" "$tmp/have"; then
    pass "$name.def matches the interface"
  else
    fail "$name.def differs from the interface:"
    diff "$tmp/want" "$tmp/have" | sed 's/^/       /'
  fi

  # Each export's code removes its arguments: every ret in the function
  # (its hot and cold parts) is "ret $4n".
  base=$(awk '/^ImageBase/ { print $2 }' "$tmp/$name.p")
  for entry in $exports; do
    export_name=${entry%%:*}
    n=${entry##*:}
    index=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' "$tmp/$name.p" |
      sed -n "s/^[[:space:]]*\[ *\([0-9]*\)\] $export_name\$/\1/p")
    if [ -z "$index" ]; then fail "$name.dll: $export_name not exported"; continue; fi
    rva=$(sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' "$tmp/$name.p" |
      sed -n "s/^[[:space:]]*\[ *$index\] +base\[ *[0-9]*\] \([0-9a-f]*\) Export RVA.*/\1/p")
    address=$(printf '%08x' $((0x$base + 0x$rva)))
    symbol=$(sed -n "s/^$address <\(.*\)>:\$/\1/p" "$tmp/$name.d")
    if [ -z "$symbol" ]; then fail "$name.dll: no code at $export_name's address $address"; continue; fi
    awk -v s="<$symbol>:" -v c="<$symbol.cold>:" '
      $2 == s || $2 == c { on = 1; next }
      /^$/ { on = 0 }
      on && $2 == "ret" { print $3 }
      on && $2 == "ret" && NF == 2 { print "(none)" }' "$tmp/$name.d" | sort -u >"$tmp/rets"
    want=$(printf '$0x%x' $((4 * n)))
    if [ "$(cat "$tmp/rets")" = "$want" ]; then
      pass "$name.dll $export_name ($symbol) returns with ret $want"
    else
      fail "$name.dll $export_name ($symbol): returns with '$(tr '\n' ' ' <"$tmp/rets")', expected ret $want"
    fi
  done

  # Imports: system DLLs only, so the DLL loads on a bare Windows.
  bad=""
  for imported in $(sed -n 's/^[[:space:]]*DLL Name: //p' "$tmp/$name.p"); do
    lower=$(printf '%s' "$imported" | tr 'A-Z' 'a-z')
    case " $(echo $system_dlls) " in
      *" $lower "*) ;;
      *) bad="$bad $imported" ;;
    esac
  done
  if [ -z "$bad" ]; then
    pass "$name.dll imports only system DLLs: $(sed -n 's/^[[:space:]]*DLL Name: //p' "$tmp/$name.p" | tr '\n' ' ')"
  else
    fail "$name.dll imports non-system DLLs:$bad"
  fi
}

check_dll textfind "$textfind_exports"
check_dll hostutil "$hostutil_exports"

if i686-w64-mingw32-g++ -std=c++20 -fsyntax-only -Wall -Wextra -Werror \
     -I"$root/include" "$build/exports/prototype_check.cpp" 2>"$tmp/prototypes.log"; then
  pass "the headers declare every export as cmake/exports.cmake lists it"
else
  fail "headers and cmake/exports.cmake differ:"; sed 's/^/       /' "$tmp/prototypes.log"
fi

# A host built with the headers links through the shipped import libraries
# and imports the plain names.
if [ -n "${2:-}" ]; then
  dist=$2
  if i686-w64-mingw32-gcc -Wall -Wextra -Werror -I"$dist/include" -I"$build/exports" "$here/link_check.c" \
       "$dist/textfind.dll.a" "$dist/hostutil.dll.a" -o "$tmp/link_check.exe" 2>"$tmp/link.log"; then
    $objdump -p "$tmp/link_check.exe" |
      awk '/DLL Name:/ { dll = $3 } /^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[A-Za-z]/ {
             if (dll == "textfind.dll" || dll == "hostutil.dll") print $3 }' | sort >"$tmp/have"
    printf '%s\n' $textfind_exports $hostutil_exports | cut -d: -f1 | sort >"$tmp/want"
    if cmp -s "$tmp/want" "$tmp/have"; then
      pass "a host linked with the import libraries imports the plain names"
    else
      fail "a host linked with the import libraries imports:"
      diff "$tmp/want" "$tmp/have" | sed 's/^/       /'
    fi
  else
    fail "a host cannot link with the import libraries:"; sed 's/^/       /' "$tmp/link.log"
  fi
fi

# The store tools run from the dist folder: system DLLs and textfind.dll only.
if [ -n "${2:-}" ]; then
  for tool in textfind-build textfind-check textfind-search; do
    if [ ! -f "$dist/$tool.exe" ]; then fail "$tool.exe: not in $dist"; continue; fi
    bad=""
    imports=$($objdump -p "$dist/$tool.exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
    for imported in $imports; do
      lower=$(printf '%s' "$imported" | tr 'A-Z' 'a-z')
      case " $(echo $system_dlls) textfind.dll " in
        *" $lower "*) ;;
        *) bad="$bad $imported" ;;
      esac
    done
    if [ -z "$bad" ]; then
      pass "$tool.exe imports only system DLLs and textfind.dll: $(echo $imports)"
    else
      fail "$tool.exe imports other DLLs:$bad"
    fi
  done
fi

echo "static checks: $passes passed, $failures failed"
[ "$failures" -eq 0 ]

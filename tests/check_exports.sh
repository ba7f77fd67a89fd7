#!/bin/sh
# usage: check_exports.sh LIBRARY "NAME;NAME;..."
# Fails unless the library's defined dynamic symbols are exactly the names.
lib=$1
expected=$(printf '%s\n' "$2" | tr ';' '\n' | sort)
actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
if [ "$expected" != "$actual" ]; then
  echo "exported symbols of $lib differ from the interface:"
  printf '%s\n' "$expected" > /tmp/exports.expected.$$
  printf '%s\n' "$actual" | diff -u /tmp/exports.expected.$$ - 
  rm -f /tmp/exports.expected.$$
  exit 1
fi
echo "$lib exports exactly: $(echo $expected)"

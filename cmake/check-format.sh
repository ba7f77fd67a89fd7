#!/bin/sh
# usage: check-format.sh [--fix]
# Checks every C and C++ file of the tree against .clang-format; --fix
# formats them in place instead.
set -eu
cd "$(dirname "$0")/.."
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  files=$(git ls-files '*.c' '*.cpp' '*.h')
else
  files=$(find . -path ./build -prune -o -path './build-*' -prune -o -path ./dist -prune -o \
    \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||')
fi
if [ "${1:-}" = --fix ]; then
  # shellcheck disable=SC2086
  clang-format -i $files
  exit 0
fi
bad=0
for f in $files; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    echo "not formatted: $f (fix: make format, or clang-format -i $f)"
    bad=1
  fi
done
exit $bad

#!/bin/sh
# No two tracked paths (files or the folders above them) are equal when case
# is ignored: a checkout on Windows or macOS would hold only one of them. And
# the README names no path the tree lacks.
set -eu
cd "$(dirname "$0")/.."
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "skipped: paths equal ignoring case: not a git checkout"
  exit 0
fi
clashes=$(git ls-files | awk -F/ '{ path = ""; for (i = 1; i <= NF; i++) {
            path = path (i > 1 ? "/" : "") $i; print path } }' |
          sort -u | awk '{ key = tolower($0); if (key in seen) print seen[key] " and " $0;
                          else seen[key] = $0 }')
if [ -n "$clashes" ]; then
  echo "FAIL tracked paths equal ignoring case:"
  echo "$clashes" | sed 's/^/       /'
  exit 1
fi
echo "ok   no two tracked paths are equal ignoring case"

# Every path of the tree that the README names between backticks is there.
tracked=$(git ls-files)
missing=$(grep -o '`[A-Za-z0-9_./-]*`' README.md | tr -d '`' |
  grep -E '^(\.ci|bench|cmake|fuzz|hostutil|include|tests|textfind|tools)/' | sort -u |
  while read -r path; do
    path=${path%/}
    printf '%s\n' "$tracked" | grep -qxF "$path" ||
      printf '%s\n' "$tracked" | grep -q "^$path/" || echo "$path"
  done)
if [ -n "$missing" ]; then
  echo "FAIL the README names paths the tree does not hold:"
  echo "$missing" | sed 's/^/       /'
  exit 1
fi
echo "ok   every path the README names is in the tree"

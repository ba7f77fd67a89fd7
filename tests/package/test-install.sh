#!/bin/sh
# usage: test-install.sh BUILD-DIR
# cmake --install into a staging prefix, then the checks of test-prefix.sh.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/hostlibs-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "== cmake --install into a staging prefix"
cmake --install "$1" --prefix "$work/stage" >"$work/install.log" || { cat "$work/install.log"; exit 1; }
(cd "$work/stage" && find . -type f -o -type l | sort | sed 's|^\./|  |')
"$here/test-prefix.sh" "$work/stage" "$1"

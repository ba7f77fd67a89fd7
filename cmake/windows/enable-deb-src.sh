#!/bin/sh
# Enables source packages for the Debian archive this machine already uses,
# for the same suites, then refreshes the package lists (see apt-update.sh).
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
out=/etc/apt/sources.list.d/hostlibs-deb-src.sources
[ -f "$out" ] && { "$here/apt-update.sh"; exit 0; }
tmp=$(mktemp)
for f in /etc/apt/sources.list.d/debian.sources; do
  [ -f "$f" ] || continue
  # deb822 stanzas: keep those of Debian's archive, switch them to deb-src.
  awk 'BEGIN { RS=""; ORS="\n\n" }
       /URIs:[^\n]*debian/ && /Types:[^\n]*deb/ {
         sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >>"$tmp"
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  grep -E '^deb [^#]*debian' "$f" | grep -v 'deb-src' |
    sed 's/^deb /deb-src /' >>"$tmp.list" || true
done
if [ -s "$tmp" ]; then
  $SUDO cp "$tmp" "$out"
elif [ -s "$tmp.list" ]; then
  out=/etc/apt/sources.list.d/hostlibs-deb-src.list
  $SUDO cp "$tmp.list" "$out"
else
  echo "enable-deb-src: no Debian archive found in the apt sources" >&2
  rm -f "$tmp" "$tmp.list"; exit 1
fi
rm -f "$tmp" "$tmp.list"
"$here/apt-update.sh"

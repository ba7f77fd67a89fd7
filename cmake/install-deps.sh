#!/bin/sh
# usage: install-deps.sh [--optional REASON-FILE] LIST...
# Installs the Debian packages named in the LIST files that are missing.
# Idempotent, and silent when everything is already there. A package named
# with an architecture (wine32:i386) first adds that architecture to dpkg.
#
# A failed install stops with apt's message and its status; with
# --optional it writes apt's first error line to REASON-FILE instead and
# succeeds, for package sets whose tests are skipped without them (the file
# is removed once they are installed).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
reason=""
if [ "${1:-}" = --optional ]; then
  reason=$2
  shift 2
fi
missing=""
architectures=""
for list in "$@"; do
  for pkg in $(grep -v '^#' "$list"); do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'ok installed'; then
      missing="$missing $pkg"
      case $pkg in
        *:*) architectures="$architectures ${pkg##*:}" ;;
      esac
    fi
  done
done
if [ -z "$missing" ]; then
  [ -z "$reason" ] || rm -f "$reason"
  exit 0
fi
echo "installing:$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
for arch in $(printf '%s\n' $architectures | sort -u); do
  [ "$arch" = "$(dpkg --print-architecture)" ] && continue
  dpkg --print-foreign-architectures | grep -qx "$arch" || $SUDO dpkg --add-architecture "$arch"
done
"$here/apt-update.sh"
log=$(mktemp)
# Services that packages would start are started by the tests themselves.
status=0
$SUDO apt-get install -y -qq --no-install-recommends $missing >"$log" 2>&1 || status=$?
if [ "$status" -eq 0 ]; then
  [ -z "$reason" ] || rm -f "$reason"
elif [ -n "$reason" ]; then
  grep -m1 '^E:' "$log" >"$reason" || tail -n1 "$log" >"$reason"
  status=0
else
  grep -v '^debconf:' "$log" >&2 || true
fi
rm -f "$log"
exit "$status"

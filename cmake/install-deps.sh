#!/bin/sh
# Installs the Debian packages listed in the given files that are missing.
# Idempotent, and silent when everything is already there. A package named
# with an architecture (wine32:i386) first adds that architecture to dpkg.
set -eu
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
[ -z "$missing" ] && exit 0
echo "installing:$missing"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
for arch in $(printf '%s\n' $architectures | sort -u); do
  [ "$arch" = "$(dpkg --print-architecture)" ] && continue
  dpkg --print-foreign-architectures | grep -qx "$arch" || $SUDO dpkg --add-architecture "$arch"
done
$SUDO apt-get update -qq
# Services that packages would start are started by the tests themselves.
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null

#!/bin/sh
# Refreshes apt's package lists, three tries a few seconds apart. A list that
# cannot be downloaded (a mirror in the middle of a sync) does not end the
# work: the lists there are may still hold what is needed, and the install
# that follows says so if they do not. Prints one line when no try succeeded.
set -u
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
pause=${HOSTLIBS_APT_RETRY_SECONDS:-3}
log=$(mktemp)
try=1
while :; do
  if $SUDO apt-get update -qq >"$log" 2>&1; then
    rm -f "$log"
    exit 0
  fi
  [ "$try" -ge 3 ] && break
  try=$((try + 1))
  sleep "$pause"
done
echo "apt-get update failed 3 times, going on with the package lists there are:" \
  "$(grep -m1 '^E:' "$log" || tail -n1 "$log")"
rm -f "$log"
exit 0

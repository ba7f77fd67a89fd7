#!/bin/sh
# The install script against stand-ins for apt-get, dpkg, dpkg-query and
# sudo, early in PATH: what it installs, how often it asks for the package
# lists, what it says, and its status. Nothing on the machine changes.
set -u
here=$(cd "$(dirname "$0")" && pwd)
script=$here/../../cmake/install-deps.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/install-deps-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
pass() { echo "ok   install-deps: $1"; }
fail() { echo "FAIL install-deps: $1"; failures=$((failures + 1)); }

mkdir "$work/bin"
cat >"$work/bin/apt-get" <<'STANDIN'
#!/bin/sh
state=$FAKE_APT_STATE
echo "apt-get $1" >>"$state/calls"
case $1 in
  update)
    left=$(cat "$state/update-failures")
    if [ "$left" -gt 0 ]; then
      echo $((left - 1)) >"$state/update-failures"
      echo "E: Failed to fetch http://deb.example/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
      exit 100
    fi ;;
  install)
    shift
    for pkg; do
      case $pkg in -*) continue ;; esac
      if grep -qx "$pkg" "$state/refused"; then
        echo "Some packages could not be installed."
        echo "The following packages have unmet dependencies:"
        echo " $pkg : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
        echo "E: Unable to correct problems, you have held broken packages." >&2
        exit 100
      fi
    done
    for pkg; do case $pkg in -*) ;; *) echo "$pkg" >>"$state/installed" ;; esac; done ;;
esac
exit 0
STANDIN
cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/bin/sh
for last; do :; done
grep -qx "$last" "$FAKE_APT_STATE/installed" && { echo "install ok installed"; exit 0; }
exit 1
STANDIN
cat >"$work/bin/dpkg" <<'STANDIN'
#!/bin/sh
case $1 in
  --print-architecture) echo amd64 ;;
  --print-foreign-architectures) cat "$FAKE_APT_STATE/architectures" ;;
  --add-architecture) echo "$2" >>"$FAKE_APT_STATE/architectures" ;;
esac
STANDIN
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*
printf '# a list\nalpha\nbeta\n' >"$work/plain.txt"
printf 'wine32:i386\nlibodbc2:i386\n' >"$work/i386.txt"

# run NAME UPDATE-FAILURES INSTALLED REFUSED ARGS...: the script's status,
# output and errors in $status, $work/NAME.out and $work/NAME.err.
run() {
  name=$1 state=$work/$1
  mkdir "$state"
  echo "$2" >"$state/update-failures"
  printf '%s\n' $3 >"$state/installed"
  printf '%s\n' $4 >"$state/refused"
  : >"$state/architectures"
  : >"$state/calls"
  shift 4
  status=0
  FAKE_APT_STATE=$state HOSTLIBS_APT_RETRY_SECONDS=0 PATH="$work/bin:$PATH" \
    "$script" "$@" >"$work/$name.out" 2>"$work/$name.err" || status=$?
}
calls() { grep -c "^apt-get $2" "$work/$1/calls"; }

run all-there 0 "alpha beta" "" "$work/plain.txt"
if [ $status -eq 0 ] && [ ! -s "$work/all-there.out" ] && [ ! -s "$work/all-there/calls" ]; then
  pass "nothing missing: silent, apt never asked"
else fail "nothing missing: status $status, $(cat "$work/all-there.out")"; fi

run update-once 1 "" "" "$work/plain.txt"
if [ $status -eq 0 ] && [ "$(calls update-once update)" -eq 2 ] &&
   grep -qx 'beta' "$work/update-once/installed" &&
   [ "$(cat "$work/update-once.out")" = "installing: alpha beta" ]; then
  pass "a failed update is tried again, then the packages are installed"
else fail "update failing once: status $status, $(calls update-once update) updates, $(cat "$work/update-once.out")"; fi

run update-never 9 "" "" "$work/plain.txt"
if [ $status -eq 0 ] && [ "$(calls update-never update)" -eq 3 ] &&
   grep -qx 'alpha' "$work/update-never/installed" &&
   grep -q '^apt-get update failed 3 times, going on with the package lists there are: E: Failed to fetch' "$work/update-never.out"; then
  pass "lists that never download do not stop an install that can go on"
else fail "update failing for good: status $status, $(calls update-never update) updates, $(cat "$work/update-never.out")"; fi

run optional 1 "" "wine32:i386" --optional "$work/reason.txt" "$work/i386.txt"
if [ $status -eq 0 ] && [ "$(cat "$work/reason.txt")" = "E: Unable to correct problems, you have held broken packages." ] &&
   grep -qx i386 "$work/optional/architectures" && [ ! -s "$work/optional.err" ]; then
  pass "an optional set that cannot be installed gives apt's first error line and succeeds"
else fail "optional set refused: status $status, reason '$(cat "$work/reason.txt" 2>/dev/null)', $(cat "$work/optional.err")"; fi

run optional-later 0 "" "" --optional "$work/reason.txt" "$work/i386.txt"
if [ $status -eq 0 ] && [ ! -e "$work/reason.txt" ] && grep -qx 'libodbc2:i386' "$work/optional-later/installed"; then
  pass "an optional set that installs removes the earlier reason"
else fail "optional set installed: status $status"; fi

printf 'alpha\nwine32:i386\n' >"$work/mixed.txt"
run required 0 "" "wine32:i386" "$work/mixed.txt"
if [ $status -eq 100 ] && grep -q '^E: Unable to correct problems' "$work/required.err" &&
   grep -q 'unmet dependencies' "$work/required.err"; then
  pass "a required package that cannot be installed stops with apt's message and status"
else fail "required set refused: status $status, $(cat "$work/required.err")"; fi

[ $failures -eq 0 ]

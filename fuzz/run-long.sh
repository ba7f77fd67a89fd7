#!/bin/sh
# Runs the fuzz harnesses of a build for longer than the ctest entries do,
# each with a fresh seed (printed), one after another.
#   fuzz/run-long.sh <build dir> [seconds per target] [target...]
# Targets default to all; failing inputs land in <build dir>/fuzz/artifacts/,
# inputs libFuzzer finds in <build dir>/fuzz/found/<target>/. A failing input
# replays with: <build dir>/bin/fuzz_<target> <file>
set -eu
build=${1:?usage: $0 <build dir> [seconds] [target...]}
seconds=${2:-300}
[ $# -ge 2 ] && shift 2 || shift $#
here=$(cd "$(dirname "$0")" && pwd)
targets=${*:-$(cd "$build/bin" && ls fuzz_* | sed 's/^fuzz_//')}
artifacts="$build/fuzz/artifacts/"
mkdir -p "$artifacts"
status=0
for target in $targets; do
    corpus=$target
    case $target in replchar_*) corpus=replchar ;; esac
    found="$build/fuzz/found/$target"
    mkdir -p "$found"
    echo "== $target, $seconds s" >&2
    "$build/bin/fuzz_$target" -runs=-1 -max_total_time="$seconds" \
        -artifact_prefix="$artifacts" "$found" "$here/corpus/$corpus" || status=1
done
exit $status

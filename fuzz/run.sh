#!/bin/bash
# Runs the fuzz harnesses of a libFuzzer build, one after another, each on
# its corpus for the seconds given, and prints libFuzzer's own lines, then a
# table: executions, coverage at the start and at the end, corpus files.
#   fuzz/run.sh BUILD SECONDS [HARNESS...]
#   fuzz/run.sh --merge BUILD [HARNESS...]   the inputs found into the corpora
# Inputs libFuzzer finds go to BUILD/fuzz/found/HARNESS/, failing inputs to
# BUILD/fuzz/artifacts/ (replay one: BUILD/bin/fuzz_HARNESS FILE); a harness
# stops at its first failure, which is replayed into FILE.log. Exit 1 when a
# harness failed. FUZZ_RUNS caps the executions of each (default: no cap);
# FUZZ_FLAGS adds libFuzzer flags.
set -u
merge=0
if [ "${1:-}" = --merge ]; then merge=1; shift; fi
build=${1:?usage: $0 BUILD SECONDS [HARNESS...] | $0 --merge BUILD [HARNESS...]}
shift
# Absolute: the store harnesses work in a folder of their own.
build=$(cd "$build" && pwd)
seconds=0
if [ $merge = 0 ]; then seconds=${1:?seconds per harness}; shift; fi
here=$(cd "$(dirname "$0")" && pwd)
list="$build/fuzz/harnesses.txt"
[ -r "$list" ] || { echo "$list: no harness list (configure with -DFUZZ_LIBFUZZER=ON)" >&2; exit 2; }
artifacts="$build/fuzz/artifacts"
mkdir -p "$artifacts"

wanted() {
  [ $# -eq 1 ] && return 0
  local name=$1; shift
  for w in "$@"; do [ "$w" = "$name" ] && return 0; done
  return 1
}

# libFuzzer's "cov: N" of the first and the last status line.
coverage() { grep -o 'cov: [0-9]*' "$1" | sed -n "${2}p" | cut -d' ' -f2; }

# Every allocation filled, not only its first 4 KB: what damage makes
# Berkeley DB read from memory it never wrote is then the same on replay.
export ASAN_OPTIONS="max_malloc_fill_size=1073741824:${ASAN_OPTIONS:-}"

status=0
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT
while read -r name corpus max_len timeout dict; do
  wanted "$name" "$@" || continue
  exe="$build/bin/fuzz_$name"
  found="$build/fuzz/found/$name"
  mkdir -p "$found"
  if [ $merge = 1 ]; then
    # The smallest set of inputs that keeps the coverage of both; inputs
    # with names of their own (seeds from real data, earlier findings) stay.
    merged=$(mktemp -d)
    log="$build/fuzz/$name.merge.log"
    if "$exe" -merge=1 -max_len="$max_len" -timeout="$timeout" "$merged" "$here/corpus/$corpus" \
      "$found" >"$log" 2>&1; then
      grep -E '^MERGE-OUTER: [0-9]+ new files' "$log" | sed "s/^/$name: /"
      for named in $(find "$here/corpus/$corpus" -type f ! -regex '.*/[0-9a-f]\{40\}'); do
        rm -f "$merged/$(sha1sum "$named" | cut -d' ' -f1)"
        cp "$named" "$merged/"
      done
      chmod 755 "$merged"
      rm -rf "${here:?}/corpus/$corpus" && mv "$merged" "$here/corpus/$corpus"
      rm -rf "${found:?}"/*
    else
      echo "$name: the merge failed (see $log); the corpus is kept" >&2
      rm -rf "$merged"
      status=1
    fi
    continue
  fi
  flags=(-max_total_time="$seconds" -runs="${FUZZ_RUNS:--1}" -max_len="$max_len"
         -timeout="$timeout" -rss_limit_mb=2048 -print_final_stats=1
         -artifact_prefix="$artifacts/$name-")
  [ "$dict" != - ] && flags+=(-dict="$here/dictionaries/$dict.dict")
  log="$build/fuzz/$name.log"
  started="$build/fuzz/$name.started"
  touch "$started"
  echo "== $name: $seconds s on fuzz/corpus/$corpus" >&2
  # shellcheck disable=SC2086
  "$exe" "${flags[@]}" ${FUZZ_FLAGS:-} "$found" "$here/corpus/$corpus" 2>&1 | tee "$log" >&2
  outcome=${PIPESTATUS[0]}
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  [ -n "$runs" ] || runs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
  files=$(find "$here/corpus/$corpus" -type f | wc -l)
  bytes=$(find "$here/corpus/$corpus" -type f -exec cat {} + | wc -c)
  new=$(find "$found" -type f | wc -l)
  result=ok
  for failure in $(find "$artifacts" -newer "$started" -type f \( -name "$name-crash-*" \
                    -o -name "$name-leak-*" -o -name "$name-timeout-*" -o -name "$name-oom-*" \) ! -name '*.log'); do
    "$exe" -timeout="$timeout" "$failure" >"$failure.log" 2>&1
    result="FAILED: $failure"
  done
  if [ "$outcome" != 0 ] && [ "$result" = ok ]; then result="FAILED: see $log"; fi
  [ "$result" != ok ] && status=1
  printf '%-18s %12s %8s %8s %7s %9s %6s  %s\n' "$name" "${runs:-?}" \
    "$(coverage "$log" 1)" "$(coverage "$log" '$')" "$files" "$bytes" "$new" "$result" >>"$summary"
done <"$list"

if [ $merge = 0 ]; then
  printf '%-18s %12s %8s %8s %7s %9s %6s\n' harness executions cov-start cov-end corpus bytes found
  cat "$summary"
fi
exit $status

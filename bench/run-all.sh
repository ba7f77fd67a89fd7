#!/bin/sh
# usage: run-all.sh BUILD_DIR
# Runs every benchmark program in turn; each prints its own figures.
set -eu
build=$(cd "$1" && pwd)
"$build/bin/textfind-bench"
"$build/bin/bench_replchar_vs_cp" "$build"
"$build/bin/bench_sortlist2_vs_sort" "$build"
"$build/bin/bench_sortlist_vs_sort" "$build"
"$build/bin/odbc_bench"

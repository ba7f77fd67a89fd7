#!/bin/sh
# usage: run-all.sh BUILD_DIR
# Runs every benchmark program in turn; each prints its own figures.
set -eu
build=$(cd "$1" && pwd)
"$build/bin/query_bench"
"$build/bin/store_bench"
"$build/bin/fts5_bench"
"$build/bin/build_bench"
"$build/bin/replchar_bench" "$build"
"$build/bin/sortlist2_bench" "$build"
"$build/bin/sortlist_bench" "$build"
"$build/bin/binary_column_bench"

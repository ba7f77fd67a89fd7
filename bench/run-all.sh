#!/bin/sh
# usage: run-all.sh BUILD_DIR
# Runs every benchmark program in turn; each prints its own figures.
set -eu
build=$(cd "$1" && pwd)
"$build/bin/textfind-bench"

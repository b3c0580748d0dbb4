#!/bin/sh
# A short, repeatable run of one fuzz target: a fixed seed, a bounded number
# of runs, and new inputs kept in a scratch directory outside the sources.
#   run_smoke.sh FUZZER CORPUS RUNS
set -eu
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$1" -seed=1 -runs="$3" -max_len=4200 -timeout=10 "$scratch" "$2"

#!/bin/sh
# One fuzz target's test: every input of the corpora that exist, then NEW new inputs, into a
# scratch corpus emptied first (a failing input lands there too).
#   test_target.sh SCRATCH TARGET NEW MAX_LEN DICT CORPUS...
set -eu
scratch=$1 target=$2 new=$3 max_len=$4 dict=$5
shift 5
rm -rf "$scratch"
mkdir -p "$scratch"
# The corpora that exist go behind the arguments, which are then shifted away.
given=$# inputs=0
for corpus in "$@"; do
  if [ -d "$corpus" ]; then
    set -- "$@" "$corpus"
    inputs=$((inputs + $(find "$corpus" -type f | wc -l)))
  fi
done
shift "$given"
# libFuzzer counts the corpus inputs among its runs.
exec "$target" -runs=$((inputs + new)) -max_len="$max_len" -dict="$dict" \
  -artifact_prefix="$scratch/" -print_final_stats=1 "$scratch" "$@"

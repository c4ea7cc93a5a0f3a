#!/bin/sh
# One fuzz target's test: every input of the corpora that exist, then NEW new inputs, into a
# scratch corpus emptied first. An input that fails is also copied into FAILURES
# (fuzz/regressions/<target>), where it stays as a regression input.
#   test_target.sh SCRATCH TARGET NEW MAX_LEN DICT FAILURES CORPUS...
set -u
scratch=$1 target=$2 new=$3 max_len=$4 dict=$5 failures=$6
shift 6
rm -rf "$scratch"
mkdir -p "$scratch/corpus" "$scratch/artifacts"
# The corpora that exist go behind the arguments, which are then shifted away.
given=$# inputs=0
for corpus in "$@" "$failures"; do
  if [ -d "$corpus" ]; then
    set -- "$@" "$corpus"
    inputs=$((inputs + $(find "$corpus" -type f | wc -l)))
  fi
done
shift "$given"
# libFuzzer counts the corpus inputs among its runs.
# The rare-feature threshold as in run_target.sh.
"$target" -runs=$((inputs + new)) -max_len="$max_len" -dict="$dict" \
  -entropic_feature_frequency_threshold=16 \
  -artifact_prefix="$scratch/artifacts/" -print_final_stats=1 "$scratch/corpus" "$@"
status=$?
for artifact in "$scratch"/artifacts/*; do
  [ -f "$artifact" ] || continue
  case "${artifact##*/}" in
    crash-*|leak-*|oom-*|timeout-*)
      mkdir -p "$failures"
      cp "$artifact" "$failures/"
      echo "test_target: the failing input is kept as a regression input:" \
           "$failures/${artifact##*/}" >&2 ;;
  esac
done
exit "$status"

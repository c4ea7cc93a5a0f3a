#!/bin/sh
# Runs one fuzz target with its settings and corpora (build/fuzz/fuzz/run-<target>.sh calls it):
#   run_target.sh TARGET NAME MAX_LEN DICT ARTIFACTS WORK SEEDS MINIMISED FAILURES [OPTION...]
# libFuzzer options are passed on (a later -max_len wins). New inputs go to WORK. Every input
# that fails in this run (crash, leak, out of memory, time-out) is also copied into FAILURES,
# fuzz/regressions/<name>, where it stays as a regression input: commit it with the mend.
set -u
target=$1 name=$2 max_len=$3 dict=$4 artifacts=$5 work=$6 seeds=$7 minimised=$8 failures=$9
shift 9
mkdir -p "$artifacts" "$work"
started=$(mktemp)
trap 'rm -f "$started"' EXIT
# libFuzzer counts a feature as rare until it has been seen in this many inputs, and looks each
# feature of every input up in the list of rare ones, one by one. Its default of 255 keeps
# thousands of features rare for a target whose inputs each reach thousands (journal: half the
# run went into that lookup); seen 16 times, a feature has been worked on enough.
set -- -max_len="$max_len" -dict="$dict" -artifact_prefix="$artifacts/$name-" \
  -entropic_feature_frequency_threshold=16 "$@" "$work"
for corpus in "$seeds" "$minimised" "$failures"; do
  if [ -d "$corpus" ]; then set -- "$@" "$corpus"; fi
done
"$target" "$@"
status=$?
for artifact in $(find "$artifacts" -type f -newer "$started" \
                    \( -name "$name-crash-*" -o -name "$name-leak-*" -o -name "$name-oom-*" \
                       -o -name "$name-timeout-*" \)); do
  mkdir -p "$failures"
  kept="$failures/${artifact##*/$name-}"
  cp "$artifact" "$kept"
  echo "run_target: the failing input is kept as a regression input: $kept" >&2
done
exit "$status"

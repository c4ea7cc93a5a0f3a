#!/bin/sh
# A stored bundle replayed by this version: what its renderer received must be what the live
# session's did (NAME.expected.jsonl), compared by q9x diff, whose report is the failure. With
# STEP, the replay's state after that step (a session cut short) must differ from the live one,
# and the report must hold each TEXT: what the steps cut off did.
#   usage: replay_case_test.sh Q9X CASE WORK [STEP TEXT...]   (CASE: tests/bundles/NAME, no .zip)
set -eu
q9x=$1 case=$2 work=$3
shift 3
fail() { echo "stored bundle $case.zip: $*" >&2; exit 1; }
# The folder the case's session ran in (make-case.sh).
live=/tmp/q9-sample-session/Data

rm -rf "$work"
mkdir -p "$work"
"$q9x" replay "$case.zip" -o "$work/replay" >"$work/replay.txt" 2>&1 ||
  { cat "$work/replay.txt"; fail "the replay failed (exit status $?)"; }
map="$work/replay/folder\\=$live"
"$q9x" diff "$case.expected.jsonl" "$work/replay/journal.jsonl" --map-path "$map" >"$work/diff.txt" ||
  { cat "$work/diff.txt"; fail "the replay's scene differs from the live session's (above)"; }

if [ $# -gt 0 ]; then
  step=$1
  shift
  status=0
  "$q9x" diff "$case.expected.jsonl" "$work/replay@$step" --map-path "$map" >"$work/short.txt" || status=$?
  [ "$status" = 6 ] || { cat "$work/short.txt"; fail "cut after step $step: exit status $status, not 6"; }
  for text in "$@"; do
    grep -qF "$text" "$work/short.txt" || { cat "$work/short.txt"; fail "cut after step $step: no \"$text\""; }
  done
fi
echo "stored bundle $case.zip: replayed, and its scene is the live session's"

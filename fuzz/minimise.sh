#!/bin/sh
# A target's minimised corpus, refreshed and held to its cap:
#   minimise.sh TARGET MAX_LEN CAP OUT CORPUS...
# merges OUT and the corpora that exist with libFuzzer (the smallest inputs that cover every
# feature), drops the largest inputs until the rest hold at most CAP bytes, and puts the result
# in OUT.
#   minimise.sh --check CAP FOLDER
# fails when a folder below FOLDER holds more than CAP bytes of inputs.
set -eu

total_bytes() {
  find "$1" -type f -exec stat -c %s {} + | awk '{ total += $1 } END { print total + 0 }'
}

if [ "$1" = "--check" ]; then
  cap=$2 status=0
  for folder in "$3"/*/; do
    [ -d "$folder" ] || continue
    bytes=$(total_bytes "$folder")
    echo "$folder: $bytes bytes (cap $cap)"
    if [ "$bytes" -gt "$cap" ]; then status=1; fi
  done
  exit "$status"
fi

target=$1 max_len=$2 cap=$3 out=$4
shift 4
given=$#
for corpus in "$out" "$@"; do
  if [ -d "$corpus" ]; then set -- "$@" "$corpus"; fi
done
shift "$given"
merged=$(mktemp -d)
trap 'rm -rf "$merged"' EXIT
if ! "$target" -merge=1 -max_len="$max_len" "$merged" "$@" > "$merged.log" 2>&1; then
  cat "$merged.log" >&2
  rm -f "$merged.log"
  exit 1
fi
rm -f "$merged.log"
bytes=$(total_bytes "$merged") dropped=0
# ls -S: largest first. The merge names inputs by their SHA-1, so no name holds a space.
for name in $(ls -S "$merged"); do
  [ "$bytes" -gt "$cap" ] || break
  bytes=$((bytes - $(stat -c %s "$merged/$name")))
  rm "$merged/$name"
  dropped=$((dropped + 1))
done
mkdir -p "$out"
find "$out" -type f -delete
find "$merged" -type f -exec cp -t "$out/" {} +
echo "$out: $(find "$out" -type f | wc -l) inputs, $bytes bytes (cap $cap), $dropped dropped for the cap"

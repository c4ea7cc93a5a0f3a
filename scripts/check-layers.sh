#!/bin/sh
# Fails when a source of the core includes a header from a layer above its own, naming the file,
# the line and the include. The layers, bottom to top; each may include its own and those below.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
layers="base records link translate scene sync shell"

rank() {
  i=0
  for layer in $layers; do
    [ "$layer" = "$1" ] && { echo $i; return; }
    i=$((i + 1))
  done
  echo -1
}

status=0
for layer in $layers; do
  [ -d "$root/src/$layer" ] || continue
  own=$(rank "$layer")
  # Each line: file:line:#include "layer/..."
  found=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]+/' "$root/src/$layer" || true)
  [ -n "$found" ] || continue
  while IFS= read -r hit; do
    target=$(printf '%s\n' "$hit" | sed -E 's/^[^"]*"([a-z_]+)\/.*/\1/')
    used=$(rank "$target")
    [ "$used" -lt 0 ] && continue  # not a layer (e.g. the shell's resources)
    if [ "$used" -gt "$own" ]; then
      printf '%s: %s may not include from %s (a layer above it)\n' \
        "${hit#"$root"/}" "$layer" "$target" >&2
      status=1
    fi
  done <<HITS
$found
HITS
done
[ $status -eq 0 ] && echo "layers: every include points down or within its own layer"
exit $status

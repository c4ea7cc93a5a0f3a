#!/bin/sh
# Fails when a source includes a header it may not, naming the file, the line and the include.
#
# The core (src/): layers bottom to top; each may include its own and those below.
# The tools (tools/): each folder may include from the core's layers and the tool folders its
# entry below names; nothing includes the q9x dispatcher (q9x/q9x.h) but the q9x entry points,
# and no library includes a command (q9x/).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
layers="base records link translate scene sync shell"
core="base records link translate scene sync"

rank() {
  i=0
  for layer in $layers; do
    [ "$layer" = "$1" ] && { echo $i; return; }
    i=$((i + 1))
  done
  echo -1
}

# What each tool folder may include besides its own: core layers and tool folders.
allowed() {
  case "$1" in
    common) echo "base" ;;
    received) echo "base link common" ;;
    pack) echo "$core common" ;;
    inspection) echo "$core common" ;;
    runner) echo "$core common received" ;;
    picture) echo "base translate common received" ;;
    q9plugin) echo "base link common received" ;;
    harness) echo "base" ;;
    q9x) echo "$core common received pack inspection runner picture" ;;
    *) echo "" ;;
  esac
}

status=0
fail() {
  printf '%s\n' "$1" >&2
  status=1
}

# Each line of the output: file:line:#include "folder/..."
includes() {
  grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z0-9_]+/' "$1" || true
}
folder_of() {
  printf '%s\n' "$1" | sed -E 's/^[^"]*"([a-z0-9_]+)\/.*/\1/'
}

for layer in $layers; do
  [ -d "$root/src/$layer" ] || continue
  own=$(rank "$layer")
  found=$(includes "$root/src/$layer")
  [ -n "$found" ] || continue
  while IFS= read -r hit; do
    used=$(rank "$(folder_of "$hit")")
    [ "$used" -lt 0 ] && continue  # not a layer (e.g. the shell's resources)
    if [ "$used" -gt "$own" ]; then
      fail "${hit#"$root"/}: $layer may not include from $(folder_of "$hit") (a layer above it)"
    fi
  done <<HITS
$found
HITS
done

for dir in "$root"/tools/*/; do
  tool=$(basename "$dir")
  may="$(allowed "$tool") $tool"
  found=$(includes "$dir")
  [ -n "$found" ] || continue
  while IFS= read -r hit; do
    file=${hit%%:*}
    target=$(folder_of "$hit")
    case "$hit" in
      *'"q9x/q9x.h"'*)
        case "$file" in
          "$root"/tools/q9x/main_*.cpp | "$root"/tools/q9x/q9x.cpp) ;;
          *) fail "${hit#"$root"/}: only the q9x entry points include the dispatcher" ;;
        esac
        continue
        ;;
    esac
    case " $may " in
      *" $target "*) ;;
      *)
        if [ "$target" = q9x ]; then
          fail "${hit#"$root"/}: $tool is a library and may not include a command (q9x/)"
        else
          fail "${hit#"$root"/}: $tool may not include from $target (it may use: $(allowed "$tool"))"
        fi
        ;;
    esac
  done <<HITS
$found
HITS
done

[ $status -eq 0 ] && echo "layers: every include of src/ and tools/ points where its layer may look"
exit $status

#!/bin/sh
# Fails when a source includes a header it may not, naming the file, the line and the include.
# What each folder of src/ and tools/ may include is the layer graph of cmake/layers.txt, which
# the build links by too. Besides: nothing includes the q9x dispatcher (q9x/q9x.h) but the q9x
# entry points, and no library includes a command (q9x/).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
graph="$root/cmake/layers.txt"

# The graph's lines without comments: path, target, the folders it may use.
lines() { sed -e 's/#.*//' -e '/^[[:space:]]*$/d' "$graph"; }
# Every folder name of the graph (the last part of its path), as includes name them.
known=$(lines | awk '{ n = split($1, part, "/"); printf "%s ", part[n] }')
# The folders PATH may include besides its own ("headers:" dropped).
allowed() {
  lines | awk -v path="$1" '$1 == path { for (i = 3; i <= NF; i++) if ($i != "headers:") printf "%s ", $i }'
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

for path in $(lines | awk '{ print $1 }'); do
  dir="$root/$path"
  [ -d "$dir" ] || continue
  own=${path##*/}
  may="$(allowed "$path")$own"
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
    # A folder of its own (the shell's resources) is no layer.
    case " $known " in *" $target "*) ;; *) continue ;; esac
    case " $may " in
      *" $target "*) ;;
      *)
        if [ "$target" = q9x ]; then
          fail "${hit#"$root"/}: $own is a library and may not include a command (q9x/)"
        else
          fail "${hit#"$root"/}: $own may not include from $target (it may use: $(allowed "$path"))"
        fi
        ;;
    esac
  done <<HITS
$found
HITS
done

[ $status -eq 0 ] && echo "layers: every include of src/ and tools/ points where its layer may look"
exit $status

#!/bin/sh
# What a run did to the working tree, for `make test`:
#   scripts/tree-state.sh save FILE     notes every file git sees as new or changed, with a hash
#                                       of its content (a developer's own edits included)
#   scripts/tree-state.sh compare FILE  names each file that appeared or changed since, and fails
# Files that git ignores (build/) are not looked at.
set -eu
cd "$(dirname "$0")/.."

state() {
  git status --porcelain=v1 --untracked-files=all | while IFS= read -r line; do
    path=${line#???}
    case $path in *' -> '*) path=${path#* -> } ;; esac
    if [ -f "$path" ]; then
      echo "$(git hash-object -- "$path") $path"
    else
      echo "gone $path"
    fi
  done | sort
}

case ${1-} in
  save)
    mkdir -p "$(dirname "$2")"
    state >"$2"
    ;;
  compare)
    after=$(mktemp)
    trap 'rm -f "$after"' EXIT
    state >"$after"
    changed=$(comm -13 "$2" "$after" | sed 's/^[^ ]* //')
    if [ -n "$changed" ]; then
      echo "The run left these files in the working tree (new or changed):" >&2
      echo "$changed" | sed 's/^/  /' >&2
      exit 1
    fi
    ;;
  *)
    echo "usage: $0 save FILE | compare FILE" >&2
    exit 2
    ;;
esac

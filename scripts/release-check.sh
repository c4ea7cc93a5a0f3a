#!/usr/bin/env bash
# `make release-check`: is the package of this commit the same, byte for byte, however often and
# wherever it is built? The commit (HEAD) is cloned into two fresh folders of different depth,
# each builds its package with scripts/release.sh without a compiler cache (CCACHE_DISABLE=1),
# and the two zips are compared; when they differ, the first file that differs is named.
# The clones stay in build/release-check when they differ. JOBS sets each build's jobs (2).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "release-check: $*" >&2; exit 1; }

commit=$(git -C "$root" rev-parse HEAD) || fail "needs the git work tree of the project"
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
  echo "release-check: Note: checks commit ${commit:0:12}; changes not committed are not part of it"
fi
work="$root/build/release-check"
rm -rf "$work"
clones=("$work/one/Q9_Exchange" "$work/second/clone/of/Q9_Exchange")
export CCACHE_DISABLE=1
zips=()
for clone in "${clones[@]}"; do
  git clone --quiet --no-checkout "$root" "$clone"
  git -C "$clone" checkout --quiet --detach "$commit"
  echo "== Building the package in $clone (no compiler cache)"
  started=$SECONDS
  "$clone/scripts/release.sh" | sed 's/^/   /'
  # The compiler ran bare: no build rule names ccache.
  if grep -rqs --include=build.make ccache "$clone/build/release"; then
    fail "ccache was used in $clone/build/release despite CCACHE_DISABLE=1"
  fi
  echo "   built in $((SECONDS - started)) s"
  zips+=("$(ls "$clone"/build/release/Q9_Exchange-*-win64.zip)")
done

if cmp -s "${zips[0]}" "${zips[1]}"; then
  echo "release-check: the same bytes in both clones: $(basename "${zips[0]}")" \
       "$(sha256sum "${zips[0]}" | cut -d' ' -f1)"
  rm -rf "$work"
  exit 0
fi

# Which file differs first, in the package's own order; else the zip's own records differ.
entries=$(diff <(unzip -Z1 "${zips[0]}") <(unzip -Z1 "${zips[1]}") | grep -m 1 '^[<>]' || true)
[ -z "$entries" ] || fail "the packages hold different entries, first: $entries; the clones are in $work"
for i in 0 1; do
  mkdir -p "$work/unpacked-$i"
  unzip -q "${zips[$i]}" -d "$work/unpacked-$i"
done
first=""
while read -r entry; do
  a="$work/unpacked-0/$entry" b="$work/unpacked-1/$entry"
  if [ ! -f "$b" ] || ! cmp -s "$a" "$b"; then
    first=$entry
    break
  fi
done < <(unzip -Z1 "${zips[0]}" | grep -v '/$')
if [ -n "$first" ]; then
  fail "the packages differ; the first file that differs is $first ($(cmp "$work/unpacked-0/$first" \
    "$work/unpacked-1/$first" 2>&1 | head -n 1)); the clones are in $work"
fi
fail "the packages differ in the zip's records (entries, times or permissions), not in a file; the clones are in $work"

#!/usr/bin/env bash
# release-notices.sh BUILD: THIRD-PARTY-NOTICES.txt of the release package, on standard output.
#
# Which libraries went into the shipped programs is read from the build itself, not from a list
# kept by hand: the linker's map of each program names every object and archive member it took
# in; the compiler's dependency file of each of our own objects names every header it read
# (header-only libraries are code in the program too). Every file that is not ours must belong to
# an installed Debian package; each package's copyright file is reproduced as installed, and the
# licence files it refers to (/usr/share/common-licenses/...) are appended once, at the end.
# A file of no package, a missing copyright file or licence file stops the release.
set -euo pipefail
export LC_ALL=C
build=$1
# shellcheck source=/dev/null
. "$build/release.env"
fail() { echo "release-notices: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source_real=$(realpath "$source")
build_real=$(realpath "$build")
ours() { case "$1" in "$source_real"/* | "$build_real"/*) return 0 ;; esac; return 1; }

# taken PROGRAM MAP FOLDER: "PROGRAM<TAB>linked|header<TAB>PATH" for every file of others that
# went into PROGRAM, with paths made absolute and free of "..".
taken() {
  local program=$1 map=$2 folder=$3
  # Archive members ("archive(member)" at the start of a line of the map's first section) and
  # objects loaded whole ("LOAD file.o").
  awk -v folder="$folder" '
    function absolute(path) { return path ~ /^\// ? path : folder "/" path }
    /^Archive member included/ { members = 1; next }
    /^(Discarded input sections|Allocating common symbols|Memory Configuration)/ { members = 0 }
    members && /^[^ \t]/ && match($1, /\([^()]*\)$/) {
      print absolute(substr($1, 1, RSTART - 1)) "\t" substr($1, RSTART + 1, RLENGTH - 2)
    }
    /^LOAD / && $2 !~ /\.a$/ && $2 != "dll" { print absolute($2) "\t" }
  ' "$map" | sort -u >"$work/members"
  [ -s "$work/members" ] || fail "$map names no input file"

  : >"$work/depfiles"
  local archive member normal lib dir depfile
  while IFS=$'\t' read -r archive member; do
    normal=$(realpath -m -s "$archive")
    if ! ours "$(realpath -m "$normal")"; then
      printf '%s\tlinked\t%s\n' "$program" "$normal"
      continue
    fi
    # One of our archives: the member's compiler dependency file lies in the folder of its
    # target (CMakeFiles/NAME.dir for libNAME.a, beside the archive for a target's own objects).
    [ -n "$member" ] || continue
    case "$member" in *.res) continue ;; esac   # resources: our icons and version texts
    dir=$(dirname "$normal")
    lib=$(basename "$normal" .a)
    [ -d "$dir/CMakeFiles/${lib#lib}.dir" ] && dir="$dir/CMakeFiles/${lib#lib}.dir"
    depfile=$(find "$dir" -name "$member.d" | sort | head -n 1)
    # An object library's objects (the shell's, in both its programs) lie in the folder of
    # another target of the same source folder.
    [ -n "$depfile" ] || depfile=$(find "$(dirname "$dir")" -name "$member.d" | sort | head -n 1)
    [ -n "$depfile" ] || fail "no compiler dependency file for $member of $normal in $dir"
    echo "$depfile" >>"$work/depfiles"
  done <"$work/members" | sort -u

  # Every header of those objects, relative paths taken from the folder the compiler ran in.
  sort -u "$work/depfiles" | while read -r depfile; do
    awk -v folder="${depfile%%/CMakeFiles/*}" '
      { gsub(/\\ /, "\001") }
      {
        for (i = 1; i <= NF; ++i) {
          if ($i == "\\" || $i ~ /:$/) continue
          path = $i
          gsub("\001", " ", path)
          print (path ~ /^\// ? path : folder "/" path)
        }
      }' "$depfile"
  done | sort -u | tr '\n' '\0' | xargs -0 -r realpath -m -s | while read -r path; do
    # The build folder holds links to header-only libraries of the system (third_party/).
    ours "$path" && path=$(realpath -m "$path")
    ours "$path" || printf '%s\theader\t%s\n' "$program" "$path"
  done
}

{
  taken Q9_Exchange.exe "$program_map" "$program_linked_in"
  taken q9x.exe "$tool_map" "$tool_linked_in"
} | sort -u >"$work/files"

# The package of every file: as the linker and compiler named it, else with links resolved.
cut -f3 "$work/files" | sort -u >"$work/paths"
owner() {
  tr '\n' '\0' | xargs -0 -r dpkg-query -S 2>/dev/null |
    awk '!/^diversion / { i = index($0, ": "); print substr($0, i + 2) "\t" substr($0, 1, i - 1) }' || true
}
owner <"$work/paths" >"$work/owners"
cut -f1 "$work/owners" | sort -u | comm -23 "$work/paths" - >"$work/unowned"
while read -r path; do
  real=$(realpath -m "$path")
  found=$(printf '%s\n' "$real" | owner | cut -f2)
  [ -n "$found" ] || fail "$path went into the programs but belongs to no installed Debian package: its licence is unknown"
  printf '%s\t%s\n' "$path" "$found" >>"$work/owners"
done <"$work/unowned"

# "PACKAGE<TAB>PROGRAM<TAB>KIND<TAB>PATH", architecture qualifiers dropped.
awk -F'\t' 'NR == FNR { split($2, names, /, */); owners[$1] = $2; next }
  { n = split(owners[$3], names, /, */)
    for (i = 1; i <= n; ++i) { name = names[i]; sub(/:.*/, "", name); print name "\t" $1 "\t" $2 "\t" $3 } }' \
  "$work/owners" "$work/files" | sort -u >"$work/used"

# Packages with the same copyright file (e.g. the C and the C++ compiler of one source) share a
# section: "CHECKSUM<TAB>PACKAGE" in package order.
cut -f1 "$work/used" | sort -u | while read -r package; do
  copyright=/usr/share/doc/$package/copyright
  [ -r "$copyright" ] || fail "$package: no copyright file $copyright (are /usr/share/doc files excluded on this machine?)"
  printf '%s\t%s\n' "$(sha256sum <"$copyright" | cut -d' ' -f1)" "$package"
done >"$work/sections"

describe() {
  local package version sourcepkg summary
  for package in "$@"; do
    IFS=$'\t' read -r version sourcepkg summary < <(dpkg-query -W \
      -f='${Version}\t${source:Package}\t${binary:Summary}\n' "$package")
    echo "Debian package $package $version (source package $sourcepkg): $summary"
  done
}
# What of the packages went into which program: the files linked in, the folders of headers.
uses() {
  local pattern
  pattern=$(printf '%s\n' "$@" | sed 's/[.[\*^$+?(){}|]/\\&/g' | paste -sd'|')
  awk -F'\t' -v pattern="^($pattern)\$" '
    BEGIN {
      known["libpthread.a"] = "winpthreads"; known["libwinpthread.a"] = "winpthreads"
      known["libmingw32.a"] = "mingw-w64 runtime"; known["libmingwex.a"] = "mingw-w64 runtime"
    }
    $1 !~ pattern { next }
    $3 == "linked" {
      n = split($4, parts, "/"); file = parts[n]
      if (file in known) file = file " (" known[file] ")"
      linked[$2] = linked[$2] " " file; next
    }
    { dir = $4; sub(/\/[^\/]*$/, "", dir)
      if (!((dir, $2) in seen)) { seen[dir, $2] = 1; headers[$2] = headers[$2] "\n    " dir } }
    END {
      split("Q9_Exchange.exe q9x.exe", programs, " ")
      for (i = 1; i <= 2; ++i) if (programs[i] in linked) printf "  linked into %s:%s\n", programs[i], linked[programs[i]]
      for (i = 1; i <= 2; ++i) if (programs[i] in headers) printf "  headers compiled into %s, from:%s\n", programs[i], headers[programs[i]]
    }' "$work/used"
}

sections=$(cut -f1 "$work/sections" | awk '!seen[$0]++')
cat <<EOF
Third-party notices for Q9_Exchange $version
$(printf '%.0s=' {1..80})

Q9_Exchange.exe and q9x.exe are built with code from the libraries below: the runtime of the
compiler (libstdc++ and libgcc, under the GCC Runtime Library Exception) and of the system (the
mingw-w64 runtime and winpthreads), linked in so that the programs need no DLL but those of
Windows, and the header-only libraries that q9x uses. Each section names the Debian package
the code comes from, which of its files went into which program, and reproduces the package's
copyright file as installed. The licence files those copyright files refer to follow at the end.

Sections:
EOF
for section in $sections; do
  packages=$(awk -F'\t' -v s="$section" '$1 == s { print $2 }' "$work/sections")
  echo "  - $(echo $packages | sed 's/ /, /g')"
done
: >"$work/licences"
for section in $sections; do
  # shellcheck disable=SC2046
  set -- $(awk -F'\t' -v s="$section" '$1 == s { print $2 }' "$work/sections")
  copyright=/usr/share/doc/$1/copyright
  printf '\n\n%s\n' "$(printf '%.0s=' {1..80})"
  describe "$@"
  uses "$@"
  { grep -o '/usr/share/common-licenses/[A-Za-z0-9._+-]*[A-Za-z0-9+]' "$copyright" || true; } | sort -u |
    tee -a "$work/licences" | sed 's/^/  refers to /'
  printf '%s\n%s\n\n' "$(printf '%.0s-' {1..80})" "$copyright:"
  cat "$copyright"
done

# Each licence file once, under every name the copyright files used for it.
sort -u "$work/licences" | while read -r name; do
  [ -r "$name" ] || fail "a copyright file refers to $name, which this machine does not have"
  printf '%s\t%s\n' "$(realpath "$name")" "$name"
done | sort -k1,1 -k2,2 >"$work/licence-files"
printf '\n\n%s\nLicence files referred to above\n' "$(printf '%.0s=' {1..80})"
for real in $(cut -f1 "$work/licence-files" | uniq); do
  names=$(awk -F'\t' -v r="$real" '$1 == r { print $2 }' "$work/licence-files" | paste -sd' ')
  printf '\n%s\n%s (%s)\n\n' "$(printf '%.0s-' {1..80})" "$real" "referred to as: $names"
  cat "$real"
done

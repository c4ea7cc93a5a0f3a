#!/usr/bin/env bash
# `make release`: builds the two shipped programs in the release configuration (preset
# "release", build/release), checks them, and writes the package an integrator deploys,
#   build/release/Q9_Exchange-VERSION-win64.zip
# with one folder Q9_Exchange-VERSION/ inside. Prints the package's path and SHA-256.
#
# Two runs on one commit give the same bytes in any clone folder: the programs are built
# without the folders' names (cmake/release.cmake), and every entry of the zip gets the
# commit's time (SOURCE_DATE_EPOCH, when set, wins), fixed permissions and a fixed place.
# JOBS sets the build's parallel jobs (2).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
fail() { echo "release: $*" >&2; exit 1; }

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
    fail "no git commit to take the time of the package from: set SOURCE_DATE_EPOCH"
fi
case "$SOURCE_DATE_EPOCH" in
  '' | *[!0-9]*) fail "SOURCE_DATE_EPOCH is not a number of seconds: '$SOURCE_DATE_EPOCH'" ;;
esac
# A zip holds local times from 1980 on: UTC, so that the time zone of the machine plays no part.
[ "$SOURCE_DATE_EPOCH" -ge 315532800 ] || fail "SOURCE_DATE_EPOCH lies before 1980"
export SOURCE_DATE_EPOCH TZ=UTC

# Built in the caller's locale, as the Windows build is: the compiler cache keys on it, so the
# release build takes the objects the tested build already made (the same compile lines).
echo "== Building the release configuration (build/release)"
cmake --preset release >/dev/null
cmake --build --preset release -j"${JOBS:-2}" >/dev/null
export LC_ALL=C
# shellcheck source=/dev/null
. build/release/release.env

# The changelog's top entry names the version being shipped.
top=$(sed -n 's/^## \[\{0,1\}\([^] ]*\).*/\1/p' CHANGELOG.md | head -n 1)
[ "$top" = "$version" ] ||
  fail "CHANGELOG.md: the top entry is '${top:-none}', the project's version is $version; add an entry '## $version' at the top"

# Only DLLs that every Windows has: the runtime is linked in, and Q9Plugin.dll is loaded by
# name at run time, never imported.
for exe in "$program" "$tool"; do
  imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
  [ -n "$imports" ] || fail "$(basename "$exe"): objdump shows no imported DLL at all"
  for dll in $imports; do
    lower=$(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]')
    case "$lower" in
      advapi32.dll | bcrypt.dll | comctl32.dll | comdlg32.dll | gdi32.dll | kernel32.dll | \
        msvcrt.dll | ole32.dll | oleaut32.dll | shell32.dll | shlwapi.dll | user32.dll | \
        version.dll | ws2_32.dll) ;;
      *) fail "$(basename "$exe") imports $dll, which is not part of Windows: link it in or ship it" ;;
    esac
  done
  if "$objdump" -h "$exe" | grep -q '\.debug_'; then
    fail "$(basename "$exe") carries debug information"
  fi
done

name="Q9_Exchange-$version"
stage="$build/package"
folder="$stage/$name"
zip="$build/$name-win64.zip"
rm -rf "$stage" "$zip"
mkdir -p "$folder/docs"

cp "$program" "$folder/Q9_Exchange.exe"
cp "$tool" "$folder/q9x.exe"
sed "s/@VERSION@/$version/g" docs/package-readme.txt >"$folder/README.txt"
cp docs/troubleshooting.md "$folder/docs/troubleshooting.md"
cp CHANGELOG.md "$folder/CHANGELOG.md"
"$root/scripts/release-notices.sh" "$build" >"$folder/THIRD-PARTY-NOTICES.txt"

# The order of the package, also the order of the zip.
files="Q9_Exchange.exe q9x.exe README.txt CHANGELOG.md docs/troubleshooting.md THIRD-PARTY-NOTICES.txt"
(cd "$folder" && sha256sum $files >SHA256SUMS)

chmod 755 "$folder" "$folder/docs" "$folder/Q9_Exchange.exe" "$folder/q9x.exe"
entries="$name/"
for file in $files SHA256SUMS; do
  [ "$file" = docs/troubleshooting.md ] && entries="$entries $name/docs/"
  [ -x "$folder/$file" ] || chmod 644 "$folder/$file"
  entries="$entries $name/$file"
done
find "$folder" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
# -X: no owner and no extra time fields, only the entry's time (local, here UTC) and mode.
(cd "$stage" && zip -X -q -9 "$zip" $entries)

echo "package: $zip"
echo "SHA-256: $(sha256sum "$zip" | cut -d' ' -f1)"

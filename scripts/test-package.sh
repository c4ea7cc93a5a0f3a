#!/usr/bin/env bash
# The package as shipped (`make test-package`, part of `make test`): build/release's zip is
# unpacked into an empty folder, the reference link library is added there as Q9Plugin.dll, and
# from that folder, under Wine, Q9_Exchange.exe runs the demo's sequence between the stand-in
# host and renderer windows (start-up load, cameraSync, ModelSync, the host window closing) and
# q9x.exe doctor checks the machine. A file missing from the package, a DLL the programs need
# that neither the package nor Windows has, or a program that does not do its work fails it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=/dev/null
. "$root/build/release/release.env"
windows="$root/build/windows"
bin="$windows/bin"
test="$root/build/package-test"
name="Q9_Exchange-$version"
fail() { echo "test-package: $*" >&2; exit 1; }

rm -rf "$test"
mkdir -p "$test/unpacked"
unzip -q "$build/$name-win64.zip" -d "$test/unpacked"
package="$test/unpacked/$name"

echo "== The package's files"
expected=$(printf "$name/%s\n" CHANGELOG.md Q9_Exchange.exe README.txt SHA256SUMS \
  THIRD-PARTY-NOTICES.txt docs/troubleshooting.md q9x.exe)
actual=$(cd "$test/unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "the package holds
$actual
instead of
$expected"
(cd "$package" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"
grep -q "^Q9_Exchange $version for Windows" "$package/README.txt" || fail "README.txt does not name $version"
! grep -q '@[A-Z]*@' "$package/README.txt" || fail "README.txt keeps a placeholder"
[ "$(grep -m 1 '^## ' "$package/CHANGELOG.md")" = "## $version" ] || fail "CHANGELOG.md does not start with $version"
# Every library the two programs are built with, found by the notices from the build itself,
# with its licence text: the compiler's runtime (GCC runtime library exception), the system's
# runtime and winpthreads, and what q9x uses alone.
notices="$package/THIRD-PARTY-NOTICES.txt"
for package_name in gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev \
    libcli11-dev nlohmann-json3-dev libstb-dev; do
  grep -q "^Debian package $package_name " "$notices" || fail "the notices lack $package_name"
done
for text in "libpthread.a (winpthreads)" "GCC RUNTIME LIBRARY EXCEPTION" \
    "Upstream-Name: CLI11" "Upstream-Name: nlohmann-json" "Upstream-Name: stb" \
    "/usr/share/common-licenses/GPL-3 (referred to as:" "GNU GENERAL PUBLIC LICENSE"; do
  grep -qF "$text" "$notices" || fail "the notices lack \"$text\""
done
# CLI11 is in q9x.exe only.
awk '/^Debian package libcli11-dev/, /^-{80}$/' "$notices" | grep -q "into Q9_Exchange.exe" &&
  fail "the notices place CLI11 in Q9_Exchange.exe"

# A file the linker took in that is neither ours nor of any package stops the notices.
stray=$(mktemp -d)
mkdir "$stray/build"
: >"$stray/stray.o"
printf 'Linker script and memory map\n\nLOAD %s\n' "$stray/stray.o" >"$stray/stray.map"
printf "%s='%s'\n" version "$version" source "$root" build "$stray/build" \
  program_map "$stray/stray.map" program_linked_in "$stray" tool_map "$stray/stray.map" \
  tool_linked_in "$stray" >"$stray/build/release.env"
refused=$("$root/scripts/release-notices.sh" "$stray/build" 2>&1 >/dev/null) && refused=""
rm -rf "$stray"
[[ "$refused" == *"stray.o went into the programs but belongs to no installed Debian package"* ]] ||
  fail "the notices took a file of no package: ${refused:-no error}"

# The build's commit: none without a git work tree of the project's own (no git at all, or a
# source folder inside another repository); the commit of the project's work tree.
commit_of() {
  cmake -DSOURCE_DIR="$1" -DOUTPUT="$test/build_commit.cpp" -P "$root/cmake/build-commit.cmake"
  sed -n 's/^const char kBuildCommit\[\] = "\(.*\)";$/\1/p' "$test/build_commit.cpp"
}
mkdir -p "$test/no-git"
outside=$(mktemp -d)
[ -z "$(commit_of "$outside")" ] || fail "a build outside a git work tree names a commit"
rmdir "$outside"
[ -z "$(commit_of "$test/no-git")" ] || fail "a source folder inside another repository takes its commit"
case "$(commit_of "$root")" in
  "$(git -C "$root" rev-parse --short=12 HEAD)"*) ;;
  *) fail "the project's work tree gives no commit" ;;
esac

echo "== The unpacked programs under Wine, with the reference link library as Q9Plugin.dll"
cp "$bin/Q9Plugin.dll" "$package/Q9Plugin.dll"
appdata="$test/appdata"
data="$appdata/Vendrix/Plandora2025_Q9Plugin/Data"
log="$appdata/Vendrix/Plandora2025_Q9Plugin/DataQ9_Log.log"
journal="$test/journal.jsonl"
host_record="$test/host-messages.txt"
mkdir -p "$data" "$test/archive"
cp -R "$windows/samples/." "$data/"
rm -f "$data"/*.q9a "$data/_mod.sync"

# Every Windows program starts in the package folder, so that nothing of the build folders is
# in its library search; the reference library writes its archive into the test's folder.
wine_cwd=$package
archive_dir=$test/archive
# shellcheck source=wine-session.sh
. "$root/scripts/wine-session.sh"
# Waits as wait_for does, then says the step is done.
step_done() {
  wait_for "$@" || exit 1
  printf '   %-26s %s\n' "$4" "ok"
}
trap stop_windows EXIT

start_host "$host_record"
start_renderer

as_host --background "$package/Q9_Exchange.exe"
winctl wait Q9_Exchange 20000 >/dev/null
step_done "$journal" '"fn":"SendModel"' 1 "start-up load"
as_host "$package/Q9_Exchange.exe" cameraSync
step_done "$journal" '"fn":"SendCameraTransformFov"' 1 "cameraSync"
as_host "$package/Q9_Exchange.exe" ModelSync
step_done "$host_record" "1137 0 10" 1 "ModelSync"
[ -f "$data/_mod.sync" ] || fail "ModelSync wrote no _mod.sync"

# q9x doctor as support runs it, while the host and the renderer run: every check ok, the link
# library the one beside q9x.exe.
doctor=$(as_host "$package/q9x.exe" doctor | tr -d '\r') || fail "q9x doctor found a problem:
$doctor"
grep -q '^ok *link library: .*Q9Plugin.dll: loaded' <<<"$doctor" || fail "q9x doctor did not load Q9Plugin.dll:
$doctor"
printf '   %-26s %s\n' "q9x doctor" "ok ($(grep -c '^ok' <<<"$doctor") checks)"

winctl close Plandora_class >/dev/null
winctl gone Q9_Exchange 20000 >/dev/null || fail "the working instance outlived the host window"
printf '   %-26s %s\n' "host window closed" "ok"
winctl close Qt5152QWindowIcon >/dev/null
trap - EXIT

for line in "Init Start" "Sync Model state 0"; do
  grep -qF "]: $line" "$log" || fail "the log lacks \"$line\": $(cat "$log")"
done
! grep -q ']: Error: ' "$log" || fail "the log has errors: $(grep ']: Error: ' "$log")"

# The version and the commit the package was built from.
version_line=$(wine_run "$package/q9x.exe" --version | tr -d '\r')
commit=$(git -C "$root" rev-parse --short=12 HEAD 2>/dev/null || true)
case "$version_line" in
  "q9x $version (commit $commit"*) ;;
  "q9x $version") [ -z "$commit" ] || fail "q9x --version names no commit: $version_line" ;;
  *) fail "q9x --version printed \"$version_line\"" ;;
esac
echo "== The package works as shipped: $version_line"

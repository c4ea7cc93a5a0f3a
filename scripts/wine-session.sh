# Sourced by the scripts that run the Windows programs under Wine the way the host does
# (scripts/demo.sh, scripts/test-package.sh): one place for the Wine prefix, the stand-in
# windows, starting a program as the host starts it, and waiting for what it writes.
#
# Before sourcing, set:
#   root     the source folder
#   bin      the folder of the built helpers (winctl.exe, launch.exe, the stand-ins)
#   appdata  the APPDATA the programs get (the exchange folder lies below it)
#   journal  the reference library's journal file
# and, optionally:
#   wine_cwd      the folder every Windows program starts in (default: the caller's)
#   archive_dir   where the reference library writes its raw archive (default: beside the model)
# POSIX sh: the demo runs under sh, the package test under bash.

wine_prefix="$root/build/windows/wineprefix"

# A Linux path as the programs under Wine see it: drive Z: is the root.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

wine_run() {
  if [ -n "${wine_cwd:-}" ]; then
    (cd "$wine_cwd" && "$root/cmake/wine-run" "$wine_prefix" "$@")
  else
    "$root/cmake/wine-run" "$wine_prefix" "$@"
  fi
}
winctl() { wine_run "$bin/winctl.exe" "$@"; }

# PROGRAM [ARGS...] (or --background PROGRAM ...) started as the host starts it: with the
# session's APPDATA and journal, and none of the reference library's test switches.
as_host() {
  if [ -n "${archive_dir:-}" ]; then
    set -- --set "Q9PLUGIN_ARCHIVE_DIR=$(windows_path "$archive_dir")" "$@"
  fi
  wine_run "$bin/launch.exe" --set "APPDATA=$(windows_path "$appdata")" \
    --set "Q9PLUGIN_JOURNAL=$(windows_path "$journal")" \
    --unset Q9PLUGIN_START_RESULT --unset Q9PLUGIN_NO_SESSION --unset Q9PLUGIN_REFUSE_CONNECT \
    "$@"
}

# How often FILE holds the fixed TEXT; 0 while the file does not exist yet.
count_in() {
  count=$(grep -cF "$2" "$1" 2>/dev/null) || true
  echo "${count:-0}"
}
# Waits until FILE holds TEXT COUNT times, at most 20 s; else names WHAT and fails.
wait_for() {
  tries=0
  while [ "$(count_in "$1" "$2")" -lt "$3" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ]; then
      echo "$4: no $3 x $2 in $(basename "$1") after 20 s" >&2
      exit 1
    fi
    sleep 0.2
  done
}
# Waits until the journal holds COUNT calls of FUNCTION.
wait_calls() { wait_for "$1" "\"fn\":\"$2\"" "$3" "$2"; }

# The stand-in host window (recording the messages it gets in HOST_RECORD) and renderer window.
start_host() {
  wine_run "$bin/launch.exe" --background "$bin/standin_host.exe" "$(windows_path "$1")"
  winctl wait Plandora_class 20000 >/dev/null
}
start_renderer() {
  wine_run "$bin/launch.exe" --background "$bin/standin_renderer.exe"
  winctl wait Qt5152QWindowIcon 20000 >/dev/null
}
# Whatever is still open when the script ends: the stand-ins, the working instance, and a
# program waiting in its message box because it found no link library.
stop_windows() {
  winctl close Plandora_class >/dev/null 2>&1 || true
  winctl close Qt5152QWindowIcon >/dev/null 2>&1 || true
  winctl command Q9_Exchange 105 >/dev/null 2>&1 || true
  winctl msgbox "Error: missing Q9 Render application!" 100 >/dev/null 2>&1 || true
}

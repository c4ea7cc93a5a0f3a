#!/bin/sh
# The replay's report page in a real browser. A session of the sample is recorded with q9x run,
# the host's files are overwritten, the recording is replayed, and headless chromium then
# loads report.html with the network cut off: the page must come with nothing failing to load,
# its text must hold every step and the bundle's facts, and a screenshot is written beside it.
# Skipped (77) when chromium is not installed.
#   usage: report_page_test.sh Q9X SAMPLES_DIR WORK_DIR
set -eu
q9x=$1 samples=$2 work=$3
browser=$(command -v chromium || true)
[ -n "$browser" ] || { echo "chromium is not installed: skipped"; exit 77; }
fail() { echo "report page: $*" >&2; exit 1; }

rm -rf "$work"
exchange="$work/Data"
mkdir -p "$exchange"
cp "$samples/_model.pdx" "$samples/_mod.sm" "$samples/camera.cam" "$samples/Views.cam" "$exchange/"
"$q9x" record start --folder "$exchange" --to "$work/recording" >/dev/null
"$q9x" run --folder "$exchange" --archive-dir "$work" cameraSync 1027 viewsSync ModelSync >/dev/null
"$q9x" record stop --folder "$exchange" >/dev/null
# The host writes its files anew: the replay must use the recorded ones.
printf 'Camera_Start\nCamera_End\n' >"$exchange/camera.cam"
"$q9x" bundle --folder "$exchange" --recording "$work/recording" -o "$work/bundle.zip" >/dev/null
"$q9x" replay "$work/bundle.zip" -o "$work/replay" >/dev/null
page="$work/replay/report.html"
[ -f "$page" ] || fail "no report.html"

profile="$work/profile"
run_browser() {
  "$browser" --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$profile" \
    --proxy-server=127.0.0.1:9 --enable-logging=stderr --v=0 "$@" "file://$page" 2>>"$work/browser.log"
}
dom=$(run_browser --dump-dom)
run_browser --window-size=1366,1000 --screenshot="$work/replay/report.png" >/dev/null
for text in "Replay report" "step 1: start-up load" "camera sync" "model update" "views sync" \
            "model sync" "data:image/png;base64," "<svg" "doctor" "format"; do
  printf '%s' "$dom" | grep -qF "$text" || fail "the page's text lacks \"$text\""
done
if grep -E 'Failed to load resource|Uncaught|net::ERR_' "$work/browser.log"; then
  fail "the page did not load cleanly (above)"
fi
[ -s "$work/replay/report.png" ] || fail "no screenshot"
echo "report page: loaded in chromium, every step shown; screenshot $work/replay/report.png"

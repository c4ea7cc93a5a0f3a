#!/bin/sh
# Makes a stored regression case from the sample exchange folder: a recorded session of q9x run
# (start-up load, camera sync, model update, views sync, model sync) bundled as NAME.zip, and the
# journal of what that live session's renderer received as NAME.expected.jsonl. The session runs
# in /tmp/q9-sample-session/Data, the folder the case's test maps the replay's paths onto; the
# host then overwrites its camera file, so only the recording holds what the request read.
#   usage: tests/bundles/make-case.sh Q9X SAMPLES_DIR NAME
#   e.g.   tests/bundles/make-case.sh build/native/bin/q9x build/native/samples sample-session
set -eu
q9x=$1 samples=$2 name=$3
here=$(cd "$(dirname "$0")" && pwd)
work=/tmp/q9-sample-session
rm -rf "$work"
mkdir -p "$work/Data"
cp "$samples/_model.pdx" "$samples/_mod.sm" "$samples/camera.cam" "$samples/Views.cam" "$work/Data/"
"$q9x" record start --folder "$work/Data" --to "$work/recording" >/dev/null
Q9PLUGIN_JOURNAL="$work/live.jsonl" \
  "$q9x" run --folder "$work/Data" --archive-dir "$work" cameraSync 1027 viewsSync ModelSync >/dev/null
"$q9x" record stop --folder "$work/Data" >/dev/null
printf 'Camera_Start\nCamera_End\n' >"$work/Data/camera.cam"
rm -f "$here/$name.zip"
"$q9x" bundle --folder "$work/Data" --recording "$work/recording" -o "$here/$name.zip" >/dev/null
cp "$work/live.jsonl" "$here/$name.expected.jsonl"
rm -rf "$work"
echo "$here/$name.zip and $here/$name.expected.jsonl"

#!/bin/sh
# Seeds of the journal and archive targets: a run of q9x on a copy of the built sample folder
# with the reference link library, as the demo runs the program (start-up load, then every
# request), writes a journal and a raw archive.
#   make_received_seeds.sh Q9X LINK_LIBRARY SAMPLES OUT
# OUT/journal gets the whole journal and its lines in pieces of 8, OUT/archive the archive.
set -eu
q9x=$1 link=$2 samples=$3 out=$4
rm -rf "$out/received-run" "$out/journal" "$out/archive"
mkdir -p "$out/received-run" "$out/journal" "$out/archive"
cp -R "$samples" "$out/received-run/folder"
# The tools are built with the sanitizers: what q9x leaves unfreed at its exit is no fault here.
Q9PLUGIN_JOURNAL="$out/received-run/journal.jsonl" ASAN_OPTIONS=detect_leaks=0 \
  "$q9x" run --folder "$out/received-run/folder" --link "$link" \
  --archive-dir "$out/archive" ModelSync cameraSync viewsSync lightSync colorMode \
  > "$out/received-run/run.log"
cp "$out/received-run/journal.jsonl" "$out/journal/whole"
split -l 8 -d -a 3 "$out/received-run/journal.jsonl" "$out/journal/lines-"
if [ -z "$(ls "$out/archive")" ]; then
  echo "make_received_seeds: the run wrote no raw archive" >&2
  exit 1
fi

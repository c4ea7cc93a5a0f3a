#!/bin/sh
# The main job on the bundled sample: Q9_Exchange.exe under Wine, started the way the host
# starts it, between a stand-in host window and a stand-in renderer window, with the reference
# link library as Q9Plugin.dll beside it. Prints what reached the renderer and where the
# journal, the raw archive, the sync record and the log are; ends by drawing what the renderer
# received from its final camera (view.png) and writing it as glTF (scene.glb), with q9x.exe.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

build="$root/build/windows"
echo "== Building the Windows program, the reference link library and the stand-ins"
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target \
  Q9_Exchange q9plugin q9x samples standin_host standin_renderer winctl launch >/dev/null

bin="$build/bin"
demo="$build/demo"
appdata="$demo/appdata"
data="$appdata/Vendrix/Plandora2025_Q9Plugin/Data"
journal="$demo/journal.jsonl"
colour_journal="$demo/journal-colour-mode.jsonl"
host_record="$demo/host-messages.txt"

# A fresh exchange folder with the sample the host would have written.
rm -rf "$demo"
mkdir -p "$data"
cp -R "$build/samples/." "$data/"
rm -f "$data"/*.q9a "$data/_mod.sync"

# shellcheck source=wine-session.sh
. "$root/scripts/wine-session.sh"
first_journal=$journal
step() { printf '   %-44s %s\n' "$1" "$2"; }

trap stop_windows EXIT

echo "== Starting the stand-in host and renderer windows under Wine"
start_host "$host_record"
start_renderer

# The session is recorded, as support would ask a customer to: every request's files, as it
# read them, kept outside the exchange folder.
recording="$demo/recording"
wine_run "$bin/q9x.exe" record start --folder "$(windows_path "$data")" \
  --to "$(windows_path "$recording")" >/dev/null
echo "== Running Q9_Exchange.exe as the host would"
as_host --background "$bin/Q9_Exchange.exe"
winctl wait Q9_Exchange 20000 >/dev/null
wait_calls "$journal" SendModel 1
step "(no word)" "working instance: start-up load of _model.pdx"

as_host "$bin/Q9_Exchange.exe" cameraSync
wait_calls "$journal" SendCameraTransformFov 1
step "cameraSync" "forwarded as 1025: camera.cam sent"

as_host "$bin/Q9_Exchange.exe" viewsSync
wait_calls "$journal" SendScenes 2
step "viewsSync" "forwarded as 1029: Views.cam sent as scenes"

as_host "$bin/Q9_Exchange.exe" ModelSync
wait_for "$host_record" "1137 0 10" 1 "demo: the host notified"
step "ModelSync" "forwarded as 1026: _mod.sync written, host notified"

as_host "$bin/Q9_Exchange.exe" lightSync
wait_calls "$journal" SendModel 2
step "lightSync" "forwarded as 1028: update _mod.sm applied"

winctl post Q9_Exchange 1027 >/dev/null
wait_calls "$journal" SendModel 3
step "message 1027 from the host" "update applied again, with its log lines"

winctl close Plandora_class >/dev/null
winctl gone Q9_Exchange 20000 >/dev/null
step "host window closed" "the working instance ended"
# The raw archive lands beside the model file the container names; keep this instance's copy.
archive=""
for candidate in "$build"/samples/*.q9a "$data"/*.q9a; do
  if [ -f "$candidate" ]; then
    archive="$demo/$(basename "$candidate")"
    cp "$candidate" "$archive"
    break
  fi
done

# The recording covers the first instance's session only.
wine_run "$bin/q9x.exe" record stop --folder "$(windows_path "$data")" >/dev/null
# Colour mode is a whole life of its own: a fresh instance, colours instead of texture maps.
start_host "$host_record"
journal=$colour_journal
as_host --background "$bin/Q9_Exchange.exe" colorMode
winctl wait Q9_Exchange 20000 >/dev/null
wait_calls "$colour_journal" SendModel 1
step "colorMode (fresh instance)" "start-up load with colours instead of maps"
winctl close Plandora_class >/dev/null
winctl gone Q9_Exchange 20000 >/dev/null
winctl close Qt5152QWindowIcon >/dev/null
trap - EXIT
journal=$first_journal

echo
echo "== What reached the renderer (first instance, from its raw archive)"
if [ -n "$archive" ]; then
  wine_run "$bin/q9x.exe" summary "$(windows_path "$archive")" | tr -d '\r'
fi
# The first instance's scene as the renderer received it, from its final camera, and as glTF.
view="$demo/view.png"
scene="$demo/scene.glb"
wine_run "$bin/q9x.exe" view "$(windows_path "$journal")" -o "$(windows_path "$view")" >/dev/null
wine_run "$bin/q9x.exe" export "$(windows_path "$journal")" -o "$(windows_path "$scene")" >/dev/null
maps() { grep '"fn":"Q9SetMaterialStringProperty"' "$1" | grep -c 'Textures' || true; }
echo "texture map paths sent: $(maps "$journal") in the first instance, $(maps "$colour_journal") in colour mode"
echo
echo "== The recorded session (each request timed in the log, its files kept as read)"
grep -a 'Note: \(request\|start-up load\)' "$appdata/Vendrix/Plandora2025_Q9Plugin/DataQ9_Log.log" |
  head -n 6 | sed 's/^.*\]: Note: /   /' | tr -d '\r'
wine_run "$bin/q9x.exe" record status --folder "$(windows_path "$data")" \
  --to "$(windows_path "$recording")" | tr -d '\r' | sed 's/^/   /'
# The bundle a customer would send: as it is, and anonymised (the names' map stays beside it).
bundle="$demo/bundle.zip"
anonymised="$demo/bundle-anonymised.zip"
rm -f "$bundle" "$anonymised" "$anonymised.names.json"
wine_run "$bin/q9x.exe" bundle --folder "$(windows_path "$data")" --recording "$(windows_path "$recording")" \
  -o "$(windows_path "$bundle")" >/dev/null
wine_run "$bin/q9x.exe" bundle --folder "$(windows_path "$data")" --recording "$(windows_path "$recording")" \
  --anonymise -o "$(windows_path "$anonymised")" >/dev/null
echo
echo "== The support bundles"
for zip in "$bundle" "$anonymised"; do
  unzip -tq "$zip" | sed 's/^/   /'
  python3 "$root/scripts/check-bundle.py" "$zip" | sed 's/^/   /'
done
# The support desk's half: the bundle replayed as it came (checked whole, then unpacked into
# the replay's folder), its recorded session step by step, and what the replay's renderer
# received compared with what the live session's did.
replay="$demo/replay"
rm -rf "$demo/unpacked" "$replay"
echo
echo "== The bundle replayed, and compared with the live session"
wine_run "$bin/q9x.exe" replay "$(windows_path "$bundle")" -o "$(windows_path "$replay")" |
  tr -d '\r' | sed 's/^/   /'
# The replay's texture and light profile paths lie in its own copy of the exchange folder.
if wine_run "$bin/q9x.exe" diff "$(windows_path "$first_journal")" "$(windows_path "$replay/journal.jsonl")" \
  --map-path "$(windows_path "$replay/folder")\\=$(windows_path "$data")" >"$demo/diff.txt"; then
  echo "   the replay's scene is the live session's: nothing differs"
else
  tr -d '\r' <"$demo/diff.txt" | sed 's/^/   /'
fi
echo
echo "== Where to look"
echo "journal:      $journal"
echo "              $colour_journal (colour mode)"
echo "raw archive:  ${archive:-none written}"
echo "sync record:  $data/_mod.sync"
echo "log:          $appdata/Vendrix/Plandora2025_Q9Plugin/DataQ9_Log.log"
echo "picture:      $view (what the renderer received, from its final camera)"
echo "glTF:         $scene"
echo "host saw:     $host_record"
echo "recording:    $recording"
echo "bundles:      $bundle"
echo "              $anonymised (names' map: $anonymised.names.json)"
echo "replay:       $replay (report.html: open it in any browser)"

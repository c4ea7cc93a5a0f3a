#!/bin/sh
# The Khronos glTF validator on q9x export's files of the sample exchange folder (after the
# start-up load, the camera and the views; and after the model and light updates too, the
# requests the demo makes). Fails on any error or warning; exits 77 (the test is skipped) when
# node or the validator is not installed.
# usage: validate_export.sh Q9X SAMPLES_DIR SOURCE_DIR [WINE_RUN PREFIX]
# With WINE_RUN and PREFIX, Q9X is a Windows program run under Wine (cmake/wine-run).
set -e
q9x=$1
samples=$2
source=$3
wine_run=${4:-}
prefix=${5:-}
if ! command -v node >/dev/null 2>&1; then
  echo "node is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$samples" "$work/samples"

# A path as the program sees it: Wine shows this machine's root as drive Z:.
native_path() { printf '%s' "$1"; }
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
if [ -n "$wine_run" ]; then
  run() { "$wine_run" "$prefix" "$q9x" "$@"; }
  path=windows_path
else
  run() { "$q9x" "$@"; }
  path=native_path
fi
run export --folder "$($path "$work/samples")" cameraSync viewsSync -o "$($path "$work/scene.glb")" >/dev/null
run export --folder "$($path "$work/samples")" cameraSync viewsSync ModelSync lightSync 1027 \
  -o "$($path "$work/updated.glb")" >/dev/null
node "$source/tools/gltf-check/validate.js" "$work/scene.glb" "$work/updated.glb"

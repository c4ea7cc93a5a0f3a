#!/bin/sh
# The Khronos glTF validator on q9x export's files of the sample exchange folder (after the
# start-up load, the camera and the views; and after the model and light updates too).
# usage: validate_export.sh Q9X SAMPLES_DIR SOURCE_DIR
set -e
q9x=$1
samples=$2
source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$samples" "$work/samples"
"$q9x" export --folder "$work/samples" cameraSync viewsSync -o "$work/scene.glb" >/dev/null
"$q9x" export --folder "$work/samples" cameraSync viewsSync ModelSync lightSync 1027 \
  -o "$work/updated.glb" >/dev/null
node "$source/tools/gltf-check/validate.js" "$work/scene.glb" "$work/updated.glb"

#!/bin/sh
# Installs the Debian packages the builds and tests need, when any is missing. Quick when all
# are present.
set -e
packages="cmake make g++ ccache googletest libbenchmark-dev nlohmann-json3-dev libcli11-dev libstb-dev libtinygltf-dev zlib1g-dev libssl-dev libz-mingw-w64-dev chromium clang libclang-rt-14-dev g++-mingw-w64-x86-64 wine wine64 util-linux zip unzip 7zip"

missing=""
for package in $packages; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $package" ;;
  esac
done
# node and npm for the glTF validator, when the machine has no node of its own.
command -v npm >/dev/null 2>&1 || missing="$missing nodejs npm"

if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then
  sudo="sudo"
else
  sudo=""
fi
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  $sudo apt-get update
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing
fi

# The Khronos glTF validator that the test of q9x export runs: from npm into build/node, at the
# version tools/gltf-check/package.json names.
root=$(cd "$(dirname "$0")/.." && pwd)
if ! cmp -s "$root/tools/gltf-check/package.json" "$root/build/node/package.json" ||
   [ ! -f "$root/build/node/node_modules/gltf-validator/package.json" ]; then
  echo "Installing the glTF validator (npm) into build/node"
  mkdir -p "$root/build/node"
  cp "$root/tools/gltf-check/package.json" "$root/build/node/package.json"
  (cd "$root/build/node" && npm install --no-audit --no-fund --loglevel=error)
fi

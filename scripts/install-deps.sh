#!/bin/sh
# Installs the Debian packages the builds and tests need, when any is missing. Quick when all
# are present.
set -e
packages="cmake make g++ googletest libbenchmark-dev nlohmann-json3-dev libcli11-dev libstb-dev libtinygltf-dev clang libclang-rt-14-dev g++-mingw-w64-x86-64 wine wine64 util-linux"

missing=""
for package in $packages; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  case "$status" in
    *"install ok installed"*) ;;
    *) missing="$missing $package" ;;
  esac
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then
  sudo="sudo"
else
  sudo=""
fi
$sudo apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends $missing

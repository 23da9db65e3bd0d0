#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need, when missing.
# Quick when everything is already there: dpkg is asked first, apt only when needed.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
      libbenchmark-dev zlib1g-dev libdeflate-dev zip unzip p7zip-full python3 xvfb xauth rsync clang libclang-rt-14-dev
      libtsan2 ccache dpkg-dev file groff-base liburing-dev)
if [ "${1:-}" = "--run-only" ]; then
  pkgs=(build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev liburing-dev dpkg-dev file)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

#!/usr/bin/env bash
# Saves a PNG of every dialog window at its design size, drawn by a real X server (Xvfb),
# so that they can be looked at. Not part of the test suite. Usage:
#   scripts/screenshots.sh [build dir] [output dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/dev}
out=${2:-$root/build/screenshots}
cmake --build "$build" --target dialogs_tests
mkdir -p "$out"
cd "$build/tests"
VARNHOLT_SCREENSHOT_DIR="$out" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x800x24 -dpi 96" ./dialogs_tests --gtest_filter='Layout.*'
echo "Screenshots in $out"

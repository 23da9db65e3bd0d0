#!/usr/bin/env bash
# Builds Varnholt (release) and starts it. Extra arguments go to the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" --run-only
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNHOLT_TESTS=OFF -DVARNHOLT_WERROR=OFF >/dev/null
cmake --build "$root/build/release" --target varnholt
# The catalogue files live in the working directory: keep them in the user's data folder.
data="${XDG_DATA_HOME:-$HOME/.local/share}/varnholt"
mkdir -p "$data"
cd "$data"
exec "$root/build/release/app/varnholt" "$@"

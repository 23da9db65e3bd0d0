#!/bin/sh
# Starts Varnholt from the applications menu in the user's data folder, so that its
# catalogue files (Rpoject.vrn, Folder.vrn, Log.vrn) are kept there and not loose in
# whatever folder the desktop happens to start programs in.
here=$(cd "$(dirname "$0")" && pwd) || exit 2
dir="${XDG_DATA_HOME:-$HOME/.local/share}/varnholt"
mkdir -p "$dir" && cd "$dir" || exit 2
exec "$here/varnholt" "$@"

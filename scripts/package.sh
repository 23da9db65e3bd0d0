#!/usr/bin/env bash
# Builds the Debian package from a Release tree (build/release) and checks it:
#   scripts/package.sh            build/varnholt_<version>_<arch>.deb, then the checks
# The checks read the package with dpkg-deb (fields, dependencies, file list, the menu
# entry's command), run the packaged program's --version and --help from the unpacked
# tree, and let apt resolve the dependencies in a simulated install.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" --run-only
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNHOLT_TESTS=OFF >/dev/null
cmake --build "$build" --target varnholt varnholt_manpage
rm -f "$build"/varnholt_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/varnholt_*.deb)
cp "$deb" "$root/build/"
echo "package: $root/build/$(basename "$deb")"

fail() { echo "package check failed: $*" >&2; exit 1; }
info=$(dpkg-deb --info "$deb")
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = varnholt ] || fail "Package is $(field Package)"
[ "$(field Version)" = "0.1~beta" ] || fail "Version is $(field Version)"
depends=$(field Depends)
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 liburing2; do
  case ", $depends," in
    *", $lib "* | *", $lib,"*) ;;
    *) fail "Depends lacks $lib: $depends" ;;
  esac
done

contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for path in ./usr/bin/varnholt ./usr/bin/varnholt-desktop \
            ./usr/share/applications/varnholt.desktop \
            ./usr/share/icons/hicolor/scalable/apps/varnholt.svg \
            ./usr/share/man/man1/varnholt.1.gz; do
  grep -qx "$path" <<<"$contents" || fail "missing $path"
done
grep -q '^\./usr/lib/.*varnholt/varnholt-window\.so$' <<<"$contents" || fail "missing the window module"
outside=$(grep -v -e '^\./$' -e '^\./usr/' <<<"$contents" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
grep -qx 'Exec="/usr/bin/varnholt-desktop"' "$unpacked/usr/share/applications/varnholt.desktop" ||
  fail "menu entry: $(grep Exec "$unpacked/usr/share/applications/varnholt.desktop")"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY "$unpacked/usr/bin/varnholt" --version)" = "varnholt 0.1 beta" ] ||
  fail "--version"
env -u DISPLAY -u WAYLAND_DISPLAY "$unpacked/usr/bin/varnholt" --help | grep -q '/R:<project>' || fail "--help"
# The packaged program finds its window module and runs the switches in the window.
mkdir "$unpacked/work"
touch "$unpacked/work/Rpoject.vrn" "$unpacked/work/Folder.vrn" "$unpacked/work/Log.vrn"
(cd "$unpacked/work" && QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$unpacked/work" \
  "$unpacked/usr/bin/varnholt" /EXIT) || fail "the window did not start"
[ -s "$unpacked/work/Log.vrn" ] || fail "the window ran no switch"
zcat "$unpacked/usr/share/man/man1/varnholt.1.gz" | grep -q '^\.TH VARNHOLT 1' || fail "manual page"
if command -v apt-get >/dev/null; then
  apt-get install --simulate --no-install-recommends "$deb" >"$unpacked/apt.log" 2>&1 ||
    fail "apt cannot resolve the dependencies: $(tail -5 "$unpacked/apt.log")"
fi
echo "package checks passed"

#!/usr/bin/env bash
# Installs the Debian package in a clean Debian 12 (bookworm) chroot and runs it there
# without a display: backup, verify, damage, verify, restore. Needs root, debootstrap and
# the network (Debian's mirror); takes a few minutes, so it is not part of scripts/test.sh.
#   scripts/package_chroot.sh [chroot-dir]
# A chroot-dir that already holds a system is reused (the package is reinstalled).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deb=$(ls "$root"/build/varnholt_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "no package: run scripts/package.sh first" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "run as root (chroot, debootstrap)" >&2; exit 2; }
dir=${1:-$(mktemp -d /tmp/varnholt-chroot-XXXXXX)}
if [ ! -x "$dir/usr/bin/apt-get" ]; then
  command -v debootstrap >/dev/null || apt-get install -y -q debootstrap >/dev/null
  debootstrap --variant=minbase bookworm "$dir" http://deb.debian.org/debian >/dev/null
fi
cp /etc/resolv.conf "$dir/etc/resolv.conf"
cp "$deb" "$dir/tmp/varnholt.deb"
mount -t proc proc "$dir/proc"
trap 'umount "$dir/proc"' EXIT
chroot "$dir" /bin/sh -c 'export DEBIAN_FRONTEND=noninteractive; { apt-get update -q &&
  apt-get install -y -q --no-install-recommends --reinstall /tmp/varnholt.deb; } >/tmp/apt.log 2>&1' ||
  { tail -20 "$dir/tmp/apt.log" >&2; exit 1; }

# A catalogue with one project (store /tmp/store, folder /tmp/src), written from the record
# layout: Rpoject.vrn 321-byte and Folder.vrn 372-byte records, an empty Log.vrn.
python3 - "$dir/tmp/work" <<'PY'
import os, struct, sys
work = sys.argv[1]
os.makedirs(work, exist_ok=True)
def counted(text, capacity):
    b = text.encode()
    return bytes([len(b)]) + b + bytes(capacity - len(b))
project = struct.pack('<i', 1) + b'\1' + counted('Docs', 50) + counted('/tmp/store', 255) + \
    struct.pack('<d', 45000.0) + b'\0'
folder = b'\1' + struct.pack('<i', 1) + counted('/tmp/src', 255) + counted('*; ', 100) + \
    b'\1\6' + struct.pack('<d', 0.0)
assert len(project) == 321 and len(folder) == 372
open(os.path.join(work, 'Rpoject.vrn'), 'wb').write(project)
open(os.path.join(work, 'Folder.vrn'), 'wb').write(folder)
open(os.path.join(work, 'Log.vrn'), 'wb').write(b'')
PY

chroot "$dir" /bin/sh -e <<'SH'
fail() { echo "chroot check failed: $*" >&2; exit 1; }
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
[ "$(varnholt --version)" = "varnholt 0.1 beta" ] || fail "--version"
test -f /usr/share/man/man1/varnholt.1.gz -a -f /usr/share/applications/varnholt.desktop || fail files
cd /tmp/work
rm -rf /tmp/src /tmp/store /tmp/elsewhere
mkdir -p /tmp/src/sub
head -c 50000 /dev/urandom >/tmp/src/big.bin
echo one >/tmp/src/a.txt
echo two >/tmp/src/sub/b.txt
varnholt /P:Docs /EXIT || fail "backup"
varnholt /V:Docs >/dev/null || fail "verify of a sound backup"
printf 'XXXXXXXXXXXXXXXX' | dd of=/tmp/store/tmp/src/big.bin.ZIP bs=1 seek=20000 conv=notrunc 2>/dev/null
rm /tmp/src/a.txt /tmp/src/sub/b.txt
if varnholt /V:Docs >/dev/null 2>&1; then fail "verify passed a damaged archive"; fi
varnholt /R:Docs || fail "restore of the deleted files"
[ "$(cat /tmp/src/a.txt /tmp/src/sub/b.txt)" = "$(printf 'one\ntwo')" ] || fail "restored contents"
if varnholt /O:REWRITE /F:/tmp/src /T:/tmp/elsewhere /R:Docs 2>/dev/null; then
  fail "restore with a damaged archive ended with 0"
fi
[ "$(cd /tmp/elsewhere && find . -type f | sort | tr '\n' ' ')" = "./a.txt ./sub/b.txt " ] ||
  fail "tree restored elsewhere"
echo "chroot checks passed"
SH

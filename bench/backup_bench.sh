#!/usr/bin/env bash
# Times a full unattended Varnholt backup of a generated tree of about 20,000 files against
# the same work per file done directly with libdeflate and with zlib (bench/perfile_zip_peer:
# one single-entry archive per file, level 6, CRC-32, times; one thread) and against
# Info-ZIP's "zip -r -q -6" of the same tree, and a Varnholt run with nothing changed against
# "rsync -a --dry-run" after a first rsync and against GNU tar's incremental mode ("tar -g")
# with nothing changed. The full backup is timed with the default number of workers (one per
# online CPU) and with one (/W:1). --small makes the tree 200,000 files of 10 to
# 300 bytes instead (or --files of them), where the cost per file decides. Prints the median of each and the ratios, with
# the store on a RAM disk (tmpfs) and on disk: file creation on ext4 swings a lot after
# large deletes, so the tmpfs figures are the stable ones. With --big it also measures the
# peak memory of a backup of a tree holding a 1 GB file (/usr/bin/time -v).
#
# Usage: bench/backup_bench.sh [--files N] [--small] [--reps N] [--store tmpfs|disk|both] [--big]
#        VARNHOLT=path/to/varnholt (default: build/bench/app/varnholt, built when missing)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
files=20000
reps=3
stores=both
big=0
small=0
while [ $# -gt 0 ]; do
  case "$1" in
    --files) files=$2; shift 2 ;;
    --reps) reps=$2; shift 2 ;;
    --store) stores=$2; shift 2 ;;
    --big) big=1; shift ;;
    --small) small=1; [ "$files" = 20000 ] && files=200000; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

varnholt=${VARNHOLT:-$root/build/bench/app/varnholt}
peer=$root/build/bench/bench/perfile_zip_peer
if [ ! -x "$varnholt" ] || [ ! -x "$peer" ]; then
  cmake -S "$root" -B "$root/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DVARNHOLT_TESTS=OFF -DVARNHOLT_BENCH=ON >/dev/null
  cmake --build "$root/build/bench" --target varnholt perfile_zip_peer -j2 >/dev/null
fi
for tool in zip rsync tar python3; do
  command -v $tool >/dev/null || { echo "$tool is needed" >&2; exit 2; }
done

disk_base=${BENCH_DISK_DIR:-/var/tmp}
tmpfs_base=${BENCH_TMPFS_DIR:-/dev/shm}
work=$(mktemp -d "$disk_base/vrn-bench-XXXXXX")
trap 'rm -rf "$work" "$tmpfs_base"/vrn-bench-store-*' EXIT
src="$work/src"

# The tree: 20 top directories of 10 subdirectories, the files spread over them; 70 % text
# slices of 1 to 24 KB, 28 % random binaries of 1 to 20 KB, 2 % larger mixed files of
# 100 to 600 KB (about 370 MB in all). Fixed seed, so every run measures the same tree.
python3 - "$src" "$files" "$small" <<'PY'
import os, random, sys
root, count, small = sys.argv[1], int(sys.argv[2]), sys.argv[3] == '1'

rng = random.Random(20261208)
words = [''.join(rng.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(rng.randint(2, 10)))
         for _ in range(5000)]
corpus = ' '.join(rng.choice(words) + ('\n' if rng.random() < 0.08 else '')
                  for _ in range(700000)).encode()
dirs = [os.path.join(root, 'top%02d' % t, 'sub%02d' % s) for t in range(20) for s in range(10)]
for d in dirs:
    os.makedirs(d, exist_ok=True)
total = 0
for i in range(count):
    kind = rng.random()
    if small:
        size = rng.randint(10, 300)
        if kind < 0.70:
            at = rng.randint(0, len(corpus) - size)
            data, ext = corpus[at:at + size], '.txt'
        else:
            data, ext = rng.randbytes(size), '.bin'
    elif kind < 0.70:
        size = rng.randint(1024, 24 * 1024)
        at = rng.randint(0, len(corpus) - size)
        data, ext = corpus[at:at + size], '.txt'
    elif kind < 0.98:
        data, ext = rng.randbytes(rng.randint(1024, 20 * 1024)), '.bin'
    else:
        size = rng.randint(100 * 1024, 600 * 1024)
        at = rng.randint(0, len(corpus) - size)
        data, ext = corpus[at:at + size // 2] + rng.randbytes(size - size // 2), '.dat'
    with open(os.path.join(dirs[i % len(dirs)], 'file%05d%s' % (i, ext)), 'wb') as f:
        f.write(data)
    total += len(data)
print('tree: %d files, %.1f MB' % (count, total / 1e6), file=sys.stderr)
PY

# The catalogue: one project BENCH with the tree as its only folder.
write_catalogue() {  # dir store
  python3 "$root/bench/bench_catalogue.py" "$1" "$2" "$src"
}

now() { date +%s.%N; }
median() { python3 -c 'import statistics,sys; print("%.3f" % statistics.median(map(float, sys.argv[1:])))' "$@"; }
ratio() { python3 -c 'import sys; print("%.2f" % (float(sys.argv[1]) / float(sys.argv[2])))' "$1" "$2"; }

run_varnholt() {  # catdir [workers]
  local choice=()
  [ -n "${2:-}" ] && choice=("/W:$2")
  (cd "$1" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    "$varnholt" "${choice[@]}" /P:BENCH /EXIT)
}

bench_store() {  # label base
  local label=$1 store
  store=$(mktemp -d "$2/vrn-bench-store-XXXXXX")
  local full=() one=() again=() zipt=() rsyncd=() targ=() ldf=() zpf=()
  # Every repetition writes into fresh directories and nothing is deleted before the end:
  # ext4 skips recently freed inodes when it allocates, so creating 20,000 files right after
  # deleting the last repetition's 20,000 measures that search rather than the program.
  for ((r = 0; r < reps; r++)); do
    local rep="$store/rep$r"
    mkdir -p "$rep"; sync
    write_catalogue "$rep/cat" "$rep/vrn"
    local t0 t1
    t0=$(now); run_varnholt "$rep/cat"; t1=$(now)
    full+=("$(python3 -c "print($t1 - $t0)")")
    t0=$(now); run_varnholt "$rep/cat"; t1=$(now)
    again+=("$(python3 -c "print($t1 - $t0)")")
    sync
    write_catalogue "$rep/cat1" "$rep/vrn1"
    t0=$(now); run_varnholt "$rep/cat1" 1; t1=$(now)
    one+=("$(python3 -c "print($t1 - $t0)")")
    sync
    t0=$(now); "$peer" pack libdeflate "$src" "$rep/libdeflate" >/dev/null; t1=$(now)
    ldf+=("$(python3 -c "print($t1 - $t0)")")
    t0=$(now); "$peer" pack zlib "$src" "$rep/zlib" >/dev/null; t1=$(now)
    zpf+=("$(python3 -c "print($t1 - $t0)")")
    sync
    t0=$(now); (cd "$src" && zip -r -q -6 "$rep/tree.zip" .); t1=$(now)
    zipt+=("$(python3 -c "print($t1 - $t0)")")
    rsync -a "$src/" "$rep/rsync/"
    t0=$(now); rsync -a --dry-run "$src/" "$rep/rsync/"; t1=$(now)
    rsyncd+=("$(python3 -c "print($t1 - $t0)")")
    (cd "$src" && tar -g "$rep/tar.snar" -cf "$rep/level0.tar" .)
    t0=$(now); (cd "$src" && tar -g "$rep/tar.snar" -cf "$rep/level1.tar" .); t1=$(now)
    targ+=("$(python3 -c "print($t1 - $t0)")")
  done
  local mf m1 ma mz mr mt ml mp
  mf=$(median "${full[@]}"); m1=$(median "${one[@]}"); ma=$(median "${again[@]}")
  mt=$(median "${targ[@]}")
  mz=$(median "${zipt[@]}"); mr=$(median "${rsyncd[@]}")
  ml=$(median "${ldf[@]}"); mp=$(median "${zpf[@]}")
  printf '%-6s full backup %8.3f s | libdeflate per file %8.3f s | ratio %s (target <= 1)\n' \
    "$label" "$mf" "$ml" "$(ratio "$mf" "$ml")"
  printf '%-6s one worker  %8.3f s | libdeflate per file %8.3f s | ratio %s\n' \
    "$label" "$m1" "$ml" "$(ratio "$m1" "$ml")"
  printf '%-6s full backup %8.3f s | zlib per file       %8.3f s | ratio %s\n' \
    "$label" "$mf" "$mp" "$(ratio "$mf" "$mp")"
  printf '%-6s full backup %8.3f s | zip -r -6 %8.3f s | ratio %s (target < 1)\n' \
    "$label" "$mf" "$mz" "$(ratio "$mf" "$mz")"
  printf '%-6s no change   %8.3f s | rsync -n  %8.3f s | ratio %s (target <= 1)\n' \
    "$label" "$ma" "$mr" "$(ratio "$ma" "$mr")"
  printf '%-6s no change   %8.3f s | tar -g    %8.3f s | ratio %s (target <= 1)\n' \
    "$label" "$ma" "$mt" "$(ratio "$ma" "$mt")"
  rm -rf "$store"
}

echo "varnholt: $varnholt, $reps repetitions, medians; full backup: one worker per CPU ($(nproc))"
case "$stores" in
  tmpfs) bench_store tmpfs "$tmpfs_base" ;;
  disk) bench_store disk "$disk_base" ;;
  both) bench_store tmpfs "$tmpfs_base"; bench_store disk "$disk_base" ;;
esac

if [ $big -eq 1 ]; then
  head -c $((1024 * 1024 * 1024)) /dev/urandom > "$src/top00/big.bin"
  store=$(mktemp -d "$tmpfs_base/vrn-bench-store-XXXXXX")
  write_catalogue "$store/cat" "$store/vrn"
  (cd "$store/cat" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    /usr/bin/time -v "$varnholt" /P:BENCH /EXIT) 2> "$work/time.txt" || true
  printf 'peak memory with a 1 GB file in the tree: %s MB (target < 64 MB)\n' \
    "$(awk -F: '/Maximum resident/ {printf "%.1f", $2 / 1024}' "$work/time.txt")"
  rm -rf "$store"
fi

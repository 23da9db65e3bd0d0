#!/usr/bin/env bash
# Restore benchmark: a tree of about 20,000 files is backed up by the backup run (one
# archive per file), then restored by the restore run (bench/restore_bench.cpp, with zlib
# doing the same per-file work as a peer in the same run); the same per-file work is also
# timed with libdeflate (bench/perfile_zip_peer: read, inflate, CRC-32, write, times; one
# thread), and the same files are extracted from one archive by Info-ZIP's "unzip -q".
# The program itself restores the store too, as a user runs it from the command line, with
# one worker and with one per online CPU. Everything lies on tmpfs.
#
#   bench/restore_bench.sh [build-dir]     (default build/bench, configured Release here)
#   VARNHOLT_BENCH_FILES=N                 (default 20000)
#
# Prints the median times and the ratio restore run / unzip -q (below 1 means faster).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
files=${VARNHOLT_BENCH_FILES:-20000}
work=$(mktemp -d /dev/shm/varnholt-restore-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVARNHOLT_TESTS=OFF -DVARNHOLT_BENCH=ON >/dev/null
cmake --build "$build" --target restore_bench perfile_zip_peer varnholt -j2 >/dev/null

# The tree: nested directories, sizes from empty to 256 KiB (most a few KiB), text-like and
# incompressible contents, times spread over years. Fixed seed: every run measures the same.
python3 - "$work" "$files" <<'PY'
import os, random, sys
work, count = sys.argv[1], int(sys.argv[2])
rnd = random.Random(20261208)
src = os.path.join(work, "src")
words = [b"backup", b"restore", b"archive", b"folder", b"project", b"file", b"data",
         b"report", b"minute", b"store", b"the", b"of", b"and", b"to", b"in"]
corpus = b" ".join(rnd.choice(words) for _ in range(400000))
dirs = [src]
for i in range(400):
    dirs.append(os.path.join(rnd.choice(dirs), "dir%03d" % i))
for d in dirs:
    os.makedirs(d, exist_ok=True)
for i in range(count):
    d = rnd.choice(dirs)
    size = min(int(rnd.lognormvariate(7.5, 1.4)), 262144) if rnd.random() > 0.02 else 0
    if rnd.random() < 0.25:
        data = rnd.randbytes(size)
    else:
        at = rnd.randrange(0, len(corpus) - size)
        data = corpus[at : at + size]
    path = os.path.join(d, "file%05d.%s" % (i, rnd.choice(["txt", "doc", "dat", "log", "c"])))
    with open(path, "wb") as f:
        f.write(data)
    mtime = 1262304000 + rnd.randrange(0, 400000000)
    os.utime(path, ns=(mtime * 10**9 + 123456700, mtime * 10**9 + 1234500))
PY
total=$(du -sb "$work/src" | cut -f1)
echo "tree: $files files, $((total / 1024 / 1024)) MiB, in $work"

# The store: the backup run, level 6. The one archive for unzip: Info-ZIP zip, level 6.
"$build/bench/restore_bench" --work="$work" --prepare
(cd "$work/src" && zip -q -r -6 "$work/all.zip" .)
rm -rf "$work/src"

# unzip -q of the one archive, three times into an empty destination; the median counts.
unzip_times=()
for _ in 1 2 3; do
  rm -rf "$work/unzip-out"
  start=$(date +%s%N)
  unzip -q -o "$work/all.zip" -d "$work/unzip-out"
  end=$(date +%s%N)
  unzip_times+=($(((end - start) / 1000000)))
done
rm -rf "$work/unzip-out"
unzip_ms=$(printf '%s\n' "${unzip_times[@]}" | sort -n | sed -n 2p)

# The libdeflate per-file peer over the backup run's store, three times; the median counts.
peer_times=()
for _ in 1 2 3; do
  rm -rf "$work/peer-out"
  start=$(date +%s%N)
  "$build/bench/perfile_zip_peer" unpack libdeflate "$work/store$work/src" "$work/peer-out" \
    >/dev/null
  end=$(date +%s%N)
  peer_times+=($(((end - start) / 1000000)))
done
rm -rf "$work/peer-out"
libdeflate_ms=$(printf '%s\n' "${peer_times[@]}" | sort -n | sed -n 2p)

# The program as a user runs it: "/F:<folder> /T:<directory> /O:REWRITE /R:<project>" without
# a display, with one worker and with the default (one per online CPU); three times each,
# interleaved, into fresh directories; the medians count.
python3 "$root/bench/bench_catalogue.py" "$work/cat" "$work/store" "$work/src"
app_one=()
app_all=()
for r in 1 2 3; do
  for workers in 1 0; do
    : > "$work/cat/Log.vrn"
    start=$(date +%s%N)
    choice=()
    [ "$workers" = 1 ] && choice=(/W:1)
    (cd "$work/cat" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
      "$build/app/varnholt" "${choice[@]}" "/F:$work/src" "/T:$work/app-out-$r-$workers" /O:REWRITE /R:BENCH)
    end=$(date +%s%N)
    if [ "$workers" = 1 ]; then app_one+=($(((end - start) / 1000000)));
    else app_all+=($(((end - start) / 1000000))); fi
    rm -rf "$work/app-out-$r-$workers"
  done
done
app_one_ms=$(printf '%s\n' "${app_one[@]}" | sort -n | sed -n 2p)
app_all_ms=$(printf '%s\n' "${app_all[@]}" | sort -n | sed -n 2p)

out=$("$build/bench/restore_bench" --work="$work" --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true 2>&1)
echo "$out"
restore_ms=$(echo "$out" | awk '/^BM_RestoreRun.*_median/ {print $2; exit}')
zlib_ms=$(echo "$out" | awk '/^BM_ZlibPerFile.*_median/ {print $2; exit}')
echo "unzip -q (one archive, median of 3): ${unzip_ms} ms"
echo "restore run (median of 3):           ${restore_ms} ms"
echo "zlib per-file peer (median of 3):    ${zlib_ms} ms"
echo "libdeflate per-file peer (median of 3): ${libdeflate_ms} ms"
echo "program, one worker (median of 3):  ${app_one_ms} ms"
echo "program, $(nproc) workers (median of 3): ${app_all_ms} ms"
awk -v r="$restore_ms" -v u="$unzip_ms" -v z="$zlib_ms" -v l="$libdeflate_ms" \
    -v a1="$app_one_ms" -v an="$app_all_ms" 'BEGIN {
  printf "ratio restore run/unzip -q = %.2f   restore run/zlib per-file = %.2f\n", r / u, r / z
  printf "ratio restore run (engine, one thread)/libdeflate per-file = %.2f\n", r / l
  printf "ratio program one worker/libdeflate per-file = %.2f\n", a1 / l
  printf "ratio program all workers/libdeflate per-file = %.2f (target <= 1)\n", an / l }'

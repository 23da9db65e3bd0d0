#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each one for SECONDS seconds
# (default 60) on a scratch copy of its committed seed corpus, with its dictionary:
# fuzz/<name>.dict, or else the dictionary of its family, fuzz/<first word of name>.dict
# (zip_directory and zip_extract share fuzz/zip.dict).
# Every input that crashes, leaks, runs out of memory or hangs (more than TIMEOUT seconds,
# default 25) is kept with the target's log in a findings folder printed at the end
# (build/fuzz/findings/<time>/<target>/, or $VARNHOLT_FUZZ_FINDINGS/<target>/). Every target
# runs even when an earlier one failed; any finding fails the script.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# Reproduce a finding: build/fuzz/fuzz/<target> <findings>/<target>/crash-...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
timeout=${VARNHOLT_FUZZ_TIMEOUT:-25}
build="$root/build/fuzz"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
  -DVARNHOLT_FUZZ=ON -DVARNHOLT_GUI=OFF -DVARNHOLT_TESTS=OFF -DVARNHOLT_WERROR=ON >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in "$root"/fuzz/*_fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
cmake --build "$build" --target "${targets[@]}"

# The generated seeds should be what their generator makes today. Only a warning: another
# zlib may compress the Deflate seeds differently, and the committed ones stay good seeds.
if command -v python3 >/dev/null; then
  python3 "$root/fuzz/make_seeds.py" --check || echo "(warning only; fuzzing the committed seeds)"
fi

findings=${VARNHOLT_FUZZ_FINDINGS:-$build/findings/$(date +%Y%m%d-%H%M%S)}
mkdir -p "$findings"
findings=$(cd "$findings" && pwd)
failed=()
pid=
work=
# The fuzzer runs in the background so that its process id is known; stop it with the script.
trap 'if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
      if [ -n "$work" ]; then rm -rf "$work"; fi; exit 130' INT TERM
for t in "${targets[@]}"; do
  name=${t%_fuzz}
  dict=()
  dictname=none
  for candidate in "$root/fuzz/$name.dict" "$root/fuzz/${name%%_*}.dict"; do
    if [ -f "$candidate" ]; then dict=(-dict="$candidate"); dictname=${candidate#"$root"/}; break; fi
  done
  work=$(mktemp -d)
  if [ -d "$root/fuzz/corpus/$name" ]; then cp -r "$root/fuzz/corpus/$name/." "$work/"; fi
  kept="$findings/$t"
  mkdir -p "$kept"
  echo "== $t for ${seconds}s, dictionary: $dictname"
  status=0
  (cd "$work" && exec "$build/fuzz/$t" "${dict[@]}" -max_total_time="$seconds" \
     -timeout="$timeout" -rss_limit_mb=2048 -artifact_prefix="$kept/" -print_final_stats=1 \
     "$work") > "$kept/log" 2>&1 &
  pid=$!
  wait "$pid" || status=$?
  tail -n 6 "$kept/log"
  # The targets' scratch files carry the fuzzer's process id; a crash leaves them behind.
  rm -rf "$work" /dev/shm/"${t}_$pid".* /tmp/"${t}_$pid".*
  pid=
  if [ "$status" -ne 0 ] || compgen -G "$kept/*-*" >/dev/null; then
    echo "$t failed (status $status); kept:"
    ls -1 "$kept"
    # The report itself, so that a CI log alone says what was found and where.
    grep -m 1 -A 24 -E '^==[0-9]+==ERROR|runtime error|ERROR: libFuzzer' "$kept/log" || true
    failed+=("$t")
  else
    rm -rf "$kept"
  fi
done
rmdir "$findings" 2>/dev/null || true
if [ ${#failed[@]} -ne 0 ]; then
  echo "Findings of ${failed[*]} kept in $findings"
  exit 1
fi
echo "No findings (crash, leak, out-of-memory or timeout inputs would be kept in $findings)"

#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each one for SECONDS seconds
# (default 60) on a scratch copy of its committed seed corpus. Any crash fails the script.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build="$root/build/fuzz"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVARNHOLT_FUZZ=ON -DVARNHOLT_GUI=OFF -DVARNHOLT_TESTS=OFF >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in "$root"/fuzz/*_fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
cmake --build "$build" --target "${targets[@]}"
for t in "${targets[@]}"; do
  name=${t%_fuzz}
  work=$(mktemp -d)
  if [ -d "$root/fuzz/corpus/$name" ]; then cp -r "$root/fuzz/corpus/$name/." "$work/"; fi
  dict=()
  if [ -f "$root/fuzz/$name.dict" ]; then dict=(-dict="$root/fuzz/$name.dict"); fi
  echo "== $t for ${seconds}s"
  status=0
  (cd "$work" && "$build/fuzz/$t" "${dict[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 \
     -print_final_stats=1 "$work") > "$work.log" 2>&1 || status=$?
  tail -n 6 "$work.log"
  rm -rf "$work" "$work.log"
  if [ "$status" -ne 0 ]; then echo "$t failed (status $status)"; exit 1; fi
done

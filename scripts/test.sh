#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer and runs all tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build/asan"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=asan -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
ctest -j "$(nproc)" --output-on-failure --timeout 900 -LE slow

# The runs that store and unpack on worker threads, under ThreadSanitizer: the engines
# only (no windows), their backup and restore tests, with several workers.
tsan="$root/build/tsan"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=tsan -DVARNHOLT_GUI=OFF \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ "${launcher[@]}" >/dev/null
cmake --build "$tsan" -j "$(nproc)" --target backup_tests restore_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$tsan/tests/backup_tests" --gtest_filter='Parallel*'
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$tsan/tests/restore_tests" --gtest_filter='Parallel*'

# The Debian package: built from the Release tree and checked with dpkg-deb (about as long
# as a Release build; VARNHOLT_PACKAGE=0 leaves it out).
if [ "${VARNHOLT_PACKAGE:-1}" != 0 ]; then
  "$root/scripts/package.sh"
fi

# Files of any size end to end (a 4.3 GiB file backed up and restored, label "slow"): too
# slow for the sanitizers, so from a Release tree of the engines.
slow="$root/build/slow"
cmake -S "$root" -B "$slow" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNHOLT_GUI=OFF \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ "${launcher[@]}" >/dev/null
cmake --build "$slow" -j "$(nproc)" --target bigfile_tests
(cd "$slow" && ctest -L slow --output-on-failure)

# A short fuzzing session per parser of untrusted bytes (longer runs: scripts/fuzz.sh 600).
"$root/scripts/fuzz.sh" "${VARNHOLT_FUZZ_SECONDS:-30}"

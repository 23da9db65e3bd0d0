#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer and runs all tests
# (those labelled "slow" run in the plain and Release trees below), proves the engines build
# and pass their tests without Qt, then the threaded runs, the package and a short fuzz.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build/asan"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=asan -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
  -DVARNHOLT_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
ctest -j "$(nproc)" --output-on-failure -LE slow
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

# The engines without the windows: Qt is not even looked for, so an engine that needed it
# would fail to build here. A plain build (the sanitizers ran above).
nogui="$root/build/nogui"
cmake -S "$root" -B "$nogui" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVARNHOLT_GUI=OFF -DVARNHOLT_WERROR=ON \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ "${launcher[@]}" >/dev/null
cmake --build "$nogui" -j "$(nproc)"
(cd "$nogui" && ctest -j "$(nproc)" --output-on-failure -LE slow)

# The runs that store and unpack on worker threads, under ThreadSanitizer: the engines
# only (no windows), their backup and restore tests, with several workers.
tsan="$root/build/tsan"
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

# Files of any size end to end (a 4.3 GiB file backed up and restored) and the other tests
# labelled "slow" (tests/CMakeLists.txt): too slow for the sanitizers, so from a Release
# tree of the engines.
slow="$root/build/slow"
cmake -S "$root" -B "$slow" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNHOLT_GUI=OFF \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ "${launcher[@]}" >/dev/null
cmake --build "$slow" -j "$(nproc)" --target bigfile_tests archive_tests
(cd "$slow" && ctest -L slow --output-on-failure)

# A short fuzzing session per parser of untrusted bytes (longer runs: scripts/fuzz.sh 600).
"$root/scripts/fuzz.sh" "${VARNHOLT_FUZZ_SECONDS:-30}"

#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test.
#
#   ./test.sh              release build (with debug info) and all tests
#   ./test.sh --sanitize   the same under AddressSanitizer + UndefinedBehaviorSanitizer
#                          (every library and test, the windows included, on Qt's
#                          offscreen platform), then the platform tests (user
#                          interface included) under ThreadSanitizer
#   extra arguments after the mode are passed to ctest, e.g. ./test.sh -- -L image
set -euo pipefail
cd "$(dirname "$0")"

mode=release
if [ "${1:-}" = "--sanitize" ]; then mode=sanitize; shift; fi
if [ "${1:-}" = "--" ]; then shift; fi

scripts/setup
DATA=$(scripts/setup --print-data)
JOBS=$(nproc)
LAUNCHER=()
if command -v ccache >/dev/null 2>&1; then
  LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
SANITIZER_FLAGS=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g"
                 -DTESSAVAN_BENCH=OFF)

if [ "$mode" = release ]; then
  BUILD=build
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSAVAN_CONFORMANCE_DIR="$DATA" "${LAUNCHER[@]}"
else
  BUILD=build-asan
  cmake -S . -B "$BUILD" -G Ninja "${SANITIZER_FLAGS[@]}" \
    -DTESSAVAN_SANITIZE="address;undefined" -DTESSAVAN_UI=ON \
    -DTESSAVAN_CONFORMANCE_DIR="$DATA" "${LAUNCHER[@]}"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  # Qt is not instrumented; the suppressions file says what that hides
  # (fontconfig's own caches only).
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan-suppressions.txt"
fi

cmake --build "$BUILD" -j "$JOBS"
ctest --test-dir "$BUILD" --output-on-failure --timeout 900 -j "$JOBS" "$@"

if [ "$mode" = sanitize ]; then
  # ThreadSanitizer over the platform layer (message posting and sending
  # across threads, the dialog layer on Qt, the stress test), the batch
  # engine (worker pool, main window, whole runs) and the TWAIN manager (a
  # scanner's notifications come from its own thread). Only those test
  # programs are built. Qt itself is not instrumented; the suppressions file
  # says what that hides (Qt's own memory copies only).
  TSAN_BUILD=build-tsan
  cmake -S . -B "$TSAN_BUILD" -G Ninja "${SANITIZER_FLAGS[@]}" \
    -DTESSAVAN_SANITIZE=thread -DTESSAVAN_CONFORMANCE_DIR="$DATA" "${LAUNCHER[@]}"
  mapfile -t TARGETS < <(cmake --build "$TSAN_BUILD" --target help 2>/dev/null | grep -o '^test_\(platform\|app\|twain\|scan_core\)[a-z0-9_]*' | sort -u)
  cmake --build "$TSAN_BUILD" -j "$JOBS" --target "${TARGETS[@]}"
  TSAN_OPTIONS="suppressions=$PWD/scripts/tsan-suppressions.txt halt_on_error=1 second_deadlock_stack=1" \
    ctest --test-dir "$TSAN_BUILD" --output-on-failure --timeout 900 -j "$JOBS" -L 'platform|app|dsm|scan'
fi

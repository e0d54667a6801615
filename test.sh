#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test.
#
#   ./test.sh              release build (with debug info) and all tests
#   ./test.sh --sanitize   the same under AddressSanitizer + UndefinedBehaviorSanitizer
#                          (the libraries below the user interface and their tests)
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

if [ "$mode" = release ]; then
  BUILD=build
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSAVAN_CONFORMANCE_DIR="$DATA" "${LAUNCHER[@]}"
else
  BUILD=build-asan
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g" \
    -DTESSAVAN_SANITIZE="address;undefined" -DTESSAVAN_UI=OFF -DTESSAVAN_BENCH=OFF \
    -DTESSAVAN_CONFORMANCE_DIR="$DATA" "${LAUNCHER[@]}"
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi

cmake --build "$BUILD" -j "$JOBS"
ctest --test-dir "$BUILD" --output-on-failure --timeout 900 -j "$JOBS" "$@"

#!/usr/bin/env bash
# Installs what is needed, builds the program (release) and starts it.
#
#   ./run.sh            build and start Tessavan
# Arguments are passed on to the program (Qt's own, e.g. -platform xcb).
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup --packages-only
LAUNCHER=()
if command -v ccache >/dev/null 2>&1; then
  LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
BUILD=build-release
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTESSAVAN_TESTS=OFF -DTESSAVAN_BENCH=OFF "${LAUNCHER[@]}"
cmake --build "$BUILD" --target tessavan -j "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are unset); start it from a desktop session," >&2
  echo "        or under a virtual display: xvfb-run -a $BUILD/src/tessavan" >&2
  exit 1
fi
exec "$BUILD/src/tessavan" "$@"

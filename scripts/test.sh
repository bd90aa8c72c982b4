#!/usr/bin/env bash
# Sets up, builds and runs every test headless through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/check_window_boundaries.sh
scripts/setup.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
# Tests that need a real X server start their own Xvfb.
ctest --test-dir build --output-on-failure -j"$(nproc)"

#!/usr/bin/env bash
# Runs the intake and queue-view benchmark from a build directory.
# usage: bench/intake/run_bench.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cmake --build "$build" --target korvan-bench-intake >/dev/null
QT_QPA_PLATFORM=offscreen "$build/bench/korvan-bench-intake"

#!/usr/bin/env bash
# Configures and builds Korvan, its tests and benchmarks into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/build_env.sh
cmake -S . -B build "${KORVAN_CMAKE_BUILD[@]}" >/dev/null
cmake --build build -j"$(nproc)"

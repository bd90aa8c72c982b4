#!/usr/bin/env bash
# Configures and builds Korvan, its tests and benchmarks into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/build_env.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

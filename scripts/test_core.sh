#!/usr/bin/env bash
# Builds the model, the platform interfaces, the engine, korvan-fileop and
# their tests with Qt Core alone (KORVAN_CORE_ONLY) into build-core/, checks
# that none of the programs loads a GUI library, and runs those tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
. scripts/build_env.sh
cmake -S . -B build-core "${KORVAN_CMAKE_BUILD[@]}" -DKORVAN_CORE_ONLY=ON >/dev/null
cmake --build build-core -j"$(nproc)"
for program in build-core/bench/korvan-fileop build-core/tests/tst_*; do
  [ -f "$program" ] || continue # the tests' generated-code folders
  if ldd "$program" | grep -E 'libQt6(Gui|Widgets|Network)'; then
    echo "test_core: $program needs more than Qt Core" >&2
    exit 1
  fi
done
QT_QPA_PLATFORM=offscreen ctest --test-dir build-core --output-on-failure -j"$(nproc)"

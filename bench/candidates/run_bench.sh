#!/bin/bash
# run_bench.sh BUILD_DIR [COUNT] [LIMIT_MS]
# "确定" on COUNT (10,000) ticked candidates must finish under LIMIT_MS (2000).
# Each figure is one of $RUNS runs; the script fails if any run is too slow.
set -euo pipefail
BUILD_DIR=${1:?usage: run_bench.sh BUILD_DIR [COUNT] [LIMIT_MS]}
COUNT=${2:-10000}
LIMIT=${3:-2000}
RUNS=${RUNS:-3}
BIN="$BUILD_DIR/bench/korvan-bench-confirm"
[ -x "$BIN" ] || { echo "missing $BIN (build the korvan-bench-confirm target)" >&2; exit 2; }
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export QT_LOGGING_RULES="qt.qpa.*=false"
status=0
for _ in $(seq "$RUNS"); do
  "$BIN" "$COUNT" "$LIMIT" || status=1
done
exit $status

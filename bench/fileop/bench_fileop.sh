#!/bin/bash
# bench_fileop.sh BUILD_DIR [WORK_PARENT]
# Our engine (korvan-fileop) against cp/mv, side by side, on tmpfs:
# one 1 GiB file, a tree of 10,000 files of 4 KiB and a 5 GiB sparse image
# holding 12 KiB of data; moves and trashing
# within the volume; and the GUI timer lateness during a 1 GiB copy.
# Each figure is the best of $RUNS runs.
set -euo pipefail

BUILD_DIR=${1:?usage: bench_fileop.sh BUILD_DIR [WORK_PARENT]}
PARENT=${2:-/dev/shm}
RUNS=${RUNS:-3}
FILEOP="$BUILD_DIR/bench/korvan-fileop"
LATENCY="$BUILD_DIR/bench/korvan-fileop-gui-latency"
[ -x "$FILEOP" ] || { echo "missing $FILEOP (build the korvan-fileop target)" >&2; exit 2; }

WORK=$(mktemp -d "$PARENT/korvan-bench-XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export XDG_DATA_HOME="$WORK/data" # the trash on the same volume
export QT_QPA_PLATFORM=offscreen

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
# best_of CLEANUP COMMAND...: the fastest of $RUNS runs, in seconds.
best_of() {
    local cleanup=$1; shift
    local best=""
    for _ in $(seq "$RUNS"); do
        eval "$cleanup"
        local t0 t1
        t0=$(now); "$@" >/dev/null; t1=$(now)
        local t; t=$(calc "$t1 - $t0")
        if [ -z "$best" ] || [ "$(calc "$t < $best")" = 1 ]; then best=$t; fi
    done
    eval "$cleanup"
    echo "$best"
}
ms() { printf '%.1f' "$(calc "$1 * 1000")"; }

echo "work dir: $WORK ($(df -T "$WORK" | awk 'NR==2 {print $2}'))"
echo "preparing a 1 GiB file and 10,000 files of 4 KiB..."
head -c 1G /dev/urandom > "$WORK/big.bin"
python3 - "$WORK/tree" <<'PY'
import os, sys
root = sys.argv[1]
block = os.urandom(4096)
for d in range(100):
    folder = os.path.join(root, "d%03d" % d)
    os.makedirs(folder)
    for f in range(100):
        with open(os.path.join(folder, "f%03d.dat" % f), "wb") as out:
            out.write(block)
PY

mkdir -p "$WORK/out"
CLEAN='rm -rf "$WORK/out"; mkdir -p "$WORK/out"'

cp_big=$(best_of "$CLEAN" cp "$WORK/big.bin" "$WORK/out/")
us_big=$(best_of "$CLEAN" "$FILEOP" copy "$WORK/big.bin" "$WORK/out")
# cp -p: it keeps mode and times, as we do.
cp_tree=$(best_of "$CLEAN" cp -rp "$WORK/tree" "$WORK/out/")
us_tree=$(best_of "$CLEAN" "$FILEOP" copy "$WORK/tree" "$WORK/out")

# A sparse image: 5 GiB long, three 4 KiB blocks of data.
truncate -s 5G "$WORK/image.raw"
for at in 0 2621440 5242879; do
    dd if=/dev/urandom of="$WORK/image.raw" bs=1024 seek=$at count=4 conv=notrunc status=none
done
cp_sparse=$(best_of "$CLEAN" cp "$WORK/image.raw" "$WORK/out/")
cp "$WORK/image.raw" "$WORK/out/"; cp_sparse_kib=$(du -k "$WORK/out/image.raw" | cut -f1)
us_sparse=$(best_of "$CLEAN" "$FILEOP" copy "$WORK/image.raw" "$WORK/out")
"$FILEOP" copy "$WORK/image.raw" "$WORK/out"; us_sparse_kib=$(du -k "$WORK/out/image.raw" | cut -f1)
cmp "$WORK/image.raw" "$WORK/out/image.raw" || echo "sparse copy differs from its source!"
eval "$CLEAN"
rm -f "$WORK/image.raw"

# Moves within the volume: there and back, so the source is there each run.
move_pair() { # TOOL ITEM
    if [ "$1" = mv ]; then mv "$WORK/$2" "$WORK/out/" && mv "$WORK/out/$2" "$WORK/"
    else "$FILEOP" move "$WORK/$2" "$WORK/out" && "$FILEOP" move "$WORK/out/$2" "$WORK"; fi
}
mv_big=$(best_of ":" move_pair mv big.bin)
us_mv_big=$(best_of ":" move_pair us big.bin)
mv_tree=$(best_of ":" move_pair mv tree)
us_mv_tree=$(best_of ":" move_pair us tree)

# A move onto an existing name: the older file goes to the trash (mv destroys it).
replace_pair() { # TOOL
    echo old > "$WORK/out/big.bin"
    if [ "$1" = mv ]; then mv "$WORK/big.bin" "$WORK/out/" && mv "$WORK/out/big.bin" "$WORK/"
    else "$FILEOP" move "$WORK/big.bin" "$WORK/out" && mv "$WORK/out/big.bin" "$WORK/"; fi
    rm -rf "$XDG_DATA_HOME/Trash"
}
mv_replace=$(best_of ":" replace_pair mv)
us_replace=$(best_of ":" replace_pair us)

# Trashing within the volume, then putting the item back by hand.
trash_and_restore() { # ITEM
    "$FILEOP" delete "$WORK/$1"
    mv "$XDG_DATA_HOME/Trash/files/$1" "$WORK/$1"
    rm -f "$XDG_DATA_HOME/Trash/info/$1.trashinfo"
}
trash_big=$(best_of ":" trash_and_restore big.bin)
trash_tree=$(best_of ":" trash_and_restore tree)
noop_run() { "$FILEOP" copy "$WORK/does-not-exist" "$WORK/out" 2>/dev/null || true; }
noop=$(best_of ":" noop_run)

printf '\n%-34s %12s %12s %8s\n' "case" "cp/mv (ms)" "korvan (ms)" "ratio"
printf '%-34s %12s %12s %8.3f   (throughput korvan/cp, target >= 0.95)\n' \
    "copy 1 GiB file" "$(ms "$cp_big")" "$(ms "$us_big")" "$(calc "$cp_big / $us_big")"
printf '%-34s %12s %12s %8.3f   (time korvan/cp, target <= 1.2)\n' \
    "copy 10,000 x 4 KiB (cp -rp)" "$(ms "$cp_tree")" "$(ms "$us_tree")" "$(calc "$us_tree / $cp_tree")"
printf '%-34s %12s %12s %8s   (disk used: cp %s KiB, korvan %s KiB)\n' \
    "copy 5 GiB sparse image (12 KiB)" "$(ms "$cp_sparse")" "$(ms "$us_sparse")" "" "$cp_sparse_kib" "$us_sparse_kib"
printf '%-34s %12s %12s\n' "move 1 GiB file there and back" "$(ms "$mv_big")" "$(ms "$us_mv_big")"
printf '%-34s %12s %12s\n' "move tree there and back" "$(ms "$mv_tree")" "$(ms "$us_mv_tree")"
printf '%-34s %12s %12s\n' "move 1 GiB file onto existing name" "$(ms "$mv_replace")" "$(ms "$us_replace")"
printf '%-34s %12s %12s\n' "trash 1 GiB file (+ restore by mv)" "-" "$(ms "$trash_big")"
printf '%-34s %12s %12s\n' "trash tree (+ restore by mv)" "-" "$(ms "$trash_tree")"
printf '%-34s %12s %12s\n' "korvan-fileop start-up (no-op)" "-" "$(ms "$noop")"

if [ -x "$LATENCY" ]; then
    echo
    "$LATENCY" "$WORK" 1024 || echo "GUI timer lateness above 50 ms"
fi

#!/bin/bash
# bench_fileop.sh BUILD_DIR [WORK_PARENT]
# Our engine (korvan-fileop) against cp/mv, side by side.
# On tmpfs (under WORK_PARENT, default /dev/shm): one 1 GiB file, trees of
# 10,000 and 100,000 files of 4 KiB (and the peak memory of the larger copy),
# a 5 GiB sparse image holding 12 KiB of data; moves and trashing within the
# volume; and the GUI timer lateness during a 1 GiB copy.
# On the real disk (a folder under $KORVAN_BENCH_DISK, by default BUILD_DIR
# or /var/tmp; never tmpfs): a durable 1 GiB copy against cp + sync, with
# what it leaves unwritten and how long a sync after it takes; and a durable
# move of 50,000 files of 100 bytes from tmpfs against mv + sync. Every run
# there starts after a sync.
# Each figure is the best of $RUNS runs (default 3). Every line with a target
# ends with "ok" or "OVER TARGET" and the last line counts them; the exit
# status is 0 unless something is broken (a tool failed, a copy differs, a
# folder is unusable).
set -euo pipefail

BUILD_DIR=${1:?usage: bench_fileop.sh BUILD_DIR [WORK_PARENT]}
PARENT=${2:-/dev/shm}
RUNS=${RUNS:-3}
FILEOP="$BUILD_DIR/bench/korvan-fileop"
LATENCY="$BUILD_DIR/bench/korvan-fileop-gui-latency"

die() { echo "bench_fileop: $*" >&2; exit 1; }
fs_type() { df --output=fstype "$1" | tail -n 1; }
in_memory() { case "$(fs_type "$1")" in tmpfs | ramfs) return 0 ;; *) return 1 ;; esac; }
free_kib() { df -Pk "$1" | awk 'NR == 2 { print $4 }'; }

[ -x "$FILEOP" ] || { echo "missing $FILEOP (build the korvan-fileop target)" >&2; exit 2; }
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || { echo "RUNS must be a positive number, not '$RUNS'" >&2; exit 2; }

# The durable cases need a disk-backed file system: on tmpfs a sync is free.
DISK_PARENT=${KORVAN_BENCH_DISK:-}
if [ -z "$DISK_PARENT" ]; then
    if in_memory "$BUILD_DIR"; then DISK_PARENT=/var/tmp; else DISK_PARENT=$BUILD_DIR; fi
fi
DISK_PARENT=$(realpath "$DISK_PARENT")
[ -d "$DISK_PARENT" ] || { echo "KORVAN_BENCH_DISK: no folder $DISK_PARENT" >&2; exit 2; }
if in_memory "$DISK_PARENT"; then
    echo "$DISK_PARENT is on $(fs_type "$DISK_PARENT"), not on a disk: the durable cases" \
        "would measure nothing. Set KORVAN_BENCH_DISK to a folder on a real disk." >&2
    exit 2
fi
if [ "$(stat -c %d "$PARENT")" = "$(stat -c %d "$DISK_PARENT")" ]; then
    echo "$PARENT and $DISK_PARENT are on the same volume: the move to the disk" \
        "must cross volumes (give a tmpfs WORK_PARENT or another KORVAN_BENCH_DISK)." >&2
    exit 2
fi
[ "$(free_kib "$DISK_PARENT")" -gt $((3 * 1024 * 1024)) ] \
    || { echo "less than 3 GiB free under $DISK_PARENT" >&2; exit 2; }
[ "$(free_kib "$PARENT")" -gt $((4 * 1024 * 1024)) ] \
    || { echo "less than 4 GiB free under $PARENT" >&2; exit 2; }

WORK=$(mktemp -d "$PARENT/korvan-bench-XXXXXX")
DISK=""
trap 'rm -rf "$WORK" ${DISK:+"$DISK"}' EXIT
DISK=$(mktemp -d "$DISK_PARENT/korvan-bench-XXXXXX")
export XDG_DATA_HOME="$WORK/data" # the trash on the same volume
export QT_QPA_PLATFORM=offscreen

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
holds() { awk "BEGIN { exit !($1 $2 $3) }"; } # holds A OP B
ms() { printf '%.1f' "$(calc "$1 * 1000")"; }
mib() { printf '%.1f' "$(calc "$1 / 1024")"; } # from KiB
ratio() { printf '%.3f' "$(calc "$1 / $2")"; }
# lowest VAR VALUE: VAR takes VALUE when it is empty or larger.
lowest() { if [ -z "${!1}" ] || holds "$2" "<" "${!1}"; then printf -v "$1" '%s' "$2"; fi; }
# meminfo_kib FIELD: one /proc/meminfo figure (Dirty, Writeback...) in KiB.
meminfo_kib() { awk -v field="$1:" '$1 == field { print $2 }' /proc/meminfo; }
run_quiet() { "$@" >/dev/null || die "failed: $*"; }

# best_of PREP COMMAND...: the fastest of $RUNS runs of COMMAND, in seconds.
# PREP (a command, untimed) runs before every run and once more at the end.
best_of() {
    local prep=$1; shift
    local best="" t0 t1
    for _ in $(seq "$RUNS"); do
        "$prep"
        t0=$(now); run_quiet "$@"; t1=$(now)
        lowest best "$(calc "$t1 - $t0")"
    done
    "$prep"
    echo "$best"
}

# durable_runs PREP COMMAND...: $RUNS runs of COMMAND, each after PREP and a
# sync (untimed). Right after each run it reads how much Dirty and Writeback
# grew while it ran, then times a sync. Sets RUN_S, DIRTY_KIB, WRITEBACK_KIB,
# LEFT_KIB (the two together) and SYNC_S to the lowest seen: other processes
# only ever add to them.
durable_runs() {
    local prep=$1; shift
    local d0 w0 t0 t1 d1 w1 s0 s1
    RUN_S="" DIRTY_KIB="" WRITEBACK_KIB="" LEFT_KIB="" SYNC_S=""
    for _ in $(seq "$RUNS"); do
        "$prep"
        sync
        d0=$(meminfo_kib Dirty) w0=$(meminfo_kib Writeback)
        t0=$(now); run_quiet "$@"; t1=$(now)
        d1=$(meminfo_kib Dirty) w1=$(meminfo_kib Writeback)
        s0=$(now); sync; s1=$(now)
        lowest RUN_S "$(calc "$t1 - $t0")"
        lowest DIRTY_KIB $((d1 - d0))
        lowest WRITEBACK_KIB $((w1 - w0))
        lowest LEFT_KIB $((d1 - d0 + w1 - w0))
        lowest SYNC_S "$(calc "$s1 - $s0")"
    done
    "$prep"
}

TARGETS=0
MET=0
# row LABEL CP KORVAN [RATIO [NOTE]]: a line of the table without a target.
row() { printf '%-44s %10s %10s %8s   %s\n' "$1" "$2" "$3" "${4:-}" "${5:-}"; }
# target_row LABEL CP KORVAN RATIO WHAT OP LIMIT: a line with its target,
# checked on RATIO (or on KORVAN when RATIO is empty), then ok / OVER TARGET.
target_row() {
    local label=$1 cp=$2 ours=$3 value=$4 what=$5 op=$6 limit=$7 verdict=ok
    TARGETS=$((TARGETS + 1))
    if holds "${value:-$ours}" "$op" "$limit"; then
        MET=$((MET + 1))
    else
        verdict="OVER TARGET"
    fi
    row "$label" "$cp" "$ours" "$value" "$(printf '%-34s %s' "$what $op $limit" "$verdict")"
}

# make_tree ROOT FOLDERS FILES BYTES: FOLDERS folders of FILES files of BYTES each.
make_tree() {
    python3 - "$@" <<'PY'
import os, sys
root, folders, files, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
block = os.urandom(size)
for d in range(folders):
    folder = os.path.join(root, "d%03d" % d)
    os.makedirs(folder)
    for f in range(files):
        with open(os.path.join(folder, "f%03d.dat" % f), "wb") as out:
            out.write(block)
PY
}

echo "tmpfs work dir: $WORK ($(fs_type "$WORK")); disk work dir: $DISK ($(fs_type "$DISK")); runs: $RUNS"
echo "preparing a 1 GiB file and trees of 10,000 and 100,000 files of 4 KiB..."
head -c 1G /dev/urandom >"$WORK/big.bin"
make_tree "$WORK/tree" 100 100 4096
make_tree "$WORK/tree100k" 1000 100 4096

mkdir -p "$WORK/out"
clean_out() { rm -rf "$WORK/out"; mkdir -p "$WORK/out"; }
nothing() { :; }

cp_big=$(best_of clean_out cp "$WORK/big.bin" "$WORK/out/")
us_big=$(best_of clean_out "$FILEOP" copy "$WORK/big.bin" "$WORK/out")
# cp -p: it keeps mode and times, as we do.
cp_tree=$(best_of clean_out cp -rp "$WORK/tree" "$WORK/out/")
us_tree=$(best_of clean_out "$FILEOP" copy "$WORK/tree" "$WORK/out")
cp_tree100k=$(best_of clean_out cp -rp "$WORK/tree100k" "$WORK/out/")
us_tree100k=$(best_of clean_out "$FILEOP" copy "$WORK/tree100k" "$WORK/out")
# Peak memory in runs of their own, so the timed ones carry no wrapper.
/usr/bin/time -f %M -o "$WORK/rss" cp -rp "$WORK/tree100k" "$WORK/out/"
cp_rss_kib=$(cat "$WORK/rss")
clean_out
/usr/bin/time -f %M -o "$WORK/rss" "$FILEOP" copy "$WORK/tree100k" "$WORK/out" || die "failed: copy of 100,000 files"
us_rss_kib=$(cat "$WORK/rss")
[ "$(find "$WORK/out/tree100k" -type f | wc -l)" = 100000 ] || die "the copy of 100,000 files is incomplete"
clean_out
rm -rf "$WORK/tree100k"

# A sparse image: 5 GiB long, three 4 KiB blocks of data.
truncate -s 5G "$WORK/image.raw"
for at in 0 2621440 5242879; do
    dd if=/dev/urandom of="$WORK/image.raw" bs=1024 seek=$at count=4 conv=notrunc status=none
done
cp_sparse=$(best_of clean_out cp "$WORK/image.raw" "$WORK/out/")
cp "$WORK/image.raw" "$WORK/out/"
cp_sparse_kib=$(du -k "$WORK/out/image.raw" | cut -f1)
us_sparse=$(best_of clean_out "$FILEOP" copy "$WORK/image.raw" "$WORK/out")
"$FILEOP" copy "$WORK/image.raw" "$WORK/out"
us_sparse_kib=$(du -k "$WORK/out/image.raw" | cut -f1)
cmp "$WORK/image.raw" "$WORK/out/image.raw" || die "the sparse copy differs from its source"
clean_out
rm -f "$WORK/image.raw"

# Moves within the volume: there and back, so the source is there each run.
move_pair() { # TOOL ITEM
    if [ "$1" = mv ]; then
        mv "$WORK/$2" "$WORK/out/" && mv "$WORK/out/$2" "$WORK/"
    else
        "$FILEOP" move "$WORK/$2" "$WORK/out" && "$FILEOP" move "$WORK/out/$2" "$WORK"
    fi
}
mv_big=$(best_of nothing move_pair mv big.bin)
us_mv_big=$(best_of nothing move_pair us big.bin)
mv_tree=$(best_of nothing move_pair mv tree)
us_mv_tree=$(best_of nothing move_pair us tree)

# A move onto an existing name: the older file goes to the trash (mv destroys it).
replace_pair() { # TOOL
    echo old >"$WORK/out/big.bin"
    if [ "$1" = mv ]; then
        mv "$WORK/big.bin" "$WORK/out/" && mv "$WORK/out/big.bin" "$WORK/"
    else
        "$FILEOP" move "$WORK/big.bin" "$WORK/out" && mv "$WORK/out/big.bin" "$WORK/"
    fi
    rm -rf "$XDG_DATA_HOME/Trash"
}
mv_replace=$(best_of nothing replace_pair mv)
us_replace=$(best_of nothing replace_pair us)

# Trashing within the volume, then putting the item back by hand.
trash_and_restore() { # ITEM
    "$FILEOP" delete "$WORK/$1" &&
        mv "$XDG_DATA_HOME/Trash/files/$1" "$WORK/$1" &&
        rm -f "$XDG_DATA_HOME/Trash/info/$1.trashinfo"
}
trash_big=$(best_of nothing trash_and_restore big.bin)
trash_tree=$(best_of nothing trash_and_restore tree)
noop_run() { "$FILEOP" copy "$WORK/does-not-exist" "$WORK/out" 2>/dev/null || true; }
noop=$(best_of nothing noop_run)

# On the disk. A 1 GiB copy that is done only once it is on the disk: cp has
# to be followed by a sync, korvan-fileop has to flush by itself. Each copy is
# checked against its source before it is removed.
echo "copying the 1 GiB file to the disk and a tree of 50,000 files of 100 bytes to a tarball..."
cp "$WORK/big.bin" "$DISK/big.bin"
mkdir "$DISK/out"
clean_disk_out() {
    if [ -e "$DISK/out/big.bin" ]; then
        cmp -s "$DISK/big.bin" "$DISK/out/big.bin" || die "the copy on the disk differs from its source"
    fi
    rm -rf "$DISK/out"
    mkdir "$DISK/out"
}
cp_and_sync() { cp "$DISK/big.bin" "$DISK/out/" && sync; }

durable_runs clean_disk_out cp_and_sync
cps_big=$RUN_S cps_left_kib=$LEFT_KIB
durable_runs clean_disk_out "$FILEOP" copy "$DISK/big.bin" "$DISK/out"
us_disk_big=$RUN_S us_dirty_kib=$DIRTY_KIB us_wb_kib=$WRITEBACK_KIB us_left_kib=$LEFT_KIB us_sync=$SYNC_S
durable_runs clean_disk_out cp "$DISK/big.bin" "$DISK/out/"
cp_disk_big=$RUN_S cp_dirty_kib=$DIRTY_KIB cp_wb_kib=$WRITEBACK_KIB cp_left_kib=$LEFT_KIB cp_sync=$SYNC_S
rm -f "$DISK/big.bin"

# A durable move of many small files from tmpfs to the disk: mv + sync against
# korvan-fileop alone. The source comes back from a tarball before each run.
make_tree "$WORK/small" 500 100 100
tar -cf "$WORK/small.tar" -C "$WORK" small
rm -rf "$WORK/small"
mkdir "$DISK/moved"
restore_small() {
    if [ -e "$DISK/moved/small" ]; then
        [ ! -e "$WORK/small" ] || die "the moved tree is still on tmpfs"
        [ "$(find "$DISK/moved/small" -type f | wc -l)" = 50000 ] || die "the moved tree is incomplete"
    fi
    rm -rf "$WORK/small" "$DISK/moved"
    mkdir "$DISK/moved"
    tar -xf "$WORK/small.tar" -C "$WORK"
}
mv_and_sync() { mv "$WORK/small" "$DISK/moved/" && sync; }
durable_runs restore_small mv_and_sync
mvs_small=$RUN_S
durable_runs restore_small "$FILEOP" move "$WORK/small" "$DISK/moved"
us_mv_small=$RUN_S

printf '\n%-44s %10s %10s %8s   %s\n' "case (best of $RUNS)" "cp/mv" "korvan" "ratio" "target"
target_row "copy 1 GiB file (ms)" "$(ms "$cp_big")" "$(ms "$us_big")" \
    "$(ratio "$cp_big" "$us_big")" "throughput korvan/cp" ">=" 0.95
target_row "copy 10,000 x 4 KiB, cp -rp (ms)" "$(ms "$cp_tree")" "$(ms "$us_tree")" \
    "$(ratio "$us_tree" "$cp_tree")" "time korvan/cp" "<=" 0.8
target_row "copy 100,000 x 4 KiB, cp -rp (ms)" "$(ms "$cp_tree100k")" "$(ms "$us_tree100k")" \
    "$(ratio "$us_tree100k" "$cp_tree100k")" "time korvan/cp" "<=" 0.8
row "  peak memory, max RSS (MiB)" "$(mib "$cp_rss_kib")" "$(mib "$us_rss_kib")"
row "copy 5 GiB sparse image, 12 KiB (ms)" "$(ms "$cp_sparse")" "$(ms "$us_sparse")" "" \
    "disk used: cp $cp_sparse_kib KiB, korvan $us_sparse_kib KiB"
row "move 1 GiB file there and back (ms)" "$(ms "$mv_big")" "$(ms "$us_mv_big")"
row "move tree there and back (ms)" "$(ms "$mv_tree")" "$(ms "$us_mv_tree")"
row "move 1 GiB file onto existing name (ms)" "$(ms "$mv_replace")" "$(ms "$us_replace")"
row "trash 1 GiB file, + restore by mv (ms)" "-" "$(ms "$trash_big")"
row "trash tree, + restore by mv (ms)" "-" "$(ms "$trash_tree")"
row "korvan-fileop start-up, no-op (ms)" "-" "$(ms "$noop")"

echo
echo "on the disk ($(fs_type "$DISK") under $DISK_PARENT), a sync before every run:"
target_row "durable copy 1 GiB, cp + sync (ms)" "$(ms "$cps_big")" "$(ms "$us_disk_big")" \
    "$(ratio "$us_disk_big" "$cps_big")" "time korvan/(cp+sync)" "<=" 1.05
target_row "  unwritten on return, MiB (cp: no sync)" "$(mib "$cp_left_kib")" "$(mib "$us_left_kib")" \
    "" "korvan Dirty+Writeback growth" "<" 64
target_row "  a sync right after, ms (cp: no sync)" "$(ms "$cp_sync")" "$(ms "$us_sync")" \
    "" "korvan sync time" "<" 50
printf '    (Dirty / Writeback growth, MiB: cp alone %s / %s, korvan %s / %s; cp + sync leaves %s;\n' \
    "$(mib "$cp_dirty_kib")" "$(mib "$cp_wb_kib")" "$(mib "$us_dirty_kib")" "$(mib "$us_wb_kib")" \
    "$(mib "$cps_left_kib")"
printf '     cp alone takes %s ms)\n' "$(ms "$cp_disk_big")"
target_row "durable move 50,000 x 100 B from tmpfs (ms)" "$(ms "$mvs_small")" "$(ms "$us_mv_small")" \
    "$(ratio "$us_mv_small" "$mvs_small")" "time korvan/(mv+sync)" "<=" 1.3

echo
if [ -x "$LATENCY" ]; then
    # It exits with 1 when the timer was over 50 ms late: judged below. Qt's
    # chatter on stderr is shown only when the program broke.
    latency_out=$("$LATENCY" "$WORK" 1024 2>"$WORK/latency.err") || true
    mapfile -t latency_lines <<<"$latency_out"
    printf '    %s\n' "${latency_lines[@]}"
    worst=$(echo "$latency_out" | sed -n 's/.*worst lateness \([0-9]*\) ms.*/\1/p')
    [[ -n $worst && $latency_out == *"(done)"* ]] || { cat "$WORK/latency.err" >&2; die "the GUI latency program failed"; }
    target_row "GUI timer lateness, 1 GiB copy (ms)" "-" "$worst" "" "worst lateness" "<=" 50
else
    echo "GUI latency: skipped, $LATENCY is not built (it needs the full build, not KORVAN_CORE_ONLY)"
fi

echo
echo "summary: $MET of $TARGETS cases met their target"

#!/bin/bash
# bench_fileop.sh BUILD_DIR [WORK_PARENT]
# Our engine (korvan-fileop) against cp/mv, side by side, in these sections:
# tmpfs  on tmpfs (under WORK_PARENT, default /dev/shm): one 1 GiB file, trees
#        of 10,000 and 100,000 files of 4 KiB (and the peak memory of the
#        larger copy), a 5 GiB sparse image holding 12 KiB of data; moves and
#        trashing within the volume.
# disk   on the real disk (a folder under $KORVAN_BENCH_DISK, by default
#        BUILD_DIR or /var/tmp; never tmpfs), every run after a sync: a
#        durable 1 GiB copy against cp + sync, with what it leaves unwritten
#        and how long a sync after it takes; a durable move of 50,000 files of
#        100 bytes from tmpfs against mv + sync.
# checks what verification after copying and the pre-flight cost
#        (bench_checks.sh): verified against unverified copies on the disk,
#        the pre-flight of 100,000 files against their copy on tmpfs.
# scale  whether memory grows with the tree (bench_scale.sh): peak memory of
#        a copy, a move to the disk and a trash of 10,000 to 1,000,000 files,
#        and the copy of 1,000,000 files against cp -rp.
# big    400 files of 8 MiB copied durably on the disk, against cp -rp + sync
#        (bench_big.sh).
# gui    the GUI timer lateness during a 1 GiB copy (korvan-fileop-gui-latency,
#        which the KORVAN_CORE_ONLY build leaves out).
# first  how soon the first file of 100,000 and 1,000,000 files is written,
#        and the GUI timer lateness while 1,000,000 files are copied
#        (bench_first.sh).
# KORVAN_BENCH_SECTIONS picks some of them (default "tmpfs disk checks big scale gui first"). Each
# figure is the best of $RUNS runs (default 3), or their median where a row says
# so. Every line with a target ends with "ok" or "OVER TARGET", the last line
# counts them; the exit status is 0 unless something is broken (a tool failed,
# a copy differs, a folder is unusable).
set -euo pipefail

BUILD_DIR=${1:?usage: bench_fileop.sh BUILD_DIR [WORK_PARENT]}
PARENT=${2:-/dev/shm}
RUNS=${RUNS:-3}
SECTIONS=${KORVAN_BENCH_SECTIONS:-tmpfs disk checks big scale gui first}
FILEOP="$BUILD_DIR/bench/korvan-fileop"
LATENCY="$BUILD_DIR/bench/korvan-fileop-gui-latency"

die() { echo "bench_fileop: $*" >&2; exit 1; }
refuse() { echo "bench_fileop: $*" >&2; exit 2; }
fs_type() { df --output=fstype "$1" | tail -n 1; }
in_memory() { case "$(fs_type "$1")" in tmpfs | ramfs) return 0 ;; *) return 1 ;; esac; }
free_kib() { df -Pk "$1" | awk 'NR == 2 { print $4 }'; }
wanted() { [[ " $SECTIONS " == *" $1 "* ]]; }

[ -x "$FILEOP" ] || refuse "missing $FILEOP (build the korvan-fileop target)"
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || refuse "RUNS must be a positive number, not '$RUNS'"
for section in $SECTIONS; do
    case $section in tmpfs | disk | checks | big | scale | gui | first) ;; *) refuse "KORVAN_BENCH_SECTIONS: no section '$section' (tmpfs disk checks big scale gui first)" ;; esac
done
[ "$(free_kib "$PARENT")" -gt $((4 * 1024 * 1024)) ] || refuse "less than 4 GiB free under $PARENT"

# The durable cases need a disk-backed file system: on tmpfs a sync is free.
DISK_PARENT=""
if wanted disk || wanted checks || wanted big || wanted scale; then
    DISK_PARENT=${KORVAN_BENCH_DISK:-}
    if [ -z "$DISK_PARENT" ]; then
        if in_memory "$BUILD_DIR"; then DISK_PARENT=/var/tmp; else DISK_PARENT=$BUILD_DIR; fi
    fi
    [ -d "$DISK_PARENT" ] || refuse "KORVAN_BENCH_DISK: no folder $DISK_PARENT"
    DISK_PARENT=$(realpath "$DISK_PARENT")
    if in_memory "$DISK_PARENT"; then
        refuse "$DISK_PARENT is on $(fs_type "$DISK_PARENT"), not on a disk: the durable cases" \
            "would measure nothing. Set KORVAN_BENCH_DISK to a folder on a real disk."
    fi
    if [ "$(stat -c %d "$PARENT")" = "$(stat -c %d "$DISK_PARENT")" ]; then
        refuse "$PARENT and $DISK_PARENT are on the same volume: the move to the disk must" \
            "cross volumes (give a tmpfs WORK_PARENT or another KORVAN_BENCH_DISK)."
    fi
    [ "$(free_kib "$DISK_PARENT")" -gt $((3 * 1024 * 1024)) ] || refuse "less than 3 GiB free under $DISK_PARENT"
fi

WORK=$(mktemp -d "$PARENT/korvan-bench-XXXXXX")
DISK=""
trap 'rm -rf "$WORK" ${DISK:+"$DISK"}' EXIT
if wanted disk || wanted checks || wanted big || wanted scale; then DISK=$(mktemp -d "$DISK_PARENT/korvan-bench-XXXXXX"); fi
export XDG_DATA_HOME="$WORK/data" # the trash on the same volume
export QT_QPA_PLATFORM=offscreen

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
holds() { awk "BEGIN { exit !($1 $2 $3) }"; } # holds A OP B
ms() { printf '%.1f' "$(calc "$1 * 1000")"; }
mib() { if [ -n "$1" ]; then printf '%.1f' "$(calc "$1 / 1024")"; else echo "?"; fi; } # from KiB
ratio() { printf '%.3f' "$(calc "$1 / $2")"; }
# lowest VAR VALUE / highest VAR VALUE: VAR takes VALUE when it is unset,
# empty, or larger / smaller.
lowest() { if [ -z "${!1:-}" ] || holds "$2" "<" "${!1}"; then printf -v "$1" '%s' "$2"; fi; }
highest() { if [ -z "${!1:-}" ] || holds "$2" ">" "${!1}"; then printf -v "$1" '%s' "$2"; fi; }
# meminfo_kib FIELD: one /proc/meminfo figure (Dirty, Writeback...) in KiB.
meminfo_kib() { awk -v field="$1:" '$1 == field { print $2 }' /proc/meminfo; }
# file_unwritten_kib FILE: how much of FILE's cached data is dirty or under
# writeback (cachestat, Linux 6.5), whatever other processes write; "?" when
# the kernel cannot tell.
file_unwritten_kib() {
    python3 - "$1" <<'PY'
import ctypes, os, sys
class Range(ctypes.Structure):
    _fields_ = [("off", ctypes.c_uint64), ("len", ctypes.c_uint64)]
class Stat(ctypes.Structure):
    _fields_ = [(n, ctypes.c_uint64) for n in ("cache", "dirty", "writeback", "evicted", "recently_evicted")]
fd = os.open(sys.argv[1], os.O_RDONLY)
stat = Stat()
cachestat = 451  # the same number on every architecture
ok = ctypes.CDLL(None).syscall(cachestat, fd, ctypes.byref(Range(0, 0)), ctypes.byref(stat), 0) == 0
print((stat.dirty + stat.writeback) * os.sysconf("SC_PAGE_SIZE") // 1024 if ok else "?")
PY
}
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

# median: the median of the numbers on standard input, one a line.
median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
# side_by_side NAME PREP A... -- B...: runs A and B alternately, $RUNS times
# each, PREP (untimed) before every run and once more at the end, so a
# machine getting busier hits both; NAME_a and NAME_b get their median
# times in seconds.
side_by_side() {
    local name=$1 prep=$2 a=() b=() ta="" tb="" t0 t1
    shift 2
    while [ "$1" != -- ]; do a+=("$1"); shift; done
    shift
    b=("$@")
    for _ in $(seq "$RUNS"); do
        "$prep"; t0=$(now); run_quiet "${a[@]}"; t1=$(now); ta+="$(calc "$t1 - $t0")"$'\n'
        "$prep"; t0=$(now); run_quiet "${b[@]}"; t1=$(now); tb+="$(calc "$t1 - $t0")"$'\n'
    done
    "$prep"
    printf -v "${name}_a" '%s' "$(printf '%s' "$ta" | median)"
    printf -v "${name}_b" '%s' "$(printf '%s' "$tb" | median)"
}
# peak_kib COMMAND...: runs COMMAND once and prints its peak memory (max RSS, KiB).
peak_kib() {
    /usr/bin/time -f %M -o "$WORK/rss" "$@" >/dev/null || die "failed: $*"
    cat "$WORK/rss"
}

# durable_run NAME PREP FILE COMMAND...: one run of COMMAND after PREP and a
# sync (untimed). Right after it, reads how much Dirty and Writeback grew
# while it ran and how much of FILE (unless "-") is unwritten, then times a
# sync. Over the runs it keeps in NAME_s the shortest time (other processes
# only add to it), and the worst of the rest, since a sync by another
# process can make one run look flushed: NAME_dirty_kib, NAME_wb_kib,
# NAME_left_kib (the two together), NAME_file_kib and NAME_sync_s. The
# callers alternate the tools run by run, so that a machine getting busier
# or slower hits both.
durable_run() {
    local name=$1 prep=$2 file=$3; shift 3
    local d0 w0 t0 t1 d1 w1 f=0 s0 s1
    "$prep"
    sync
    d0=$(meminfo_kib Dirty) w0=$(meminfo_kib Writeback)
    t0=$(now); run_quiet "$@"; t1=$(now)
    d1=$(meminfo_kib Dirty) w1=$(meminfo_kib Writeback)
    if [ "$file" != - ]; then f=$(file_unwritten_kib "$file"); fi
    s0=$(now); sync; s1=$(now)
    lowest "${name}_s" "$(calc "$t1 - $t0")"
    highest "${name}_dirty_kib" $((d1 - d0))
    highest "${name}_wb_kib" $((w1 - w0))
    highest "${name}_left_kib" $((d1 - d0 + w1 - w0))
    if [ "$f" != "?" ]; then highest "${name}_file_kib" "$f"; fi
    highest "${name}_sync_s" "$(calc "$s1 - $s0")"
}

TARGETS=0
MET=0
# row LABEL CP KORVAN [RATIO [NOTE]]: a line of the table without a target.
row() { printf '%-44s %10s %10s %8s   %s\n' "$1" "$2" "$3" "${4:-}" "${5:-}"; }
# header TITLE [NOTE...]: a section's title, its notes, the column heads.
header() {
    printf '\n%s\n' "$1"
    shift
    if [ $# -gt 0 ]; then printf '%s\n' "$@"; fi
    printf '%-44s %10s %10s %8s   %s\n' "case (best of $RUNS, or median where marked)" "cp/mv" "korvan" "ratio" "target"
}
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

clean_out() { rm -rf "$WORK/out"; mkdir -p "$WORK/out"; }
# shellcheck source=bench_checks.sh
source "$(dirname "${BASH_SOURCE[0]}")/bench_checks.sh"
# shellcheck source=bench_first.sh
source "$(dirname "${BASH_SOURCE[0]}")/bench_first.sh"
# shellcheck source=bench_scale.sh
source "$(dirname "${BASH_SOURCE[0]}")/bench_scale.sh"
# shellcheck source=bench_big.sh
source "$(dirname "${BASH_SOURCE[0]}")/bench_big.sh"
nothing() { :; }

tmpfs_section() {
    echo "preparing trees of 10,000 and 100,000 files of 4 KiB..."
    make_tree "$WORK/tree" 100 100 4096
    make_tree "$WORK/tree100k" 1000 100 4096

    local cp_big us_big cp_tree us_tree cp_tree100k us_tree100k cp_rss_kib us_rss_kib tree_a tree_b tree100k_a tree100k_b
    cp_big=$(best_of clean_out cp "$WORK/big.bin" "$WORK/out/")
    us_big=$(best_of clean_out "$FILEOP" copy "$WORK/big.bin" "$WORK/out")
    # cp -p: it keeps mode and times, as we do. Medians of alternating runs,
    # at least 9 of them: a copy of 10,000 files takes a fifth of a second,
    # and one run of either tool varies by a third from the next here.
    local tree_runs=$((RUNS > 9 ? RUNS : 9))
    RUNS=$tree_runs side_by_side tree clean_out cp -rp "$WORK/tree" "$WORK/out/" -- "$FILEOP" copy "$WORK/tree" "$WORK/out"
    RUNS=$tree_runs side_by_side tree100k clean_out cp -rp "$WORK/tree100k" "$WORK/out/" -- "$FILEOP" copy "$WORK/tree100k" "$WORK/out"
    cp_tree=$tree_a us_tree=$tree_b cp_tree100k=$tree100k_a us_tree100k=$tree100k_b
    # Peak memory in runs of their own, so the timed ones carry no wrapper.
    /usr/bin/time -f %M -o "$WORK/rss" cp -rp "$WORK/tree100k" "$WORK/out/"
    cp_rss_kib=$(cat "$WORK/rss")
    clean_out
    /usr/bin/time -f %M -o "$WORK/rss" "$FILEOP" copy "$WORK/tree100k" "$WORK/out" \
        || die "failed: copy of 100,000 files"
    us_rss_kib=$(cat "$WORK/rss")
    [ "$(find "$WORK/out/tree100k" -type f | wc -l)" = 100000 ] || die "the copy of 100,000 files is incomplete"
    clean_out
    rm -rf "$WORK/tree100k"

    # A sparse image: 5 GiB long, three 4 KiB blocks of data.
    local cp_sparse us_sparse cp_sparse_kib us_sparse_kib
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
    local mv_big us_mv_big mv_tree us_mv_tree
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
    local mv_replace us_replace
    mv_replace=$(best_of nothing replace_pair mv)
    us_replace=$(best_of nothing replace_pair us)

    # Trashing within the volume, then putting the item back by hand.
    trash_and_restore() { # ITEM
        "$FILEOP" delete "$WORK/$1" &&
            mv "$XDG_DATA_HOME/Trash/files/$1" "$WORK/$1" &&
            rm -f "$XDG_DATA_HOME/Trash/info/$1.trashinfo"
    }
    noop_run() { "$FILEOP" copy "$WORK/does-not-exist" "$WORK/out" 2>/dev/null || true; }
    local trash_big trash_tree noop
    trash_big=$(best_of nothing trash_and_restore big.bin)
    trash_tree=$(best_of nothing trash_and_restore tree)
    noop=$(best_of nothing noop_run)
    rm -rf "$WORK/tree"

    header "on tmpfs ($WORK):"
    target_row "copy 1 GiB file (ms)" "$(ms "$cp_big")" "$(ms "$us_big")" \
        "$(ratio "$cp_big" "$us_big")" "throughput korvan/cp" ">=" 0.95
    target_row "copy 10,000 x 4 KiB, cp -rp, med. of $tree_runs (ms)" "$(ms "$cp_tree")" "$(ms "$us_tree")" \
        "$(ratio "$us_tree" "$cp_tree")" "time korvan/cp" "<=" 0.6
    target_row "copy 100,000 x 4 KiB, cp -rp, med. of $tree_runs (ms)" "$(ms "$cp_tree100k")" "$(ms "$us_tree100k")" \
        "$(ratio "$us_tree100k" "$cp_tree100k")" "time korvan/cp" "<=" 0.6
    row "  peak memory, max RSS (MiB)" "$(mib "$cp_rss_kib")" "$(mib "$us_rss_kib")"
    row "copy 5 GiB sparse image, 12 KiB (ms)" "$(ms "$cp_sparse")" "$(ms "$us_sparse")" "" \
        "disk used: cp $cp_sparse_kib KiB, korvan $us_sparse_kib KiB"
    row "move 1 GiB file there and back (ms)" "$(ms "$mv_big")" "$(ms "$us_mv_big")"
    row "move tree there and back (ms)" "$(ms "$mv_tree")" "$(ms "$us_mv_tree")"
    row "move 1 GiB file onto existing name (ms)" "$(ms "$mv_replace")" "$(ms "$us_replace")"
    row "trash 1 GiB file, + restore by mv (ms)" "-" "$(ms "$trash_big")"
    row "trash tree, + restore by mv (ms)" "-" "$(ms "$trash_tree")"
    row "korvan-fileop start-up, no-op (ms)" "-" "$(ms "$noop")"
}

# shellcheck disable=SC2154 # the figures are set by name in durable_run
disk_section() {
    # A 1 GiB copy that is done only once it is on the disk: cp has to be
    # followed by a sync, korvan-fileop has to flush by itself. Each copy is
    # checked against its source before it is removed.
    echo "copying the 1 GiB file to the disk..."
    cp "$WORK/big.bin" "$DISK/big.bin"
    clean_disk_out() { # after a run, out/ holds its copy
        if [ -d "$DISK/out" ]; then
            cmp -s "$DISK/big.bin" "$DISK/out/big.bin" || die "the copy on the disk is missing or differs"
        fi
        rm -rf "$DISK/out"
        mkdir "$DISK/out"
    }
    cp_and_sync() { cp "$DISK/big.bin" "$DISK/out/" && sync; }
    for _ in $(seq "$RUNS"); do
        durable_run cp_sync_big clean_disk_out "$DISK/out/big.bin" cp_and_sync
        durable_run us_disk_big clean_disk_out "$DISK/out/big.bin" "$FILEOP" copy "$DISK/big.bin" "$DISK/out"
        durable_run cp_disk_big clean_disk_out "$DISK/out/big.bin" cp "$DISK/big.bin" "$DISK/out/"
    done
    clean_disk_out
    rm -f "$DISK/big.bin"

    # A durable move of many small files from tmpfs to the disk: mv + sync
    # against korvan-fileop alone. The source comes back from a tarball before
    # each run. Nothing on the disk is deleted until the end: ext4 without a
    # journal skips recently freed inodes while their table is cached, and
    # creating 50,000 files next to 50,000 just deleted got 5 to 20 times
    # slower here. So every run moves into a folder of its own.
    echo "preparing a tree of 50,000 files of 100 bytes..."
    make_tree "$WORK/small" 500 100 100
    tar -cf "$WORK/small.tar" -C "$WORK" small
    rm -rf "$WORK/small"
    local moves=0
    restore_small() {
        rm -rf "$WORK/small"
        tar -xf "$WORK/small.tar" -C "$WORK"
        moves=$((moves + 1))
        mkdir "$DISK/moved.$moves"
    }
    mv_and_sync() { mv "$WORK/small" "$DISK/moved.$moves/" && sync; }
    korvan_move() { "$FILEOP" move "$WORK/small" "$DISK/moved.$moves"; }
    for _ in $(seq "$RUNS"); do
        durable_run mv_sync_small restore_small - mv_and_sync
        durable_run us_mv_small restore_small - korvan_move
    done
    rm -rf "$WORK/small" "$WORK/small.tar"
    for i in $(seq "$moves"); do
        [ "$(find "$DISK/moved.$i/small" -type f | wc -l)" = 50000 ] || die "a tree moved to the disk is incomplete"
    done

    local device notes=()
    device=$(df --output=source "$DISK" | tail -n 1)
    if [ "$(cat "/sys/fs/ext4/${device##*/}/journal_task" 2>/dev/null)" = "<none>" ]; then
        notes=("(ext4 without a journal: for many minutes after many files were deleted, creating files"
            " nearby is slow, so a bench run just before, or another one, slows both move columns)")
    fi
    header "on the disk ($(fs_type "$DISK"), $DISK), a sync before every run; unwritten data and sync: worst run" \
        "${notes[@]}"
    target_row "durable copy 1 GiB, cp + sync (ms)" "$(ms "$cp_sync_big_s")" "$(ms "$us_disk_big_s")" \
        "$(ratio "$us_disk_big_s" "$cp_sync_big_s")" "time korvan/(cp+sync)" "<=" 1.05
    target_row "  unwritten on return, MiB (cp: no sync)" "$(mib "$cp_disk_big_left_kib")" \
        "$(mib "$us_disk_big_left_kib")" "" "korvan Dirty+Writeback growth" "<" 64
    target_row "  a sync right after, ms (cp: no sync)" "$(ms "$cp_disk_big_sync_s")" \
        "$(ms "$us_disk_big_sync_s")" "" "korvan sync time" "<" 50
    printf '    (Dirty / Writeback growth, MiB: cp alone %s / %s, korvan %s / %s; cp + sync leaves %s.\n' \
        "$(mib "$cp_disk_big_dirty_kib")" "$(mib "$cp_disk_big_wb_kib")" \
        "$(mib "$us_disk_big_dirty_kib")" "$(mib "$us_disk_big_wb_kib")" "$(mib "$cp_sync_big_left_kib")"
    printf '     The copy itself still unwritten, MiB: cp alone %s, korvan %s, cp + sync %s. cp alone takes %s ms)\n' \
        "$(mib "${cp_disk_big_file_kib:-}")" "$(mib "${us_disk_big_file_kib:-}")" "$(mib "${cp_sync_big_file_kib:-}")" \
        "$(ms "$cp_disk_big_s")"
    target_row "durable move 50,000 x 100 B from tmpfs (ms)" "$(ms "$mv_sync_small_s")" \
        "$(ms "$us_mv_small_s")" "$(ratio "$us_mv_small_s" "$mv_sync_small_s")" "time korvan/(mv+sync)" "<=" 1.3
}

gui_section() {
    echo
    if [ ! -x "$LATENCY" ]; then
        echo "GUI latency: skipped, $LATENCY is not built (it needs the full build, not KORVAN_CORE_ONLY)"
        return
    fi
    # It exits with 1 when the timer was over 50 ms late: judged below. Qt's
    # chatter on stderr is shown only when the program broke.
    local out worst lines
    out=$("$LATENCY" "$WORK" 1024 2>"$WORK/latency.err") || true
    worst=$(echo "$out" | sed -n 's/.*worst lateness \([0-9]*\) ms.*/\1/p')
    [[ -n $worst && $out == *"(done)"* ]] || { cat "$WORK/latency.err" >&2; die "the GUI latency program failed"; }
    echo "GUI latency (korvan-fileop-gui-latency, offscreen):"
    mapfile -t lines <<<"$out"
    printf '    %s\n' "${lines[@]}"
    target_row "GUI timer lateness, 1 GiB copy (ms)" "-" "$worst" "" "worst lateness" "<=" 50
}

echo "sections: $SECTIONS; runs: $RUNS; tmpfs: $WORK ($(fs_type "$WORK"))${DISK:+; disk: $DISK ($(fs_type "$DISK"))}"
if wanted tmpfs || wanted disk || wanted checks; then
    echo "preparing a 1 GiB file..."
    head -c 1G /dev/urandom >"$WORK/big.bin"
    clean_out
fi
if wanted tmpfs; then tmpfs_section; fi
if wanted disk; then disk_section; fi
if wanted checks; then checks_section; fi
if wanted big; then big_section; fi
if wanted scale; then scale_section; fi
if wanted gui; then gui_section; fi
if wanted first; then first_section; fi

echo
echo "summary: $MET of $TARGETS cases met their target"

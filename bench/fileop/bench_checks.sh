# The "checks" section of bench_fileop.sh (sourced by it): what verification
# after copying and the look at the target before the first write cost.
#   verified durable 1 GiB copy on the disk      <= 1.6 x the unverified one
#   verified 10,000 x 4 KiB on the disk          <= 1.5 x unverified
#   pre-flight of 100,000 files (tmpfs)          <= 0.25 x the copy's own time
# The pre-flight alone is timed as a copy onto a volume taken for FAT
# (KORVAN_FILEOP_VOLUME_TYPE) with one name FAT refuses, cancelled there
# (--on-preflight=cancel): it ends after the walk, before any write.

checks_section() {
    local runs_done=0
    fresh_disk_out() { # a folder of its own per run (ext4 without a journal, see the disk section)
        runs_done=$((runs_done + 1))
        CHECK_OUT="$DISK/check.$runs_done"
        mkdir "$CHECK_OUT"
    }
    echo "copying the 1 GiB file and a tree of 10,000 files of 4 KiB to the disk..."
    cp "$WORK/big.bin" "$DISK/big.bin"
    make_tree "$DISK/tree" 100 100 4096
    korvan_big() { "$FILEOP" copy "$DISK/big.bin" "$CHECK_OUT" "$@"; }
    korvan_tree() { "$FILEOP" copy "$DISK/tree" "$CHECK_OUT" "$@"; }
    for _ in $(seq "$RUNS"); do
        durable_run plain_big fresh_disk_out - korvan_big
        durable_run verified_big fresh_disk_out - korvan_big --verify
        cmp -s "$DISK/big.bin" "$CHECK_OUT/big.bin" || die "a verified copy on the disk differs"
        durable_run plain_tree fresh_disk_out - korvan_tree
        durable_run verified_tree fresh_disk_out - korvan_tree --verify
        [ "$(find "$CHECK_OUT/tree" -type f | wc -l)" = 10000 ] || die "a verified tree is incomplete"
    done
    rm -rf "$DISK"/check.* "$DISK/tree" "$DISK/big.bin"

    echo "preparing a tree of 100,000 files of 4 KiB (one of them named for FAT to refuse)..."
    [ -d "$WORK/tree100k" ] || make_tree "$WORK/tree100k" 1000 100 4096
    local copy_100k preflight_100k
    copy_100k=$(best_of clean_out "$FILEOP" copy "$WORK/tree100k" "$WORK/out")
    touch "$WORK/tree100k/d999/refused:name"
    preflight_only() {
        KORVAN_FILEOP_VOLUME_TYPE=vfat "$FILEOP" copy "$WORK/tree100k" "$WORK/out" --on-preflight=cancel 2>/dev/null
        [ $? -eq 4 ] && [ -z "$(ls -A "$WORK/out")" ]
    }
    preflight_100k=$(best_of clean_out preflight_only)
    rm -f "$WORK/tree100k/d999/refused:name"

    header "verification after copying (on the disk, durable, a sync before every run) and the pre-flight"
    target_row "verified durable copy 1 GiB (ms)" "$(ms "$plain_big_s")" "$(ms "$verified_big_s")" \
        "$(ratio "$verified_big_s" "$plain_big_s")" "time verified/unverified" "<=" 1.6
    target_row "verified copy 10,000 x 4 KiB (ms)" "$(ms "$plain_tree_s")" "$(ms "$verified_tree_s")" \
        "$(ratio "$verified_tree_s" "$plain_tree_s")" "time verified/unverified" "<=" 1.5
    target_row "pre-flight of 100,000 files, tmpfs (ms)" "$(ms "$copy_100k")" "$(ms "$preflight_100k")" \
        "$(ratio "$preflight_100k" "$copy_100k")" "time pre-flight/copy" "<=" 0.25
    echo "    (the first column is korvan-fileop unverified, and the copy of the 100,000 files)"
}

# The "big" section of bench_fileop.sh (sourced by it): a folder of big
# files, as camera videos or disk images come, copied durably on the disk.
#   400 x 8 MiB (3.2 GiB), korvan-fileop copy    <= 0.8 x cp -rp + sync
#   unwritten data when it returns              < 64 MiB
# Every run starts after a sync and writes into a folder of its own; the
# tools alternate run by run; times are medians, what is left unwritten
# and the sync after it are the worst run.

# big_run NAME PREP COMMAND...: one run of COMMAND after PREP and a sync;
# its time goes to NAME_times (one a line), and the growth of Dirty +
# Writeback right after it and the time of a sync then are kept when they
# are the worst so far (NAME_left_kib, NAME_sync_s).
big_run() {
    local name=$1 prep=$2; shift 2
    local d0 w0 t0 t1 d1 w1 s0 s1 times_var="${name}_times"
    "$prep"
    sync
    d0=$(meminfo_kib Dirty) w0=$(meminfo_kib Writeback)
    t0=$(now); run_quiet "$@"; t1=$(now)
    d1=$(meminfo_kib Dirty) w1=$(meminfo_kib Writeback)
    s0=$(now); sync; s1=$(now)
    printf -v "$times_var" '%s%s\n' "${!times_var:-}" "$(calc "$t1 - $t0")"
    highest "${name}_left_kib" $((d1 - d0 + w1 - w0))
    highest "${name}_sync_s" "$(calc "$s1 - $s0")"
}

# shellcheck disable=SC2154 # the figures are set by name in big_run
big_section() {
    local files=400 mib=8
    local need_kib=$(((2 * files * mib + 512) * 1024))
    [ "$(free_kib "$DISK")" -gt "$need_kib" ] || refuse "the big section needs $((need_kib / 1024 / 1024)) GiB free under $DISK"
    echo "preparing $files files of $mib MiB on the disk..."
    python3 - "$DISK/videos" "$files" "$mib" <<'PY'
import os, sys
root, files, mib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
os.makedirs(root)
block = bytearray(os.urandom(mib << 20))
for f in range(files):
    block[:8] = f.to_bytes(8, "little")  # each file its own
    with open(os.path.join(root, "clip%03d.mp4" % f), "wb") as out:
        out.write(block)
PY
    local runs_done=0
    fresh_big_out() { # the last run's copy checked, then a folder of its own
        if [ -n "${BIG_OUT:-}" ]; then
            [ "$(find "$BIG_OUT/videos" -type f | wc -l)" = "$files" ] || die "a copy of the big files is incomplete"
            cmp -s "$DISK/videos/clip$(printf %03d $((files - 1))).mp4" \
                "$BIG_OUT/videos/clip$(printf %03d $((files - 1))).mp4" || die "a copy of the big files differs"
            rm -rf "$BIG_OUT"
        fi
        runs_done=$((runs_done + 1))
        BIG_OUT="$DISK/big.$runs_done"
        mkdir "$BIG_OUT"
    }
    cp_and_sync() { cp -rp "$DISK/videos" "$BIG_OUT/" && sync; }
    korvan_copy() { "$FILEOP" copy "$DISK/videos" "$BIG_OUT"; }
    BIG_OUT=""
    for _ in $(seq "$RUNS"); do
        big_run cp_sync_videos fresh_big_out cp_and_sync
        big_run us_videos fresh_big_out korvan_copy
    done
    fresh_big_out
    rm -rf "$BIG_OUT" "$DISK/videos"

    local cp_s us_s
    cp_s=$(printf '%s' "$cp_sync_videos_times" | median)
    us_s=$(printf '%s' "$us_videos_times" | median)
    header "big files on the disk ($(fs_type "$DISK"), $DISK), durable, a sync before every run (medians; unwritten data and sync: worst run)"
    target_row "copy $files x $mib MiB, cp -rp + sync (ms)" "$(ms "$cp_s")" "$(ms "$us_s")" \
        "$(ratio "$us_s" "$cp_s")" "time korvan/(cp -rp+sync)" "<=" 0.8
    target_row "  unwritten on return, MiB" "-" "$(mib "$us_videos_left_kib")" "" \
        "korvan Dirty+Writeback growth" "<" 64
    row "  a sync right after (ms)" "-" "$(ms "$us_videos_sync_s")"
    printf '    (all runs, s: cp -rp + sync %s; korvan %s)\n' "$(printf '%s' "$cp_sync_videos_times" | tr '\n' ' ')" \
        "$(printf '%s' "$us_videos_times" | tr '\n' ' ')"
}

# The "first" section of bench_fileop.sh (sourced by it): how soon the first
# file of a big tree is written, counted from the start of the process
# (korvan-fileop --report-first-write), on tmpfs:
#   1,000,000 files of 100 B, count beside the copy     <= 300 ms
#   100,000 files of 100 B, the same                    <= 300 ms
# Beside each, the same copy onto a volume taken for NTFS
# (KORVAN_FILEOP_VOLUME_TYPE), whose names must be checked first: the
# whole tree is walked before the first write, as every copy did before.
# Each run is stopped (SIGTERM, which cancels the safe way) once its first
# file is written; figures are medians of $RUNS runs. Then, with the full
# build, the GUI timer lateness while the program's own operation copies
# 1,000,000 files of 100 B, its progress window showing the counts grow:
#   worst lateness of a 10 ms timer                     <= 50 ms

# make_small_tree ROOT FOLDERS FILES: FOLDERS folders of FILES files of 100 B.
make_small_tree() {
    python3 - "$@" <<'PY'
import os, sys
root, folders, files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
block = os.urandom(100)
flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC
for d in range(folders):
    folder = os.path.join(root, "d%04d" % d)
    os.makedirs(folder)
    fd_dir = os.open(folder, os.O_RDONLY | os.O_DIRECTORY)
    for f in range(files):
        fd = os.open("f%04d" % f, flags, 0o644, dir_fd=fd_dir)
        os.write(fd, block)
        os.close(fd)
    os.close(fd_dir)
PY
}

# first_write_ms TREE [ENV...]: one copy of TREE into $WORK/out, stopped once
# its first file is written; prints the milliseconds it reported.
first_write_ms() {
    local tree=$1 report="$WORK/first.out" pid line=""
    shift
    : >"$report"
    env "$@" "$FILEOP" copy "$tree" "$WORK/out" --report-first-write >"$report" 2>/dev/null &
    pid=$!
    while kill -0 "$pid" 2>/dev/null; do
        line=$(sed -n 's/^first file written: \([0-9-]*\) ms$/\1/p' "$report")
        [ -n "$line" ] && break
        sleep 0.01
    done
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" || true
    line=$(sed -n 's/^first file written: \([0-9-]*\) ms$/\1/p' "$report")
    [[ $line =~ ^[0-9]+$ ]] || die "korvan-fileop reported no first write for $tree"
    echo "$line"
}

# first_medians NAME TREE: NAME_walk and NAME_beside get the median
# milliseconds with the walk first (NTFS target) and with the count beside,
# run alternately.
first_medians() {
    local name=$1 tree=$2 walk="" beside=""
    for _ in $(seq "$RUNS"); do
        clean_out
        walk+="$(first_write_ms "$tree" KORVAN_FILEOP_VOLUME_TYPE=ntfs)"$'\n'
        clean_out
        beside+="$(first_write_ms "$tree")"$'\n'
    done
    clean_out
    printf -v "${name}_walk" '%s' "$(printf '%s' "$walk" | median)"
    printf -v "${name}_beside" '%s' "$(printf '%s' "$beside" | median)"
}

first_section() {
    echo "preparing trees of 100,000 and 1,000,000 files of 100 B..."
    make_small_tree "$WORK/first100k" 100 1000
    make_small_tree "$WORK/first1m" 1000 1000
    first_medians first_100k "$WORK/first100k"
    first_medians first_1m "$WORK/first1m"
    rm -rf "$WORK/first100k" "$WORK/first1m"
    local gui_worst="" out="" lines
    if [ -x "$LATENCY" ]; then
        echo "copying 1,000,000 files of 100 B through the GUI's operation..."
        out=$("$LATENCY" "$WORK" 0 1000000 2>"$WORK/latency.err") || true
        gui_worst=$(echo "$out" | sed -n 's/.*worst lateness \([0-9]*\) ms.*/\1/p')
        [[ -n $gui_worst && $out == *"(done)"* ]] || { cat "$WORK/latency.err" >&2; die "the GUI latency program failed"; }
        mapfile -t lines <<<"$out"
        printf '    %s\n' "${lines[@]}"
    fi

    header "the first file written, from the start of the process (tmpfs, medians)" \
        "(the first column: the same copy onto a volume taken for NTFS, walked before the first write)"
    target_row "first file of 100,000 x 100 B (ms)" "$first_100k_walk" "$first_100k_beside" "" \
        "ms after start" "<=" 300
    target_row "first file of 1,000,000 x 100 B (ms)" "$first_1m_walk" "$first_1m_beside" "" \
        "ms after start" "<=" 300
    if [ -n "$gui_worst" ]; then
        target_row "GUI timer lateness, 1,000,000 x 100 B (ms)" "-" "$gui_worst" "" "worst lateness" "<=" 50
    else
        echo "GUI latency of the 1,000,000-file copy: skipped, $LATENCY is not built (it needs the full build)"
    fi
}

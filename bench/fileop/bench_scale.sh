# The "scale" section of bench_fileop.sh (sourced by it): whether memory
# grows with the tree. Trees of 10,000, 100,000 and 1,000,000 files of
# 100 B (folders of 1,000 files) on tmpfs; the peak memory (max RSS) of
# korvan-fileop for a copy on tmpfs, a move across volumes to the disk and a
# trash, per tree size:
#   peak memory of each at 1,000,000 files         <= 64 MiB
#   copy of 1,000,000 files on tmpfs, cp -rp       <= 0.5 x its time (median)
# KORVAN_SCALE_SIZES picks the tree sizes (default "10000 100000 1000000");
# the two targets are judged only when 1,000,000 is among them. The moves to
# the disk run once per size, into a folder of their own (ext4 without a
# journal, see the disk section); the moved trees are deleted at the end.

# scale_tree ROOT FILES: FILES files of 100 B, 1,000 to a folder, made
# through the folders' descriptors (a million files in a few seconds).
scale_tree() {
    python3 - "$@" <<'PY'
import os, sys
root, total = sys.argv[1], int(sys.argv[2])
data = os.urandom(100)
os.makedirs(root)
top = os.open(root, os.O_RDONLY | os.O_DIRECTORY)
flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL
for d in range((total + 999) // 1000):
    name = "d%04d" % d
    os.mkdir(name, dir_fd=top)
    folder = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=top)
    for f in range(min(1000, total - d * 1000)):
        fd = os.open("f%04d.dat" % f, flags, 0o644, dir_fd=folder)
        os.write(fd, data)
        os.close(fd)
    os.close(folder)
os.close(top)
PY
}

# scale_count FOLDER: the files under FOLDER.
scale_count() { find "$1" -type f | wc -l; }

scale_section() {
    local sizes=${KORVAN_SCALE_SIZES:-10000 100000 1000000} size moves=0
    local -A copy_kib move_kib trash_kib
    for size in $sizes; do
        [[ $size =~ ^[1-9][0-9]*$ ]] || refuse "KORVAN_SCALE_SIZES: '$size' is not a number of files"
        echo "scale: a tree of $size files of 100 B..."
        rm -rf "$WORK/scale"
        scale_tree "$WORK/scale" "$size"
        clean_out
        copy_kib[$size]=$(peak_kib "$FILEOP" copy "$WORK/scale" "$WORK/out")
        [ "$(scale_count "$WORK/out/scale")" = "$size" ] || die "the copy of $size files is incomplete"
        clean_out
        # Trashed, then put back by hand.
        trash_kib[$size]=$(peak_kib "$FILEOP" delete "$WORK/scale")
        mv "$XDG_DATA_HOME/Trash/files/scale" "$WORK/scale" || die "the trashed tree is not in the trash"
        rm -rf "$XDG_DATA_HOME/Trash"
        # Across volumes, to the disk: the tree leaves tmpfs.
        moves=$((moves + 1))
        mkdir "$DISK/scale.$moves"
        move_kib[$size]=$(peak_kib "$FILEOP" move "$WORK/scale" "$DISK/scale.$moves")
        [ ! -e "$WORK/scale" ] || die "the move of $size files left its source"
        [ "$(scale_count "$DISK/scale.$moves/scale")" = "$size" ] || die "the move of $size files is incomplete"
    done

    local copy_1m_cp="" copy_1m_us=""
    if [[ " $sizes " == *" 1000000 "* ]]; then
        echo "scale: copies of 1,000,000 files, korvan-fileop and cp -rp side by side..."
        rm -rf "$WORK/scale"
        scale_tree "$WORK/scale" 1000000
        side_by_side scale_copy clean_out "$FILEOP" copy "$WORK/scale" "$WORK/out" -- cp -rp "$WORK/scale" "$WORK/out/"
        copy_1m_us=$scale_copy_a copy_1m_cp=$scale_copy_b
    fi
    rm -rf "$WORK/scale" "$DISK"/scale.*

    printf '\npeak memory (max RSS, MiB) of korvan-fileop by tree size (files of 100 B, %s to the disk)\n' "$DISK"
    local line
    printf -v line '%-30s' "operation"
    for size in $sizes; do printf -v line '%s %10s' "$line" "$size"; done
    printf '%s   %s\n' "$line" "target (largest tree)"
    scale_row() { # LABEL ARRAY
        local -n figures=$2
        local largest="" verdict
        printf -v line '%-30s' "$1"
        for size in $sizes; do
            printf -v line '%s %10s' "$line" "$(mib "${figures[$size]}")"
            largest=$size
        done
        if [ "$largest" = 1000000 ]; then
            TARGETS=$((TARGETS + 1))
            verdict="OVER TARGET"
            if holds "${figures[$largest]}" "<=" $((64 * 1024)); then
                MET=$((MET + 1))
                verdict=ok
            fi
            printf '%s   %s\n' "$line" "<= 64 MiB $verdict"
        else
            printf '%s\n' "$line"
        fi
    }
    scale_row "copy on tmpfs" copy_kib
    scale_row "move tmpfs -> disk" move_kib
    scale_row "trash" trash_kib
    if [ -n "$copy_1m_us" ]; then
        header "copy of 1,000,000 x 100 B on tmpfs (median of $RUNS, side by side)"
        target_row "copy 1,000,000 x 100 B, cp -rp (ms)" "$(ms "$copy_1m_cp")" "$(ms "$copy_1m_us")" \
            "$(ratio "$copy_1m_us" "$copy_1m_cp")" "time korvan/cp" "<=" 0.5
    fi
}

#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>

class FileSystem;

// What tests set to drive the engine (korvan-fileop sets it from
// KORVAN_FILEOP_CHUNK_DELAY). FileOpRunner and DesktopFileOperation hand it
// on to the engine unchanged; the program itself never sets it.
struct EngineTestSettings
{
    // Copy in chunks of chunkBytes (0: the usual size) and sleep chunkDelayUs
    // after each, so that a cancel reliably lands in the middle of a copy.
    qint64 chunkBytes = 0;
    int chunkDelayUs = 0;

    // Called at named points of a copy, so that a test can change the file
    // system exactly there ("chunk-copied" with the source, "source-checked"
    // with the source just before it is opened, "folder-created" with a new
    // target folder, "file-written" with the target whose new content is
    // complete but not yet under its name). Runs on the engine's thread.
    // Also "volume-flushed" with a folder of each volume the operation wrote
    // to, after that volume was flushed; "copy-placed" with the target of a
    // cross-volume move once its copy is in place and stored, just before
    // the sources are removed. "copy-complete" with /proc/self/fd/N of a
    // file's copy whose data is all written, before it is stored and (when
    // verifying) read back: a test may change it there as a lying medium
    // would (a big file's first parts may have been read back already).
    // "batch-written" (verifying) with the /proc/self/fd/N of each copy of a
    // copy worker's batch, one a line: all written and their write-back
    // started, none of them read back yet. "move-recorded" with the
    // /proc/self/fd/N of a cross-volume move's record of what it copied,
    // complete and written, before the copy is checked against it: a test
    // may damage it there (or later, at "copy-placed") as a medium would.
    // Calls come one at a time, also from the copy workers. Except these,
    // from the count that runs beside a copy on a thread of its own (they
    // may come while another call runs): "counting" with the folder the
    // count enters (the top one by its path, the others by their name), and
    // "count-done" with the top folder once everything is counted.
    using Hook = std::function<void(const char *point, const QByteArray &path)>;
    Hook hook;

    // Copy workers for the files of a tree: -1 the usual number, 0 none
    // (every file copied on the job's own thread).
    int workers = -1;

    // true: the count beside a copy is waited for before the first write,
    // so that the calls come in the same order every run (the fault sweep).
    bool countFirst = false;

    // The type the target volume of a copy or move is taken to be ("vfat",
    // "exfat", "ntfs", "smb", "casefold"), whatever it is; empty: its own.
    QByteArray volumeType;
    // false: no look at the target before the first write, so that a test
    // reaches the checks made while copying (a volume full mid-copy).
    bool preflight = true;

    // The file system the operation works on (nullptr: the Linux one), for
    // a test wrapper that fails or stops at a chosen call. Used by the
    // job's thread and the copy workers at once; it must outlive the run.
    FileSystem *fileSystem = nullptr;

    // Each file handed to a worker is taken back before the walk goes on:
    // with one worker the calls come in the same order every run.
    bool workersInStep = false;
    // The size of the operation's write-back window (0: the usual 64 MiB;
    // its pieces are an eighth of it), so that small files drive it.
    qint64 writeBackBytes = 0;
};

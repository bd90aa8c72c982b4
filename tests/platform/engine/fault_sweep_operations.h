#pragma once

// The operations of the fault sweep, the trees they work on and one run of
// each (see tst_engine_fault_sweep.cpp).

#include "fault_file_system.h"
#include "fault_sweep_state.h"
#include "platform/engine/file_op_engine.h"
#include "support/engine_scripted_questions.h"
#include "support/engine_test_files.h"

#include <filesystem>

namespace FaultSweep {

using namespace EngineTestFiles;

enum class Kind { Copy, Move, Trash };

struct Operation
{
    const char *name;
    Kind kind;
    bool targetExists; // the target already holds older versions of some files
    bool crossVolume;
    bool wholeTree; // a trash of the tree, or of one file in it
    // Copy workers (0: none, so that the calls come in the same order every
    // run). With workers the k-th call is whichever thread makes it: every
    // rule must hold all the same, whatever call that is.
    int workers = 0;
    // false: the target takes no unnamed files (as FAT): copies and a move's
    // record go under temporary names.
    bool unnamedFiles = true;
    // Each file handed out is taken back before the walk goes on: with one
    // worker the calls come in the same order every run.
    bool inStep = false;
    // The tree holds a big file too, and the write-back window is small, so
    // that its pieces, the waits for room and the flushes for small files
    // all happen on a tree this size.
    bool bigFile = false;
    // Every copy is read back and compared before it gets its name.
    bool verify = false;
};

inline const Operation Operations[] = {
    {"copy of a tree", Kind::Copy, false, false, true},
    {"copy of a tree over existing files", Kind::Copy, true, false, true},
    {"move and merge within a volume", Kind::Move, true, false, true},
    {"move and merge across volumes", Kind::Move, true, true, true},
    {"trash of a file", Kind::Trash, false, false, false},
    {"trash of a tree", Kind::Trash, false, false, true},
    {"copy of a tree with copy workers", Kind::Copy, true, false, true, 2, true, false, true},
    {"copy of a tree with a big file, one worker in step", Kind::Copy, false, false, true, 1, true, true, true},
    {"move of a file across volumes without unnamed files", Kind::Move, false, true, false, 0, false},
    {"verified copy of a tree with a big file, one worker in step", Kind::Copy, false, false, true, 1, true, true, true,
     true},
    {"verified move of a file across volumes", Kind::Move, true, true, false, 0, true, false, false, true},
};

inline void put(const QByteArray &path, const QByteArray &data, mode_t mode, time_t mtime)
{
    writeFile(path, data);
    chmod(path.constData(), mode);
    const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    utimensat(AT_FDCWD, path.constData(), times, AT_SYMLINK_NOFOLLOW);
}

// Each file's bytes are its own, so a piece of one is never taken for another.
inline QByteArray contentOf(const QByteArray &name, int size, const char *version = "new")
{
    QByteArray data = version + QByteArray(":") + name + ':';
    while (data.size() < size)
        data += QByteArray::number(data.size()) + name;
    return data.left(size);
}

// The big file's size, and the window and chunks it is copied with.
constexpr int BigFileBytes = 48 * 1024;
constexpr qint64 SmallWindowBytes = 24 * 1024;
constexpr qint64 SmallChunkBytes = 16 * 1024;
// A verified copy reads a file back while it copies it, half a window
// behind what it wrote, a piece (an eighth of the window) at a time: with
// this window the sparse file of 512 KiB is read back in about a dozen
// pieces (with the small one above, some 170 pieces would slow the sweep).
constexpr qint64 VerifiedWindowBytes = 256 * 1024;

// About twenty files in three levels, with a link, a hard-linked pair and a
// sparse file (and a big file, if asked for).
inline void makeSourceTree(const QByteArray &tree, bool bigFile = false)
{
    makeDirs(tree + "/one/two/three");
    int size = 100;
    for (const char *name : {"a.txt", "b.txt", "c.txt"})
        put(tree + '/' + name, contentOf(name, size += 300), 0644, 1500000000);
    symlink("a.txt", QByteArray(tree + "/link").constData());
    const struct timespec linkTimes[2] = {{1500000050, 0}, {1500000050, 0}};
    utimensat(AT_FDCWD, QByteArray(tree + "/link").constData(), linkTimes, AT_SYMLINK_NOFOLLOW);
    for (const char *name : {"f1", "f2", "f3", "f4", "f5"})
        put(tree + "/one/" + name, contentOf(name, size += 200), 0600, 1500000100);
    for (const char *name : {"g1", "g2", "g3", "g4"})
        put(tree + "/one/two/" + name, contentOf(name, size += 100), 0640, 1500000200);
    for (const char *name : {"h1", "h2", "h3", "hard"})
        put(tree + "/one/two/three/" + name, contentOf(name, size += 50), 0644, 1500000300);
    link(QByteArray(tree + "/one/two/three/hard").constData(), QByteArray(tree + "/one/two/three/hard2").constData());
    // A sparse file: data at both ends of 512 KiB, a hole between.
    const QByteArray sparse = tree + "/one/two/sparse.img";
    const int fd = open(sparse.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const QByteArray head = contentOf("sparse-head", 4096), tail = contentOf("sparse-tail", 4096);
    pwrite(fd, head.constData(), size_t(head.size()), 0);
    pwrite(fd, tail.constData(), size_t(tail.size()), 512 * 1024 - 4096);
    close(fd);
    const struct timespec times[2] = {{1500000400, 0}, {1500000400, 0}};
    utimensat(AT_FDCWD, sparse.constData(), times, 0);
    if (bigFile)
        put(tree + "/one/big.bin", contentOf("big.bin", BigFileBytes), 0640, 1500000150);
    for (const char *folder : {"/one/two/three", "/one/two", "/one", ""})
        utimensat(AT_FDCWD, QByteArray(tree + folder).constData(), times, 0);
}

// Older versions of some of the files, and one the source does not have.
inline void makeExistingTarget(const QByteArray &tree)
{
    makeDirs(tree + "/one/two/three");
    for (const char *name : {"a.txt", "one/f1", "one/two/g1", "one/two/three/h1", "keep.txt"})
        put(tree + '/' + name, contentOf(name, 700, "old"), 0644, 1400000000);
}

// The folders of one run under a root on tmpfs.
struct Places
{
    QByteArray root;
    QByteArray source() const { return root + "/src"; }
    QByteArray target() const { return root + "/dst"; }
    QByteArray data() const { return root + "/data"; }
    QByteArray trash() const { return data() + "/Trash"; }
    World world() const { return {snapshot(source()), snapshot(target()), snapshot(trash())}; }
};

inline void prepare(const Places &places, const Operation &op)
{
    std::error_code ignored;
    for (const QByteArray &dir : {places.source(), places.target(), places.data()})
        std::filesystem::remove_all(dir.constData(), ignored);
    makeDirs(places.source());
    makeDirs(places.target());
    makeDirs(places.data());
    makeSourceTree(places.source() + "/tree", op.bigFile);
    if (op.targetExists)
        makeExistingTarget(places.target() + "/tree");
}

inline FileOpRecord recordOf(const Places &places, const Operation &op)
{
    const QString item = text(places.source() + (op.wholeTree ? "/tree" : "/tree/a.txt"));
    switch (op.kind) {
    case Kind::Copy: return copyRecord(item, text(places.target()));
    case Kind::Move: return moveRecord(item, text(places.target()));
    case Kind::Trash: break;
    }
    return deleteRecord(item);
}

struct Outcome
{
    FileOpResult result;
    int errorQuestions = 0;
    bool canRetry = false;
};

inline Outcome runOnce(const Places &places, const Operation &op, FaultFileSystem &fs, ErrorAnswer answer)
{
    ScriptedEngineQuestions questions;
    questions.defaultError = answer;
    questions.defaultOverwrite = OverwriteAnswer::Overwrite;
    EngineTestSettings settings;
    settings.workers = op.workers;
    // Without workers, or with one taken back file by file, the calls come
    // in the same order every run: the count beside the copy (its calls
    // swept too) is then waited for.
    settings.countFirst = op.workers == 0 || op.inStep;
    settings.workersInStep = op.inStep;
    if (op.bigFile) {
        settings.writeBackBytes = op.verify ? VerifiedWindowBytes : SmallWindowBytes;
        settings.chunkBytes = SmallChunkBytes;
    }
    settings.fileSystem = &fs;
    if (op.crossVolume)
        fs.setOtherVolume(places.source());
    fs.setUnnamedFiles(op.unnamedFiles);
    Outcome outcome;
    outcome.result = runSync(recordOf(places, op), questions, nullptr, settings, op.verify);
    outcome.errorQuestions = int(questions.errorQuestions.size());
    outcome.canRetry = outcome.errorQuestions > 0 && questions.errorQuestions.first().canRetry;
    return outcome;
}

const char *statusName(FileOpResult::Status status)
{
    switch (status) {
    case FileOpResult::Status::Done: return "done";
    case FileOpResult::Status::Skipped: return "skipped";
    case FileOpResult::Status::Cancelled: return "cancelled";
    case FileOpResult::Status::Failed: return "failed";
    }
    return "?";
}

const char *answerName(ErrorAnswer answer)
{
    return answer == ErrorAnswer::Retry ? "retry" : answer == ErrorAnswer::Skip ? "skip" : "cancel";
}

// Where a world differs from the one an uninterrupted run leaves.
// allowed: temporaries that may be left; rerun: the world is that of a
// rerun, whose trash may also hold whole copies the killed run had made
// (a copy asks before it replaces them, and keeps them so).
inline QStringList unlikeReference(const World &reference, const World &world, const FileOpResult &result,
                                   Leftovers allowed = Leftovers::None, const World *rerunFrom = nullptr)
{
    const bool linksNoted = result.noteCount > 0;
    QStringList found = differences(reference.target, world.target, !linksNoted, "target", allowed);
    found += differences(reference.source, world.source, !linksNoted, "source", allowed);
    QSet<QByteArray> copies;
    if (rerunFrom) {
        for (const Entry &entry : rerunFrom->source) {
            if (entry.type == 'f')
                copies.insert(entry.data);
        }
    }
    found += trashDifferences(reference.trash, world.trash, copies);
    return found;
}

} // namespace FaultSweep

// Phase 1 of a job (see file_op_job.h), its last step: before the first
// write of a copy or move, what is to be written is walked against what the
// target volume can hold, and every item it cannot is asked about at once.
// The same walk counts what is to be copied, for the progress. Where the
// target can hold anything the source volume holds, there is no such walk:
// the count runs beside the copy instead (file_op_count.cpp).
#include "platform/engine/file_op_preflight.h"
#include "platform/engine/file_op_job.h"
#include "platform/engine/file_system.h"

#include <QHash>

#include <algorithm>
#include <cerrno>
#include <dirent.h>

using namespace FsUtil;

namespace EngineJob {

constexpr qint64 FatMaxFileBytes = 4LL * 1024 * 1024 * 1024 - 1;

VolumeLimits limitsOfType(const QByteArray &type)
{
    VolumeLimits limits;
    limits.type = type;
    const bool fat = type == "vfat" || type == "msdos" || type == "fat";
    const bool exfat = type == "exfat";
    if (fat || exfat || type == "ntfs" || type == "smb")
        limits.windowsNames = true;
    if (fat || exfat) {
        limits.caseInsensitive = true;
        limits.symlinks = false;
        limits.nameInUtf16 = true;
    }
    if (fat)
        limits.maxFileBytes = FatMaxFileBytes;
    if (type == "casefold")
        limits.caseInsensitive = true;
    return limits;
}

namespace {

bool isReservedDeviceName(const QString &name)
{
    // The part before the first dot, as Windows reads it: "CON.txt" is CON too.
    const QString stem = name.section(QLatin1Char('.'), 0, 0).trimmed().toUpper();
    static const QStringList fixed = {QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                      QStringLiteral("NUL")};
    if (fixed.contains(stem))
        return true;
    return stem.size() == 4 && (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT")))
        && stem.at(3) >= QLatin1Char('1') && stem.at(3) <= QLatin1Char('9');
}

bool hasForbiddenCharacter(const QString &name)
{
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || QStringLiteral("<>:\"\\|?*").contains(c))
            return true;
    }
    return false;
}

} // namespace

QString refusalFor(const VolumeLimits &limits, const QByteArray &name, const struct stat &st)
{
    if (S_ISREG(st.st_mode) && limits.maxFileBytes >= 0 && qint64(st.st_size) > limits.maxFileBytes)
        return EngineTexts::PreflightTooBigForFat;
    if (S_ISLNK(st.st_mode) && !limits.symlinks)
        return EngineTexts::PreflightNoSymlinks;
    if (!limits.windowsNames && !limits.nameInUtf16)
        return name.size() > limits.nameMax ? EngineTexts::PreflightNameTooLongBytes.arg(limits.nameMax) : QString();
    const QString decoded = decodePath(name);
    if (limits.windowsNames) {
        if (hasForbiddenCharacter(decoded))
            return EngineTexts::PreflightForbiddenCharacter;
        if (decoded.endsWith(QLatin1Char('.')) || decoded.endsWith(QLatin1Char(' ')))
            return EngineTexts::PreflightTrailingDotOrSpace;
        if (isReservedDeviceName(decoded))
            return EngineTexts::PreflightReservedName;
    }
    if (limits.nameInUtf16 ? decoded.size() > limits.nameMax : name.size() > limits.nameMax)
        return (limits.nameInUtf16 ? EngineTexts::PreflightNameTooLongUnits : EngineTexts::PreflightNameTooLongBytes)
            .arg(limits.nameMax);
    return {};
}

// The walk of what an operation is to write, collecting what cannot be held.
class PreflightWalk
{
public:
    explicit PreflightWalk(const VolumeLimits &limits, const std::function<bool()> &cancelled)
        : m_limits(limits)
        , m_cancelled(cancelled)
    { }

    // The top item (named name at its target) and, for a folder, all below it.
    void walkTop(const QByteArray &path, const QByteArray &name, const struct stat &st)
    {
        if (!check(path, name, st, nullptr) && S_ISDIR(st.st_mode)) {
            const int fd = fsys().open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0)
                walkFolder(path, fd);
        }
    }

    PreflightQuestion question;
    QSet<QByteArray> refused; // source paths
    qint64 files = 0;
    qint64 bytes = 0; // of the files that will be written
    qint64 needed = 0; // the room they take

private:
    // Records the item if the volume cannot hold it; true then.
    bool check(const QByteArray &path, const QByteArray &name, const struct stat &st,
               QHash<QString, QByteArray> *folded)
    {
        QString reason = refusalFor(m_limits, name, st);
        if (reason.isEmpty() && folded) {
            const QString key = decodePath(name).toCaseFolded();
            const auto first = folded->constFind(key);
            if (first != folded->cend())
                reason = EngineTexts::PreflightCaseClash.arg(decodePath(first.value()));
            else
                folded->insert(key, name);
        }
        if (reason.isEmpty()) {
            if (!S_ISDIR(st.st_mode)) {
                ++files;
                if (S_ISREG(st.st_mode)) {
                    bytes += st.st_size;
                    // Holes stay holes where the volume has them (not FAT, exFAT).
                    needed += m_limits.nameInUtf16 ? qint64(st.st_size)
                                                   : std::min(qint64(st.st_size), qint64(st.st_blocks) * 512);
                }
            }
            return false;
        }
        if (question.items.size() < FileOpResult::MaxRecorded)
            question.items.append({displayPath(path), reason});
        ++question.itemCount;
        refused.insert(path);
        return true;
    }

    void walkFolder(const QByteArray &path, int fd)
    {
        DIR *handle = fsys().fdopendir(fd);
        if (!handle) {
            fsys().close(fd);
            return;
        }
        QHash<QString, QByteArray> folded;
        while (const dirent *entry = fsys().readdir(handle)) {
            if (m_cancelled())
                break;
            const char *name = entry->d_name;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                continue;
            struct stat st;
            if (entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN) {
                if (fsys().fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue; // reported when it is copied
            } else {
                st.st_mode = DTTOIF(entry->d_type);
                st.st_size = 0;
            }
            const QByteArray leaf(name);
            const QByteArray child = joinPath(path, leaf);
            if (check(child, leaf, st, m_limits.caseInsensitive ? &folded : nullptr) || !S_ISDIR(st.st_mode))
                continue;
            const int childFd = fsys().openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd >= 0)
                walkFolder(child, childFd);
        }
        fsys().closedir(handle);
    }

    const VolumeLimits &m_limits;
    const std::function<bool()> &m_cancelled;
};

// What is to be copied, counted for the progress where no pre-flight walk
// did: a folder on a thread of its own beside the copy.
void Job::scan(const QByteArray &path, const struct stat &st)
{
    if (m_counted)
        return;
    m_counted = true;
    if (!S_ISDIR(st.st_mode)) {
        ++m_progress.filesTotal;
        if (S_ISREG(st.st_mode))
            m_progress.bytesTotal += st.st_size;
        return;
    }
    std::function<void(const char *, const QByteArray &)> point;
    if (m_testing.hook)
        point = m_testing.hook;
    CopyShared *shared = &m_shared;
    m_count = std::make_unique<TreeCount>(
        m_testing.fileSystem, [shared] { return shared->cancelled(); }, std::move(point));
    // A copy's walk hands every regular file to the workers and takes its
    // stat from the count where the count kept it, so each file is looked
    // at once; a worker checks the file it opens, and a file handed back is
    // looked at again. Kept for the start of a tree only, its memory bounded.
    m_seenFromCount = !m_moving && workerCount() > 0;
    if (m_seenFromCount)
        m_count->keepSeenFiles(SeenFilesKept);
    m_count->start(path, st);
    if (m_testing.countFirst)
        m_count->wait();
}

bool walkNeededFirst(const VolumeLimits &target, const SourceVolume &source)
{
    // Names: only where the target is stricter than the source volume.
    if (target.windowsNames || target.caseInsensitive || target.nameInUtf16 || !target.symlinks
        || target.maxFileBytes >= 0 || source.nameMax < 0 || source.nameMax > target.nameMax)
        return true;
    // Room: what the item needs is never more than what its volume holds.
    return target.freeBytes >= 0 && (source.usedBytes < 0 || source.usedBytes > target.freeBytes);
}

bool Job::preflight(const QByteArray &source, const struct stat &srcSt, const QByteArray &destDir)
{
    // The folder the target will be in, or the nearest one above it that exists.
    QByteArray folder = destDir;
    struct stat folderSt;
    while (fsys().stat(folder.constData(), &folderSt) != 0 && folder != "/" && folder.startsWith('/'))
        folder = parentOf(folder);
    const bool sameVolume = folderSt.st_dev == srcSt.st_dev;
    if ((m_moving && sameVolume) || !m_testing.preflight)
        return true; // a rename: nothing is written
    VolumeLimits limits = volumeLimitsOf(folder, m_testing.volumeType);
    // Volumes of Windows (often through FUSE drivers that lose what a
    // renamed folder holds) get new folders under their own names.
    m_folderRenamesWork = !limits.windowsNames;
    if (sameVolume)
        limits.freeBytes = -1; // a clone takes no room; each file's own check still holds
    // Where the target can hold whatever the source volume holds, nothing
    // needs the walk before the first write: the count runs beside the copy.
    if (S_ISDIR(srcSt.st_mode) && !walkNeededFirst(limits, sourceVolumeOf(source))) {
        scan(source, srcSt);
        return true;
    }
    const std::function<bool()> cancelledNow = [this] { return cancelled(); };
    PreflightWalk walk(limits, cancelledNow);
    walk.walkTop(source, baseNameOf(source), srcSt);
    if (limits.freeBytes >= 0 && walk.needed > limits.freeBytes && !walk.refused.contains(source)) {
        walk.question.items.append(
            {displayPath(source),
             EngineTexts::PreflightNoSpace.arg(formatSize(walk.needed), formatSize(limits.freeBytes))});
        ++walk.question.itemCount;
        walk.refused.insert(source);
    }
    // The walk counted what is to be copied: no second count.
    m_progress.filesTotal = walk.files;
    m_progress.bytesTotal = walk.bytes;
    m_counted = true;
    if (cancelled()) {
        setCancelled();
        return false;
    }
    if (walk.question.itemCount == 0)
        return true;
    const PreflightAnswer answer = m_questions.askPreflight(walk.question);
    for (const PreflightItem &item : std::as_const(walk.question.items))
        m_account.addItem(item.path, item.reason);
    m_account.itemCount += walk.question.itemCount - int(walk.question.items.size());
    if (answer == PreflightAnswer::Cancel || cancelled()) {
        setCancelled();
        return false;
    }
    m_skipped += walk.question.itemCount;
    m_preflightRefused = std::move(walk.refused);
    return true;
}

bool Job::refusedByPreflight(const QByteArray &src) const
{
    return !m_preflightRefused.isEmpty() && m_preflightRefused.contains(src);
}

} // namespace EngineJob

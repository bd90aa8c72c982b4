// Phase 1 of a job (see file_op_job.h): a copy or a move from its checks
// to its end. Every refusal (same place, into itself, not absolute…)
// happens before anything is created; then the look at the target volume,
// the target folder made, and the item copied or moved.
#include "platform/engine/file_op_job.h"

#include "platform/engine/engine_texts.h"
#include "platform/engine/file_system.h"

#include <cerrno>

using namespace FsUtil;

namespace EngineJob {

FileOpResult Job::runCopyOrMove(const FileOpParams &params, const QByteArray &source)
{
    m_moving = params.mode == FileOpParams::Mode::Move;
    m_shared.moving = m_moving;
    m_shared.verify = params.verify;
    m_askOverwrite = params.askBeforeOverwrite;

    struct stat srcSt;
    QByteArray destDir;
    if (std::optional<FileOpResult> refused = refuseBeforeStart(params, source, &srcSt, &destDir))
        return *refused;
    if (!preflight(source, srcSt, destDir))
        return finish();
    QList<QByteArray> createdPath;
    if (std::optional<FileOpResult> ended = makeDestination(params, destDir, &createdPath))
        return *ended;
    const QByteArray target = joinPath(destDir, baseNameOf(source));
    struct stat targetSt;
    if (fsys().lstat(target.constData(), &targetSt) == 0 && targetSt.st_dev == srcSt.st_dev
        && targetSt.st_ino == srcSt.st_ino)
        return refuse(source, actionText(), EngineTexts::SameFile);

    // The folders made for the target path are new entries of their parents.
    for (const QByteArray &made : std::as_const(createdPath))
        m_flush.noteRenamed(parentOf(made));
    removeAbandonedIn(destDir);
    if (m_moving) {
        moveItem(source, target, srcSt);
        if (m_cancelled || m_failed) {
            for (auto it = createdPath.crbegin(); it != createdPath.crend(); ++it) {
                if (fsys().rmdir(it->constData()) != 0)
                    break; // holds something that is not ours
            }
        }
    } else {
        if (const int destFd = fsys().open(destDir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); destFd >= 0) {
            m_flush.noteWritten(destFd, destDir);
            fsys().close(destFd);
        }
        scan(source, srcSt);
        progress(source, true);
        copyTree(source, target, srcSt, nullptr);
    }
    // Also after a cancel or failure: what the operation keeps (files a
    // copy made, names a move changed, what went to the trash) is stored
    // before it ends. What a failed move removed again costs nothing here.
    flushVolumes();
    return finish();
}

std::optional<FileOpResult> Job::refuseBeforeStart(const FileOpParams &params, const QByteArray &source,
                                                   struct stat *srcSt, QByteArray *destDir)
{
    const QString action = actionText();
    if (fsys().lstat(source.constData(), srcSt) != 0) {
        const int err = errno;
        QString reason = errorText(err);
        if (err == ENOENT && params.source.contains(QChar(0xFFFD)))
            reason += EngineTexts::UnreadableCharacters;
        return refuse(source, action, reason);
    }
    const QByteArray name = baseNameOf(source);
    if (source == "/" || name == "." || name == "..")
        return refuse(source, action, EngineTexts::CannotActOnPath.arg(action));

    *destDir = encodePath(params.destinationDir);
    if (destDir->size() > 1)
        *destDir = stripTrailingSlashes(*destDir);
    if (!destDir->startsWith('/'))
        return refuse(*destDir, action, EngineTexts::DestinationNotAbsolute);

    // Refuse before anything is created: making the destination could
    // otherwise already change the source tree.
    const QByteArray canonicalSource = joinPath(canonicalPath(parentOf(source)), name);
    const QByteArray canonicalDest = canonicalPath(*destDir);
    const QByteArray canonicalTarget = joinPath(canonicalDest, name);
    if (canonicalTarget == canonicalSource)
        return refuse(source, action, EngineTexts::SameLocation);
    if (!S_ISDIR(srcSt->st_mode))
        return std::nullopt;
    if (canonicalDest == canonicalSource || canonicalDest.startsWith(QByteArray(canonicalSource + '/')))
        return refuse(source, action, EngineTexts::IntoOwnSubfolder.arg(action));
    // By identity too: a bind mount or any other alias of the source among
    // the target's existing ancestors is the source itself.
    for (QByteArray ancestor = canonicalDest;; ancestor = parentOf(ancestor)) {
        struct stat st;
        if (fsys().stat(ancestor.constData(), &st) == 0 && st.st_dev == srcSt->st_dev && st.st_ino == srcSt->st_ino)
            return refuse(source, action, EngineTexts::IntoOwnSubfolder.arg(action));
        if (ancestor == "/" || !ancestor.startsWith('/'))
            break;
    }
    return std::nullopt;
}

std::optional<FileOpResult> Job::makeDestination(const FileOpParams &params, const QByteArray &destDir,
                                                 QList<QByteArray> *createdPath)
{
    // The folders of the target path that this operation creates: a move
    // that fails or is cancelled leaves none of them behind.
    for (QByteArray missing = destDir; missing != "/";) {
        struct stat st;
        if (fsys().lstat(missing.constData(), &st) == 0 || errno != ENOENT)
            break;
        createdPath->prepend(missing);
        missing = parentOf(missing);
    }
    struct stat destSt;
    if (fsys().stat(destDir.constData(), &destSt) == 0) {
        if (!S_ISDIR(destSt.st_mode))
            return refuse(destDir, actionText(), EngineTexts::DestinationNotFolder);
        return std::nullopt;
    }
    if (errno != ENOENT) {
        const int err = errno;
        return refuse(destDir, EngineTexts::ActionOpenDestination, errorText(err));
    }
    if (params.askBeforeCreatingDestination && !m_questions.confirmCreateFolder(displayPath(destDir))) {
        setCancelled();
        return finish();
    }
    const Flow made = untilDone([&](StepFailure &fail) {
        const int err = makePath(destDir, 0777);
        return err == 0 ? Flow::Continue : fail(destDir, EngineTexts::ActionCreateFolder, err);
    });
    if (made != Flow::Continue)
        return finish();
    return std::nullopt;
}

} // namespace EngineJob

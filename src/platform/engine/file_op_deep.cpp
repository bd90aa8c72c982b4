// Phase 2 of a job (see file_op_job.h): trees of any depth. A copy works
// through the descriptors of the folders it is in; only the deepest
// HeldFolderLevels of them stay open. Further up they are closed and,
// when the walk comes back, opened again through ".." of the folder
// below, and used only if they are still the folders they were.
#include "platform/engine/file_op_job.h"
#include "platform/engine/file_system.h"

#include "platform/engine/engine_texts.h"

#include <cerrno>

using namespace FsUtil;

namespace EngineJob {

Flow Job::holdFolder(int *srcFd, int *dirFd)
{
    HeldFolder held {srcFd, dirFd, {}, {}, false};
    // Not held, it cannot be told apart on the way back: nothing in it is copied.
    if (fsys().fstat(*srcFd, &held.srcSt) != 0 || fsys().fstat(*dirFd, &held.dirSt) != 0)
        return stepFailed(m_targetDirPath, actionText(), errno, QString(), false);
    if (m_heldFolders.size() - m_closedFolders < size_t(HeldFolderLevels)) {
        m_heldFolders.push_back(held);
        return Flow::Continue;
    }
    // Nothing handed out may still be copied into or out of it.
    if (settleHandedOut() == Flow::Stop)
        return Flow::Stop;
    m_heldFolders.push_back(held);
    HeldFolder &outermost = m_heldFolders.at(m_closedFolders++);
    fsys().close(*outermost.srcFd);
    fsys().close(*outermost.dirFd);
    *outermost.srcFd = -1;
    *outermost.dirFd = -1;
    outermost.closed = true;
    return Flow::Continue;
}

bool Job::releaseFolder(const QByteArray &dst)
{
    const HeldFolder inner = m_heldFolders.back();
    m_heldFolders.pop_back();
    if (m_heldFolders.empty() || !m_heldFolders.back().closed)
        return true;
    HeldFolder &outer = m_heldFolders.back();
    --m_closedFolders;
    outer.closed = false;
    const auto reopen = [](int below, const struct stat &was) {
        struct stat st;
        const int fd = fsys().openat(below, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0 && fsys().fstat(fd, &st) == 0 && st.st_dev == was.st_dev && st.st_ino == was.st_ino)
            return fd;
        if (fd >= 0)
            fsys().close(fd);
        return -1;
    };
    *outer.srcFd = reopen(*inner.srcFd, outer.srcSt);
    *outer.dirFd = reopen(*inner.dirFd, outer.dirSt);
    if (*outer.srcFd >= 0 && *outer.dirFd >= 0)
        return true;
    // Moved away meanwhile: nothing more is copied into or out of it.
    reportError(parentOf(dst), actionText(), ENOENT, EngineTexts::FolderMovedAway, false);
    setFailed();
    return false;
}

} // namespace EngineJob

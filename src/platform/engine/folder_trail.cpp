// The descriptors of the folders a walk down a deep tree is in (see
// folder_trail.h): the deepest held open, the rest opened again on the way
// back through "..", with an identity check.
#include "platform/engine/folder_trail.h"
#include "platform/engine/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace EngineJob {

FolderTrail::FolderTrail(int heldLevels)
    : m_heldLevels(heldLevels < 2 ? 2 : heldLevels)
{ }

FolderTrail::~FolderTrail()
{
    for (const Level &level : m_levels) {
        if (level.fd >= 0)
            fsys().close(level.fd);
    }
}

void FolderTrail::enter(int fd)
{
    Level level;
    struct stat st;
    if (fd >= 0 && fsys().fstat(fd, &st) != 0) {
        fsys().close(fd);
        fd = -1;
    }
    level.fd = fd;
    if (fd >= 0) {
        level.device = st.st_dev;
        level.inode = st.st_ino;
        ++m_open;
    }
    m_levels.push_back(level);
    // Below a folder that did not open nothing opens: the open levels are
    // the ones after the closed ones, and the outermost of them goes first.
    if (m_open > m_heldLevels) {
        Level &outermost = m_levels.at(m_closed++);
        fsys().close(outermost.fd);
        outermost.fd = -1;
        outermost.closed = true;
        --m_open;
    }
}

bool FolderTrail::leave()
{
    if (m_levels.empty())
        return false;
    const Level inner = m_levels.back();
    m_levels.pop_back();
    bool ok = true;
    if (!m_levels.empty() && m_levels.back().closed) {
        Level &outer = m_levels.back();
        --m_closed;
        outer.closed = false;
        // inner is open: a folder held open has held open ones below it.
        const int fd = inner.fd >= 0 ? fsys().openat(inner.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        struct stat st;
        if (fd >= 0 && fsys().fstat(fd, &st) == 0 && st.st_dev == outer.device && st.st_ino == outer.inode) {
            outer.fd = fd;
            ++m_open;
        } else {
            if (fd >= 0)
                fsys().close(fd);
            ok = false;
        }
    }
    if (inner.fd >= 0) {
        fsys().close(inner.fd);
        --m_open;
    }
    return ok;
}

int FolderTrail::openBelow(const char *name) const
{
    const int fd = current();
    return fd >= 0 ? fsys().openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
}

} // namespace EngineJob

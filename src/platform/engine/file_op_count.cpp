// The count beside a copy (see file_op_count.h): files and bytes of a tree
// counted on a thread of its own through the operation's FileSystem. Only
// the deepest few folders of the walk stay open, so a tree of any depth is
// counted with a handful of descriptors beside the copy's own; memory holds
// the names of the subfolders still to enter along the current path only.
#include "platform/engine/file_op_count.h"

#include "platform/engine/file_system.h"

#include <QHash>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>

namespace EngineJob {

namespace {

// Folders the count holds open at most, the deepest of its walk.
constexpr size_t CountHeldLevels = 16;
// How many folders kept ahead the walk looks through for its own (the
// ones before it are those it passed by, not entering them).
constexpr size_t SeenLookAhead = 64;

bool isDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

} // namespace

size_t seenNameHash(QByteArrayView name)
{
    return qHash(name, 0);
}

SeenFile::SeenFile(size_t hash, const struct stat &st)
    : nameHash(hash)
    , device(st.st_dev)
    , inode(st.st_ino)
    , size(qint64(st.st_size))
    , blocks(qint64(st.st_blocks))
    , modified(st.st_mtim)
    , mode(st.st_mode)
    , links(quint32(std::min<nlink_t>(st.st_nlink, 0xffffffffu)))
{ }

struct stat SeenFile::lstat() const
{
    struct stat st = {};
    st.st_dev = device;
    st.st_ino = inode;
    st.st_size = off_t(size);
    st.st_blocks = blkcnt_t(blocks);
    st.st_mtim = modified;
    st.st_mode = mode;
    st.st_nlink = nlink_t(links);
    return st;
}

TreeCount::TreeCount(FileSystem *fileSystem, std::function<bool()> stopWanted,
                     std::function<void(const char *, const QByteArray &)> point)
    : m_fileSystem(fileSystem)
    , m_stopWanted(std::move(stopWanted))
    , m_point(std::move(point))
{ }

TreeCount::~TreeCount()
{
    stop();
}

void TreeCount::start(const QByteArray &path, const struct stat &st)
{
    m_thread = std::thread(&TreeCount::run, this, path, st);
}

void TreeCount::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

void TreeCount::stop()
{
    m_stop = true;
    wait();
}

void TreeCount::run(QByteArray path, struct stat st)
{
    FileSystemScope scope(m_fileSystem);
    if (!S_ISDIR(st.st_mode)) {
        m_files = 1;
        m_bytes = S_ISREG(st.st_mode) ? qint64(st.st_size) : 0;
    } else {
        // Unreadable folders are reported when they are copied.
        const int fd = fsys().open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && !walk(path, fd))
            return; // left off: the totals are not final
    }
    m_finished.store(true, std::memory_order_release);
    if (m_point)
        m_point("count-done", path);
}

bool TreeCount::walk(const QByteArray &path, int topFd)
{
    std::vector<Level> levels;
    size_t closed = 0; // the outermost levels whose descriptor is closed
    const auto leave = [&] {
        for (const Level &level : levels) {
            if (level.fd >= 0)
                fsys().close(level.fd);
        }
        return false;
    };
    Level top;
    top.fd = topFd;
    struct stat topSt;
    if (fsys().fstat(topFd, &topSt) == 0) {
        top.device = topSt.st_dev;
        top.inode = topSt.st_ino;
    }
    levels.push_back(std::move(top));
    if (m_point)
        m_point("counting", path);
    if (!list(levels.back()))
        return leave();
    while (!levels.empty()) {
        if (stopNow())
            return leave();
        Level &level = levels.back();
        if (level.next >= level.subfolders.size()) {
            if (levels.size() > 1 && levels.at(levels.size() - 2).fd < 0) {
                if (!reopenParent(levels))
                    break; // moved away meanwhile: the copy will say so; counted what there was
                --closed;
            }
            fsys().close(levels.back().fd);
            levels.pop_back();
            continue;
        }
        const QByteArray name = level.subfolders.at(level.next++);
        Level child;
        child.fd = fsys().openat(level.fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (child.fd < 0)
            continue; // reported when it is copied
        struct stat st;
        if (fsys().fstat(child.fd, &st) != 0) {
            fsys().close(child.fd);
            continue;
        }
        child.device = st.st_dev;
        child.inode = st.st_ino;
        levels.push_back(std::move(child));
        if (levels.size() - closed > CountHeldLevels) {
            fsys().close(levels.at(closed).fd);
            levels.at(closed).fd = -1;
            ++closed;
        }
        if (m_point)
            m_point("counting", name);
        if (!list(levels.back()))
            return leave();
    }
    leave();
    return true;
}

bool TreeCount::list(Level &level)
{
    // The listing gets a descriptor of its own: the level's stays for its subfolders.
    const int own = fsys().fcntl(level.fd, F_DUPFD_CLOEXEC, 0);
    DIR *handle = own >= 0 ? fsys().fdopendir(own) : nullptr;
    if (!handle) {
        if (own >= 0)
            fsys().close(own);
        return !stopNow();
    }
    bool keeping = m_seenMost > 0;
    if (keeping) {
        std::lock_guard<std::mutex> lock(m_seenMutex);
        keeping = !m_seenFull;
    }
    std::vector<SeenFile> seen;
    while (const dirent *entry = fsys().readdir(handle)) {
        if (stopNow())
            break;
        const char *name = entry->d_name;
        if (isDotOrDotDot(name))
            continue;
        if (entry->d_type == DT_DIR) {
            level.subfolders.append(QByteArray(name));
            continue;
        }
        struct stat st;
        if (entry->d_type == DT_REG || entry->d_type == DT_UNKNOWN) {
            if (fsys().fstatat(level.fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue; // reported when it is copied
            if (S_ISDIR(st.st_mode)) {
                level.subfolders.append(QByteArray(name));
                continue;
            }
        } else {
            st.st_mode = DTTOIF(entry->d_type); // a link or a special file: only counted
        }
        m_files.fetch_add(1, std::memory_order_relaxed);
        if (S_ISREG(st.st_mode)) {
            m_bytes.fetch_add(qint64(st.st_size), std::memory_order_relaxed);
            if (keeping)
                seen.emplace_back(seenNameHash(name), st);
        }
    }
    fsys().closedir(handle);
    if (stopNow())
        return false;
    if (keeping && !seen.empty())
        keepSeen(level, std::move(seen));
    return true;
}

void TreeCount::keepSeen(const Level &level, std::vector<SeenFile> files)
{
    std::lock_guard<std::mutex> lock(m_seenMutex);
    if (m_seenFull || m_seenFiles + files.size() > m_seenMost) {
        m_seenFull = true;
        return;
    }
    m_seenFiles += files.size();
    files.shrink_to_fit();
    m_seen.push_back({level.device, level.inode, std::move(files)});
}

bool TreeCount::takeSeenFiles(dev_t device, ino_t inode, std::vector<SeenFile> *files)
{
    std::lock_guard<std::mutex> lock(m_seenMutex);
    const size_t looked = std::min(m_seen.size(), SeenLookAhead);
    for (size_t i = 0; i < looked; ++i) {
        if (m_seen[i].device != device || m_seen[i].inode != inode)
            continue;
        for (size_t passed = 0; passed <= i; ++passed) {
            m_seenFiles -= m_seen.front().files.size();
            if (passed == i)
                *files = std::move(m_seen.front().files);
            m_seen.pop_front();
        }
        return true;
    }
    return false;
}

bool TreeCount::reopenParent(std::vector<Level> &levels)
{
    const Level &below = levels.back();
    Level &parent = levels.at(levels.size() - 2);
    const int fd = fsys().openat(below.fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fsys().fstat(fd, &st) == 0 && st.st_dev == parent.device && st.st_ino == parent.inode) {
        parent.fd = fd;
        return true;
    }
    if (fd >= 0)
        fsys().close(fd);
    return false;
}

} // namespace EngineJob

#pragma once

#include <sys/types.h>

#include <cstddef>
#include <vector>

namespace EngineJob {

// The folders a walk down a tree is in, outermost first, by their
// descriptors. Only the deepest few stay open; further up they are closed
// and, when the walk comes back, opened again through ".." of the folder
// below, and used only if they are still the folders they were. So a walk
// of any depth holds a bounded number of descriptors.
class FolderTrail
{
public:
    explicit FolderTrail(int heldLevels);
    ~FolderTrail();
    FolderTrail(const FolderTrail &) = delete;
    FolderTrail &operator=(const FolderTrail &) = delete;

    // One level down, into fd (the trail owns it from here on). A folder
    // that could not be opened enters as -1: nothing below it opens either.
    void enter(int fd);
    // One level up, closing the deepest; false when the folder above could
    // not be opened again as the same folder (current() is -1 then).
    bool leave();
    // The deepest folder's descriptor, or -1.
    int current() const { return m_levels.empty() ? -1 : m_levels.back().fd; }
    // Opens the folder name below the deepest one, never through a link.
    int openBelow(const char *name) const;

private:
    struct Level
    {
        int fd = -1;
        dev_t device = 0;
        ino_t inode = 0;
        bool closed = false;
    };
    std::vector<Level> m_levels;
    std::size_t m_closed = 0; // the outermost this many are closed
    int m_open = 0;
    int m_heldLevels;
};

} // namespace EngineJob

#!/usr/bin/python3
# A file system that lies: it passes everything through to a backing folder,
# except that a file whose data begins with b"victim-" is stored with its
# first byte changed ("Victim-"), as a failing medium would. Mounted with
# direct_io, so every read comes from here and not from the page cache.
# Usage: lying_fs.py BACKING MOUNTPOINT  (returns once mounted)
import errno
import os
import sys

from fusepy import FUSE, FuseOSError, Operations

MARK = b"victim-"


class Lying(Operations):
    use_ns = True  # times in ns, as the engine keeps them

    def __init__(self, root):
        self.root = root

    def _p(self, path):
        return os.path.join(self.root, path.lstrip("/"))

    def access(self, path, mode):
        if not os.access(self._p(path), mode):
            raise FuseOSError(errno.EACCES)

    def getattr(self, path, fh=None):
        st = os.lstat(self._p(path))
        keys = ("st_atime", "st_ctime", "st_gid", "st_mode", "st_mtime", "st_nlink", "st_size", "st_uid",
                "st_blocks", "st_ino")
        attrs = {k: getattr(st, k) for k in keys}
        attrs["st_atime"] = st.st_atime_ns
        attrs["st_mtime"] = st.st_mtime_ns
        attrs["st_ctime"] = st.st_ctime_ns
        return attrs

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._p(path))

    def readlink(self, path):
        return os.readlink(self._p(path))

    def mknod(self, path, mode, dev):
        os.mknod(self._p(path), mode, dev)

    def mkdir(self, path, mode):
        os.mkdir(self._p(path), mode)

    def rmdir(self, path):
        os.rmdir(self._p(path))

    def unlink(self, path):
        os.unlink(self._p(path))

    def symlink(self, name, target):
        os.symlink(target, self._p(name))

    def rename(self, old, new):
        os.rename(self._p(old), self._p(new))

    def link(self, target, name):
        os.link(self._p(name), self._p(target))

    def chmod(self, path, mode):
        os.chmod(self._p(path), mode)

    def chown(self, path, uid, gid):
        os.chown(self._p(path), uid, gid, follow_symlinks=False)

    def utimens(self, path, times=None):
        if times is None:
            os.utime(self._p(path), follow_symlinks=False)
        else:
            os.utime(self._p(path), ns=times, follow_symlinks=False)

    def truncate(self, path, length, fh=None):
        if fh is not None:
            os.ftruncate(fh, length)
        else:
            os.truncate(self._p(path), length)

    def statfs(self, path):
        sv = os.statvfs(self._p(path))
        return {k: getattr(sv, k) for k in ("f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail", "f_ffree",
                                            "f_files", "f_flag", "f_frsize", "f_namemax")}

    def open(self, path, flags):
        return os.open(self._p(path), flags & ~os.O_APPEND)

    def create(self, path, mode, fi=None):
        return os.open(self._p(path), os.O_RDWR | os.O_CREAT | os.O_EXCL, mode)

    def read(self, path, length, offset, fh):
        return os.pread(fh, length, offset)

    def write(self, path, data, offset, fh):
        if offset == 0 and data.startswith(MARK):
            data = b"V" + data[1:]  # stored otherwise than given
        return os.pwrite(fh, data, offset)

    def flush(self, path, fh):
        return 0

    def release(self, path, fh):
        os.close(fh)
        return 0

    def fsync(self, path, datasync, fh):
        os.fsync(fh)
        return 0


if __name__ == "__main__":
    FUSE(Lying(sys.argv[1]), sys.argv[2], foreground=False, direct_io=True, nothreads=True)

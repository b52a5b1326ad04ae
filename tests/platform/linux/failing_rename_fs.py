#!/usr/bin/python3
# A pass-through FUSE file system over BACKING, mounted at MOUNTPOINT with
# libfuse's default options (no hard_remove), whose renames onto a
# visible name fail with EIO. libfuse itself still renames open files that
# are replaced or removed to ".fuse_hidden…" names through it first, as a
# network file system mounted this way would.
#   failing_rename_fs.py BACKING MOUNTPOINT -f
import errno
import os
import sys

import fuse

fuse.fuse_python_api = (0, 2)
backing = os.path.abspath(sys.argv.pop(1))


def real(path):
    return backing + path


class FailingRename(fuse.Fuse):
    def getattr(self, path):
        return os.lstat(real(path))

    def readdir(self, path, offset):
        for name in ['.', '..'] + os.listdir(real(path)):
            yield fuse.Direntry(name)

    def rename(self, old, new):
        if not os.path.basename(new).startswith('.fuse_hidden'):
            return -errno.EIO
        os.rename(real(old), real(new))

    def unlink(self, path):
        os.unlink(real(path))

    def chmod(self, path, mode):
        os.chmod(real(path), mode)

    def chown(self, path, uid, gid):
        os.chown(real(path), uid, gid)

    def truncate(self, path, size):
        os.truncate(real(path), size)

    def utimens(self, path, ts_acc, ts_mod):
        os.utime(real(path), (ts_acc.tv_sec, ts_mod.tv_sec))

    def statfs(self):
        return os.statvfs(backing)

    class File:
        def __init__(self, path, flags, *mode):
            self.fd = os.open(real(path), flags, *mode)

        def read(self, length, offset):
            return os.pread(self.fd, length, offset)

        def write(self, buf, offset):
            return os.pwrite(self.fd, buf, offset)

        def ftruncate(self, size):
            os.ftruncate(self.fd, size)

        def fsync(self, isfsyncfile):
            os.fsync(self.fd)

        def flush(self):
            pass

        def fgetattr(self):
            return os.fstat(self.fd)

        def lock(self, cmd, owner, **kw):
            return 0

        def release(self, flags):
            os.close(self.fd)

    def main(self, *a, **kw):
        self.file_class = self.File
        return fuse.Fuse.main(self, *a, **kw)


if __name__ == '__main__':
    fs = FailingRename(version='%prog ' + fuse.__version__, dash_s_do='setsingle')
    fs.parse(errex=1)
    fs.main()

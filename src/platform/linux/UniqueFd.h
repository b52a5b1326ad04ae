#pragma once
// The owners of POSIX resources on Linux: descriptors (devices, report
// files, watches and the simulator's pseudo-terminals) and directory
// streams. Each frees its resource exactly once (platform/UniqueResource.h).

#include "platform/UniqueResource.h"

#include <dirent.h>
#include <unistd.h>

namespace ldt {

struct FdTraits {
    using Handle = int;
    static int Invalid() { return -1; }
    static bool Valid(int fd) { return fd >= 0; }
    static bool Free(int fd) { return ::close(fd) == 0; }
};

struct DirTraits {
    using Handle = DIR*;
    static DIR* Invalid() { return nullptr; }
    static bool Valid(DIR* dir) { return dir != nullptr; }
    static bool Free(DIR* dir) { return ::closedir(dir) == 0; }
};

using UniqueFd = UniqueResource<FdTraits>;
using UniqueDir = UniqueResource<DirTraits>;

}  // namespace ldt

#pragma once
// The owners of POSIX resources on Linux: descriptors (devices, report
// files, watches and the simulator's pseudo-terminals) and directory
// streams. Each frees its resource exactly once (platform/UniqueResource.h).

#include "platform/UniqueResource.h"

#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <string>
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

// Calls `call` (a system call returning -1 with errno on failure) again for
// as long as a signal interrupts it; its result.
template <typename Call>
auto RetryEintr(Call call) {
    for (;;)
        if (const auto r = call(); r >= 0 || errno != EINTR) return r;
}

// Up to `size` bytes of `fd` from `offset`: fewer at the end of the file or
// on an error.
inline std::string PreadUpTo(int fd, std::size_t size, std::uint64_t offset) {
    std::string out(size, '\0');
    std::size_t got = 0;
    while (got < size) {
        const auto at = static_cast<off_t>(offset + got);
        const ssize_t n = RetryEintr([&] { return ::pread(fd, &out[got], size - got, at); });
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    return out;
}

}  // namespace ldt

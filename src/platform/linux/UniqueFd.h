#pragma once
// Owns one POSIX file descriptor and closes it exactly once. The one owner
// of descriptors on Linux: devices, report files, watches and the simulator's
// pseudo-terminals all use it.

#include <unistd.h>

#include <utility>

namespace ldt {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.fd_, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() { return std::exchange(fd_, -1); }

    // Closes the descriptor held (if any) and takes `fd`. Returns what
    // close() returned (0 when nothing was held), so a caller that must know
    // whether buffered data reached the file can check it.
    int Reset(int fd = -1) {
        const int old = std::exchange(fd_, fd);
        return old >= 0 ? ::close(old) : 0;
    }

private:
    int fd_ = -1;
};

}  // namespace ldt

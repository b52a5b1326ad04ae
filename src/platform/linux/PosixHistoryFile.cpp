#include "platform/linux/PosixHistoryFile.h"

#include "platform/HistoryAppend.h"
#include "platform/linux/UniqueFd.h"
#include "platform/linux/Utf8CodePage.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace ldt {

namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

// Makes `path` and its missing parents (0700, as a state folder should be).
int MakeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        if (mkdir(path.substr(0, at).c_str(), 0700) != 0 && errno != EEXIST) return errno;
    }
    return 0;
}

class FdSource final : public HistorySource {
public:
    FdSource(UniqueFd fd, std::uint64_t size) : fd_(std::move(fd)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::string ReadAt(std::uint64_t offset, std::size_t size) override { return PreadUpTo(fd_.Get(), size, offset); }

private:
    UniqueFd fd_;
    std::uint64_t size_;
};

class PosixAppend final : public HistoryAppendPrimitives {
public:
    PosixAppend(std::string folder, std::string current, std::string older)
        : folder_(std::move(folder)), current_(std::move(current)), older_(std::move(older)) {}

    SystemError MakeFolder() override { return static_cast<SystemError>(MakeFolders(folder_)); }
    SystemError TryLock(bool& busy) override {
        if (!lock_) lock_.Reset(::open((folder_ + "/history.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        if (!lock_) return errno;
        if (flock(lock_.Get(), LOCK_EX | LOCK_NB) == 0) return 0;
        busy = errno == EWOULDBLOCK || errno == EINTR;
        return errno;
    }
    void PauseForLock() override {
        const timespec pause{0, 5'000'000};
        nanosleep(&pause, nullptr);
    }
    SystemError OpenCurrent(std::uint64_t& size) override {
        // Non-blocking, so that something other than a file in its place (a
        // FIFO) is refused rather than waited on.
        file_.Reset(::open(current_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0600));
        struct stat st {};
        if (!file_ || fstat(file_.Get(), &st) != 0) return errno;
        if (!S_ISREG(st.st_mode)) return EINVAL;
        size = static_cast<std::uint64_t>(st.st_size);
        return 0;
    }
    SystemError RotateCurrent() override {
        file_.Reset();
        return rename(current_.c_str(), older_.c_str()) == 0 ? 0 : errno;
    }
    bool ReadByte(std::uint64_t offset, char& byte) override {
        return pread(file_.Get(), &byte, 1, static_cast<off_t>(offset)) == 1;
    }
    SystemError Write(const std::string& bytes, std::size_t& written) override {
        const ssize_t n = RetryEintr([&] { return ::write(file_.Get(), bytes.data(), bytes.size()); });
        if (n < 0) return errno;
        written = static_cast<std::size_t>(n);
        return 0;
    }
    void Truncate(std::uint64_t size) override {
        [[maybe_unused]] const int cut = ftruncate(file_.Get(), static_cast<off_t>(size));
    }
    WString CurrentPath() const override { return Utf8ToUtf16(current_); }
    WString ErrorText(SystemError error) override { return ErrnoText(static_cast<int>(error)); }
    SystemError LockTakenError() const override { return EWOULDBLOCK; }
    SystemError DiskFullError() const override { return ENOSPC; }

private:
    const std::string folder_, current_, older_;
    UniqueFd lock_, file_;  // the lock goes with the closing of its descriptor
};

}  // namespace

PosixHistoryFile::PosixHistoryFile() {
    const char* state = std::getenv("XDG_STATE_HOME");
    const std::string base = state && state[0] == '/' ? std::string(state) : HomeFolder() + "/.local/state";
    folder_ = base + "/laser-diagnostic-tool";
}

std::string PosixHistoryFile::Path(int generation) const {
    return folder_ + (generation == 0 ? "/history.jsonl" : "/history.1.jsonl");
}

WString PosixHistoryFile::Where() const { return Utf8ToUtf16(Path(0)); }

WString PosixHistoryFile::Append(const std::string& line) {
    PosixAppend primitives(folder_, Path(0), Path(1));
    return AppendHistory(primitives, line);
}

std::unique_ptr<HistorySource> PosixHistoryFile::Open(int generation) {
    UniqueFd fd(::open(Path(generation).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));  // a FIFO: refused, not waited on
    struct stat st {};
    if (!fd || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    return std::make_unique<FdSource>(std::move(fd), static_cast<std::uint64_t>(st.st_size));
}

}  // namespace ldt

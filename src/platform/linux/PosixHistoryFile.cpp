#include "platform/linux/PosixHistoryFile.h"

#include "platform/linux/UniqueFd.h"
#include "platform/linux/Utf8CodePage.h"
#include "seams/Messages.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace ldt {

namespace {

constexpr int kLockTries = 20;          // 20 tries 5 ms apart: a tenth of a second at most
constexpr long kLockPauseNs = 5'000'000;

WString Reason(int error) { return Utf8ToUtf16(std::strerror(error)); }

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
    std::string ReadAt(std::uint64_t offset, std::size_t size) override {
        std::string out(size, '\0');
        std::size_t got = 0;
        while (got < size) {
            const ssize_t n = pread(fd_.Get(), &out[got], size - got, static_cast<off_t>(offset + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        out.resize(got);
        return out;
    }

private:
    UniqueFd fd_;
    std::uint64_t size_;
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
    const std::string path = Path(0);
    const auto fail = [&](int error) { return CannotWrite(Utf8ToUtf16(path), Reason(error)); };
    if (int error = MakeFolders(folder_)) return fail(error);

    UniqueFd lock(::open((folder_ + "/history.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock) return fail(errno);
    for (int tries = 0;; ++tries) {
        if (flock(lock.Get(), LOCK_EX | LOCK_NB) == 0) break;
        if (errno != EWOULDBLOCK && errno != EINTR) return fail(errno);
        if (tries == kLockTries) return fail(EWOULDBLOCK);
        const timespec pause{0, kLockPauseNs};
        nanosleep(&pause, nullptr);
    }

    UniqueFd file(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
    if (!file) return fail(errno);
    struct stat st {};
    if (fstat(file.Get(), &st) != 0) return fail(errno);
    if (st.st_size > 0 && static_cast<std::uint64_t>(st.st_size) + line.size() > kHistoryRotateBytes) {
        if (rename(path.c_str(), Path(1).c_str()) != 0) return fail(errno);
        file.Reset(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
        if (!file) return fail(errno);
        st.st_size = 0;
    }
    // A line cut short before (a power failure) must not swallow this one.
    std::string bytes;
    char last = '\n';
    if (st.st_size > 0 && pread(file.Get(), &last, 1, st.st_size - 1) != 1) last = '\n';
    if (last != '\n') bytes = "\n";
    bytes += line;

    ssize_t n;
    do n = ::write(file.Get(), bytes.data(), bytes.size());
    while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(bytes.size())) return {};
    const int error = n < 0 ? errno : ENOSPC;
    // Take back a partial line, so the next record starts on a line of its
    // own (should that fail too, the next append starts a new line itself).
    if (n > 0 && ftruncate(file.Get(), st.st_size) != 0) return fail(error);
    return fail(error);
}

std::unique_ptr<HistorySource> PosixHistoryFile::Open(int generation) {
    UniqueFd fd(::open(Path(generation).c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!fd || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    return std::make_unique<FdSource>(std::move(fd), static_cast<std::uint64_t>(st.st_size));
}

}  // namespace ldt

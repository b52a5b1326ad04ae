#include "platform/linux/PosixReportFile.h"

#include "platform/linux/Utf8CodePage.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ldt {

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Reset(); }
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Reset() {
        const int r = fd_ >= 0 ? ::close(fd_) : 0;
        fd_ = -1;
        return r;
    }

private:
    int fd_;
};

ReportWriteResult Failure(ReportWriteResult::Status status, const char* what, const std::string& path,
                          int error) {
    return {status, Utf8ToUtf16(std::string(what) + " " + path + ": " + std::strerror(error))};
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

ReportWriteResult PosixReportFile::WriteWhole(const WString& widePath, const std::string& bytes) {
    std::string path = Utf16ToUtf8(widePath);
    // Open (or create) the target itself first: this is where "cannot be
    // opened" is decided, exactly as for a plain open.
    const bool existed = ::access(path.c_str(), F_OK) == 0;
    Fd target(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666));
    if (!target.Valid()) return Failure(ReportWriteResult::OpenFailed, "Cannot open", path, errno);
    if (::flock(target.Get(), LOCK_EX | LOCK_NB) != 0)
        return Failure(ReportWriteResult::OpenFailed, "Cannot open", path, errno);
    struct stat st {};
    ::fstat(target.Get(), &st);
    if (!S_ISREG(st.st_mode))
        return Failure(ReportWriteResult::OpenFailed, "Cannot open", path, EINVAL);
    if (char resolved[PATH_MAX]; ::realpath(path.c_str(), resolved)) path = resolved;

    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = dir + "/." + base + ".XXXXXX";
    auto dropNewTarget = [&] {
        if (!existed) ::unlink(path.c_str());
    };

    Fd out(::mkostemp(temp.data(), O_CLOEXEC));
    if (!out.Valid()) {
        const int e = errno;
        dropNewTarget();
        return Failure(ReportWriteResult::WriteFailed, "Cannot write", path, e);
    }
    ::fchmod(out.Get(), st.st_mode & 07777);
    int error = 0;
    if (!WriteAll(out.Get(), bytes) || ::fsync(out.Get()) != 0) error = errno;
    if (out.Reset() != 0 && !error) error = errno;
    if (!error && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temp.c_str());
        dropNewTarget();
        return Failure(ReportWriteResult::WriteFailed, "Cannot write", path, error);
    }
    return {};
}

}  // namespace ldt

#include "platform/linux/PosixReportFile.h"

#include "platform/linux/UniqueFd.h"
#include "platform/linux/Utf8CodePage.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ldt {

namespace {

constexpr char kTemporaryPrefix[] = ".ldt~";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr std::size_t kTemporaryRandom = 10;
constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
// A temporary this old is left from a save that was killed: no save holds
// one open for that long.
constexpr std::time_t kStaleSeconds = 10 * 60;
// Hops through symbolic links before giving up, as the kernel does.
constexpr int kMaxLinks = 40;

std::string Describe(const char* what, const std::string& path, int error) {
    return std::string(what) + " " + path + ": " + std::strerror(error);
}

ReportWriteResult Failure(ReportWriteResult::Status status, const char* what, const std::string& path, int error) {
    return {status, Utf8ToUtf16(Describe(what, path, error))};
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Writes every byte from offset 0; false with errno set otherwise.
bool WriteAllAt(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The whole content from offset 0; false with errno set otherwise.
bool ReadAll(int fd, std::string& out) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(out.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        try {
            out.append(buffer, static_cast<std::size_t>(n));
        } catch (const std::bad_alloc&) {
            errno = ENOMEM;
            return false;
        }
    }
}

// Follows symbolic links at the end of `path` until it names no link (or
// nothing). A link in a sticky, world-writable folder is followed only when
// it belongs to the caller or to the folder's owner: another user's link
// planted in /tmp must not lead a privileged save onto a file of its
// choosing. Returns 0 or the errno for the refusal.
int ResolveLinks(std::string& path) {
    for (int hops = 0;; ++hops) {
        struct stat link {};
        if (::lstat(path.c_str(), &link) != 0) return errno == ENOENT ? 0 : errno;
        if (!S_ISLNK(link.st_mode)) return 0;
        if (hops == kMaxLinks) return ELOOP;
        const std::string dir = DirectoryOf(path);
        struct stat folder {};
        if (::stat(dir.c_str(), &folder) != 0) return errno;
        if ((folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH) && link.st_uid != ::geteuid() &&
            link.st_uid != folder.st_uid)
            return EACCES;
        std::string target(static_cast<std::size_t>(link.st_size > 0 ? link.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0) return errno;
        if (static_cast<std::size_t>(n) == target.size()) continue;  // changed under us: look again
        target.resize(static_cast<std::size_t>(n));
        path = target.front() == '/' ? target : dir + "/" + target;
    }
}

bool IsTemporaryName(const char* name) {
    const std::size_t prefix = sizeof kTemporaryPrefix - 1, suffix = sizeof kTemporarySuffix - 1;
    if (std::strlen(name) != prefix + kTemporaryRandom + suffix) return false;
    if (std::strncmp(name, kTemporaryPrefix, prefix) != 0) return false;
    if (std::strcmp(name + prefix + kTemporaryRandom, kTemporarySuffix) != 0) return false;
    for (std::size_t i = prefix; i < prefix + kTemporaryRandom; ++i)
        if (!std::strchr(kAlphabet, name[i])) return false;
    return true;
}

std::string TemporaryName() {
    unsigned char random[kTemporaryRandom];
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
        std::random_device device;
        for (unsigned char& r : random) r = static_cast<unsigned char>(device());
    }
    std::string name = kTemporaryPrefix;
    for (unsigned char r : random) name += kAlphabet[r % (sizeof kAlphabet - 1)];
    return name + kTemporarySuffix;
}

// Removes temporaries of ours in the folder that a killed save left behind:
// older than kStaleSeconds and not locked (a save in progress holds an
// flock on its temporary from creation to rename).
void RemoveStaleTemporaries(int dirFd) {
    UniqueFd listing(::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listing.Valid()) return;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listing.Get()), &::closedir);
    if (!dir) return;
    listing.Release();  // the DIR owns it now
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!IsTemporaryName(entry->d_name)) continue;
        UniqueFd file(::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!file.Valid() || ::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) continue;
        struct stat held {}, named {};
        if (::fstat(file.Get(), &held) != 0 || !S_ISREG(held.st_mode) || now - held.st_mtime <= kStaleSeconds)
            continue;
        if (::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_dev != held.st_dev ||
            named.st_ino != held.st_ino)
            continue;
        ::unlinkat(dirFd, entry->d_name, 0);
    }
}

// Writes `bytes` over the open file itself, keeping its old content in
// memory and writing it back when any step fails.
ReportWriteResult RewriteInPlace(int fd, const std::string& bytes, const std::string& path) {
    std::string old;
    if (!ReadAll(fd, old)) return Failure(ReportWriteResult::WriteFailed, "Cannot write", path, errno);
    if (WriteAllAt(fd, bytes) && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0)
        return {};
    std::string message = Describe("Cannot write", path, errno);
    if (WriteAllAt(fd, old) && ::ftruncate(fd, static_cast<off_t>(old.size())) == 0 && ::fsync(fd) == 0)
        message += ". Its previous content was put back.";
    else
        message += std::string(". Putting its previous content back failed too: ") + std::strerror(errno);
    return {ReportWriteResult::WriteFailed, Utf8ToUtf16(message)};
}

}  // namespace

ReportWriteResult PosixReportFile::WriteWhole(const WString& widePath, const std::string& bytes) {
    const std::string shown = Utf16ToUtf8(widePath);

    // Open (or create) the target itself first: this is where "cannot be
    // opened" is decided, exactly as for a plain open. Links are resolved
    // here and the final name opened without following, so the name that
    // is checked is the name that is opened; a link that appears meanwhile
    // sends us round again.
    std::string path;
    UniqueFd target;
    bool created = false;
    int error = ELOOP;
    for (int attempt = 0; attempt < 8 && !target.Valid(); ++attempt) {
        path = shown;
        if ((error = ResolveLinks(path)) != 0) break;
        constexpr int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
        target.Reset(::open(path.c_str(), flags));
        if (!target.Valid() && errno == ENOENT) {
            target.Reset(::open(path.c_str(), flags | O_CREAT | O_EXCL, 0666));
            created = target.Valid();
        }
        error = errno;
        if (!target.Valid() && error != ELOOP && error != EEXIST) break;
    }
    if (!target.Valid()) return Failure(ReportWriteResult::OpenFailed, "Cannot open", shown, error);
    if (::flock(target.Get(), LOCK_EX | LOCK_NB) != 0)
        return Failure(ReportWriteResult::OpenFailed, "Cannot open", shown, errno);
    struct stat st {};
    if (::fstat(target.Get(), &st) != 0) return Failure(ReportWriteResult::OpenFailed, "Cannot open", shown, errno);
    if (!S_ISREG(st.st_mode)) return Failure(ReportWriteResult::OpenFailed, "Cannot open", shown, EINVAL);

    const std::string dirName = DirectoryOf(path), base = BaseOf(path);
    // A folder we may search but not list still takes the rename; it only
    // cannot be flushed or cleaned.
    UniqueFd dir(::open(dirName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const bool dirReadable = dir.Valid();
    if (!dirReadable) dir.Reset(::open(dirName.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    auto fail = [&](int e) {
        if (created) ::unlink(path.c_str());
        return Failure(ReportWriteResult::WriteFailed, "Cannot write", shown, e);
    };
    if (!dir.Valid()) return fail(errno);
    if (dirReadable) RemoveStaleTemporaries(dir.Get());

    // A new file replacing this one would leave its other names with the
    // old text, or take our owner instead of the file's: write it in place.
    if (!created && (st.st_nlink > 1 || st.st_uid != ::geteuid()))
        return RewriteInPlace(target.Get(), bytes, shown);

    std::string tempName;
    UniqueFd temp;
    for (int attempt = 0; attempt < 100 && !temp.Valid(); ++attempt) {
        tempName = TemporaryName();
        temp.Reset(::openat(dir.Get(), tempName.c_str(),
                            O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
        if (!temp.Valid() && errno != EEXIST) break;
    }
    if (!temp.Valid()) {
        // Typically a folder we may not write in: the file itself still is.
        if (!created) return RewriteInPlace(target.Get(), bytes, shown);
        return fail(errno);
    }
    ::flock(temp.Get(), LOCK_EX | LOCK_NB);  // marks it as in use for RemoveStaleTemporaries
    auto dropTemp = [&] { ::unlinkat(dir.Get(), tempName.c_str(), 0); };

    struct stat made {};
    ::fstat(temp.Get(), &made);
    if (made.st_gid != st.st_gid && ::fchown(temp.Get(), static_cast<uid_t>(-1), st.st_gid) != 0) {
        // The file's group cannot be given to a new file by us.
        dropTemp();
        return RewriteInPlace(target.Get(), bytes, shown);
    }
    if (::fchmod(temp.Get(), st.st_mode & 07777) != 0 || !WriteAllAt(temp.Get(), bytes) ||
        ::fsync(temp.Get()) != 0 || ::renameat(dir.Get(), tempName.c_str(), dir.Get(), base.c_str()) != 0) {
        const int e = errno;
        dropTemp();
        return fail(e);
    }
    // Flush the folder so the rename itself survives a power cut. Some file
    // systems cannot flush folders (EINVAL); that is no failure of ours.
    if (dirReadable && ::fsync(dir.Get()) != 0 && errno != EINVAL)
        return Failure(ReportWriteResult::WriteFailed, "Cannot write", shown, errno);
    return {};
}

}  // namespace ldt

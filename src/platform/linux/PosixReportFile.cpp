#include "platform/linux/PosixReportFile.h"

#include "platform/SafeSave.h"
#include "platform/linux/UniqueFd.h"
#include "platform/linux/Utf8CodePage.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace ldt {

namespace {

constexpr TemporaryNamePattern kTemporaries{
    u".ldt~", u"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 10, false};
// Hops through symbolic links before giving up, as the kernel does.
constexpr int kMaxLinks = 40;

SystemError Error(int e = errno) { return static_cast<SystemError>(e != 0 ? e : EIO); }

// Writes every byte from offset 0; false with errno set otherwise.
bool WriteAllAt(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = RetryEintr(
            [&] { return ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done)); });
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
        const auto n = RetryEintr([&] { return ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(out.size())); });
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

// The components of `path` ("" and "." dropped) pushed so that the first
// is at the back of `todo`, before what `todo` already held.
void PushComponents(const std::string& path, std::vector<std::string>& todo) {
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".") parts.push_back(part);
        start = end + 1;
    }
    todo.insert(todo.end(), parts.rbegin(), parts.rend());
}

// A link another user planted in a shared folder such as /tmp must not lead
// a privileged save onto a file of its choosing: in a sticky, world-writable
// folder only the caller's and the folder owner's links are followed.
bool MayFollow(const struct stat& folder, const struct stat& link) {
    return !(folder.st_mode & S_ISVTX) || !(folder.st_mode & S_IWOTH) || link.st_uid == ::geteuid() ||
           link.st_uid == folder.st_uid;
}

// Walks `path` one component at a time, checking every link met with
// MayFollow. Gives the folder that holds the last component (`folder`) and
// that component's name, which may not exist yet. Returns 0 or the errno.
int Locate(const std::string& path, UniqueFd& folder, std::string& name) {
    if (path.empty()) return ENOENT;
    std::vector<std::string> todo;
    PushComponents(path, todo);
    if (todo.empty()) return EISDIR;
    folder.Reset(::open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (int hops = 0; folder.Valid();) {
        const std::string part = std::move(todo.back());
        todo.pop_back();
        struct stat link {};
        if (::fstatat(folder.Get(), part.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0) {
            if (!todo.empty() || errno != ENOENT) return errno;
            name = part;  // a new file
            return 0;
        }
        if (!S_ISLNK(link.st_mode)) {
            if (todo.empty()) {
                name = part;
                return 0;
            }
            UniqueFd next(::openat(folder.Get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!next.Valid()) return errno;
            folder = std::move(next);
            continue;
        }
        if (++hops > kMaxLinks) return ELOOP;
        struct stat here {};
        if (::fstat(folder.Get(), &here) != 0) return errno;
        if (!MayFollow(here, link)) return EACCES;
        std::string target(static_cast<std::size_t>(link.st_size > 0 ? link.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlinkat(folder.Get(), part.c_str(), target.data(), target.size());
        if (n < 0) return errno;
        if (static_cast<std::size_t>(n) == target.size() || n == 0) {  // changed under us: look again
            todo.push_back(part);
            continue;
        }
        target.resize(static_cast<std::size_t>(n));
        PushComponents(target, todo);
        if (target[0] == '/') folder.Reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (todo.empty()) return EISDIR;  // a link to "/"
    }
    return errno;
}

std::uint64_t Random64() {
    std::uint64_t value = 0;
    if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value))
        value = (std::uint64_t(std::random_device()()) << 32) ^ std::random_device()();
    return value;
}

// All that `call(buffer, size)` (flistxattr, fgetxattr) gives, its size
// asked first; false with errno set otherwise.
template <typename Call>
bool Fetch(Call call, std::string& out) {
    for (;;) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0) return false;
        out.assign(static_cast<std::size_t>(size), '\0');
        const ssize_t n = size > 0 ? call(out.data(), out.size()) : 0;
        if (n < 0 && errno == ERANGE) continue;  // grew meanwhile
        if (n < 0) return false;
        out.resize(static_cast<std::size_t>(n));
        return true;
    }
}

// The names of `fd`'s extended attributes that the caller may see (none on
// a file system without them); false when they cannot be listed.
bool AttributeNames(int fd, std::vector<std::string>& names) {
    names.clear();
    std::string list;
    if (!Fetch([fd](char* to, std::size_t size) { return ::flistxattr(fd, to, size); }, list)) return errno == ENOTSUP;
    for (std::size_t at = 0; at < list.size(); at += names.back().size() + 1) names.emplace_back(list.c_str() + at);
    return true;
}

bool AttributeValue(int fd, const std::string& name, std::string& value) {
    return Fetch([&](char* to, std::size_t size) { return ::fgetxattr(fd, name.c_str(), to, size); }, value);
}

// Gives `to` the extended attributes of `from`, and only those. The access
// list (system.posix_acl_access) is one of them; it is set before the mode,
// so the group bits, which carry the list's mask, never grant more than the
// list does.
bool CopyAttributes(int from, int to, mode_t mode) {
    std::vector<std::string> want, have;
    if (!AttributeNames(from, want) || !AttributeNames(to, have)) return false;
    for (const std::string& name : have)
        if (std::find(want.begin(), want.end(), name) == want.end() && ::fremovexattr(to, name.c_str()) != 0)
            return false;
    for (const std::string& name : want) {
        std::string value, current;
        if (!AttributeValue(from, name, value)) return false;
        if (AttributeValue(to, name, current) && current == value) continue;  // e.g. an inherited label
        if (::fsetxattr(to, name.c_str(), value.data(), value.size(), 0) != 0) return false;
    }
    return ::fchmod(to, mode) == 0;
}

class PosixSave final : public SaveFilePrimitives {
public:
    SystemError OpenTarget(const WString& path, SaveTarget& target) override {
        // Links are resolved here and the final name opened without
        // following, so the name that is checked is the name that is
        // opened; a link that appears meanwhile sends us round again.
        const std::string shown = Utf16ToUtf8(path);
        int error = ELOOP;
        for (int attempt = 0; attempt < 8 && !target_.Valid(); ++attempt) {
            if ((error = Locate(shown, folder_, name_)) != 0) return Error(error);
            constexpr int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
            target_.Reset(::openat(folder_.Get(), name_.c_str(), flags));
            if (!target_.Valid() && errno == ENOENT) {
                target_.Reset(::openat(folder_.Get(), name_.c_str(), flags | O_CREAT | O_EXCL, 0666));
                created_ = target_.Valid();
            }
            error = errno;
            if (!target_.Valid() && error != ELOOP && error != EEXIST) break;
        }
        if (!target_.Valid()) return Error(error);
        error = ::fstat(target_.Get(), &st_) != 0                 ? errno
                : ::flock(target_.Get(), LOCK_EX | LOCK_NB) != 0 ? errno
                : !S_ISREG(st_.st_mode)                         ? EINVAL
                                                                : 0;
        if (error) {
            RemoveCreatedTarget();
            return Error(error);
        }
        target = {created_, st_.st_nlink > 1, st_.st_uid != ::geteuid()};
        return 0;
    }

    // Ours, older than kStaleTemporarySeconds and not locked (a save in
    // progress holds an flock on its temporary from creation to rename).
    void RemoveStaleTemporaries() override {
        UniqueFd listing(::openat(folder_.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!listing.Valid()) return;  // a folder we may search but not list
        const UniqueDir dir(::fdopendir(listing.Get()));
        if (!dir.Valid()) return;
        (void)listing.Release();  // the DIR owns it now
        const std::time_t now = std::time(nullptr);
        while (const dirent* entry = ::readdir(dir.Get())) {
            if (!kTemporaries.Matches(Utf8ToUtf16(entry->d_name))) continue;
            UniqueFd file(
                ::openat(folder_.Get(), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            if (!file.Valid() || ::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) continue;
            struct stat held {}, named {};
            if (::fstat(file.Get(), &held) != 0 || !S_ISREG(held.st_mode) ||
                now - held.st_mtime <= kStaleTemporarySeconds)
                continue;
            if (::fstatat(folder_.Get(), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                named.st_dev == held.st_dev && named.st_ino == held.st_ino)
                ::unlinkat(folder_.Get(), entry->d_name, 0);
        }
    }

    SystemError ReadTarget(std::string& content) override { return ReadAll(target_.Get(), content) ? 0 : Error(); }

    SystemError WriteTarget(const std::string& bytes) override {
        const int fd = target_.Get();
        return WriteAllAt(fd, bytes) && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0
                   ? 0
                   : Error();
    }

    void RemoveCreatedTarget() override {
        if (created_ && TargetStillNamed()) ::unlinkat(folder_.Get(), name_.c_str(), 0);
        created_ = false;
    }

    SystemError CreateTemporary() override {
        for (int attempt = 0; attempt < 100; ++attempt) {
            tempName_ = Utf16ToUtf8(kTemporaries.Name(Random64()));
            temp_.Reset(::openat(folder_.Get(), tempName_.c_str(),
                                 O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
            if (temp_.Valid()) {
                ::flock(temp_.Get(), LOCK_EX | LOCK_NB);  // marks it as in use for RemoveStaleTemporaries
                return 0;
            }
            if (errno != EEXIST) break;
        }
        tempName_.clear();
        return Error();
    }

    bool CarryOverToTemporary() override {
        struct stat made {};
        if (::fstat(temp_.Get(), &made) != 0) return false;
        if (made.st_gid != st_.st_gid && ::fchown(temp_.Get(), static_cast<uid_t>(-1), st_.st_gid) != 0)
            return false;  // a group we cannot give a new file
        return CopyAttributes(target_.Get(), temp_.Get(), st_.st_mode & 07777);
    }

    SystemError WriteTemporary(const std::string& bytes) override {
        return WriteAllAt(temp_.Get(), bytes) && ::fsync(temp_.Get()) == 0 ? 0 : Error();
    }

    ReplaceOutcome ReplaceTarget(SystemError& error, WString&) override {
        target_.Reset();
        if (::renameat(folder_.Get(), tempName_.c_str(), folder_.Get(), name_.c_str()) != 0) {
            error = Error();
            return ReplaceOutcome::Failed;
        }
        tempName_.clear();
        created_ = false;
        return ReplaceOutcome::Replaced;
    }

    bool TargetStillNamed() override {
        struct stat named {};
        return ::fstatat(folder_.Get(), name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
               named.st_dev == st_.st_dev && named.st_ino == st_.st_ino;
    }

    void RemoveTemporary() override {
        if (!tempName_.empty()) ::unlinkat(folder_.Get(), tempName_.c_str(), 0);
        tempName_.clear();
        temp_.Reset();
    }

    // A folder we may search but not list still takes the rename; it only
    // cannot be flushed. Some file systems cannot flush folders (EINVAL).
    SystemError SyncFolder() override {
        const UniqueFd dir(::openat(folder_.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!dir.Valid()) return Error();
        return ::fsync(dir.Get()) == 0 || errno == EINVAL ? 0 : Error();
    }

    WString ErrorText(SystemError error) override { return ErrnoText(static_cast<int>(error)); }

private:
    UniqueFd folder_;    // the folder that holds the target (O_PATH)
    std::string name_;   // the target's name in it
    UniqueFd target_;
    struct stat st_ {};  // the target as opened
    bool created_ = false;
    std::string tempName_;
    UniqueFd temp_;
};

}  // namespace

ReportWriteResult PosixReportFile::WriteWhole(const WString& path, const std::string& bytes) {
    PosixSave primitives;
    return SafeSave(primitives, path, bytes);
}

}  // namespace ldt

#include "machine-sim/MachineSimulator.h"

#include "platform/Deadline.h"
#include "platform/linux/Poll.h"
#include "platform/linux/UniqueFd.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

namespace ldt {
namespace {

using Millis = std::chrono::milliseconds;

constexpr unsigned char kQueryPrefix[] = {0x1A, 0x24, 0x69, 0x34};
constexpr std::size_t kMaxReplyFileBytes = 64 * 1024;
constexpr Millis kErrorBackoff{20};
constexpr Millis kReopenInterval{25};

// Finds the five-byte queries in a byte stream that may arrive in pieces;
// other bytes are skipped.
class QueryMatcher {
public:
    // 'X' or 'Y' when `b` completes a query, else 0.
    char Feed(unsigned char b) {
        if (matched_ == sizeof kQueryPrefix) {
            matched_ = 0;
            if (b == 'X' || b == 'Y') return static_cast<char>(b);
        } else if (b == kQueryPrefix[matched_]) {
            ++matched_;
            return 0;
        } else {
            matched_ = 0;
        }
        // 0x1A occurs only at the start of the prefix: a mismatch restarts there.
        if (b == kQueryPrefix[0]) matched_ = 1;
        return 0;
    }

private:
    std::size_t matched_ = 0;
};

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool Fail(std::string& error, std::string why) {
    error = std::move(why);
    return false;
}

// The reply file's bytes, or nothing when it is not a readable regular file.
// Opened non-blocking so that a FIFO in its place cannot stall the server.
std::optional<std::string> ReadReplyFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::string text;
    char buffer[4096];
    while (text.size() < kMaxReplyFileBytes) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    if (text.size() > kMaxReplyFileBytes) text.resize(kMaxReplyFileBytes);
    return text;
}

bool SetNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace

bool ParseSimulatorMode(const std::string& name, SimulatorMode& mode) {
    static const std::pair<const char*, SimulatorMode> kModes[] = {
        {"normal", SimulatorMode::Normal}, {"silent", SimulatorMode::Silent},
        {"late", SimulatorMode::Late},     {"split", SimulatorMode::Split},
        {"zero", SimulatorMode::Zero},     {"long", SimulatorMode::Long},
        {"hangup", SimulatorMode::Hangup},
    };
    for (const auto& [text, value] : kModes) {
        if (name == text) {
            mode = value;
            return true;
        }
    }
    return false;
}

const char* SimulatorModeName(SimulatorMode mode) {
    switch (mode) {
    case SimulatorMode::Normal: return "normal";
    case SimulatorMode::Silent: return "silent";
    case SimulatorMode::Late: return "late";
    case SimulatorMode::Split: return "split";
    case SimulatorMode::Zero: return "zero";
    case SimulatorMode::Long: return "long";
    case SimulatorMode::Hangup: return "hangup";
    }
    return "?";
}

std::string MachineSimulator::DefaultReply() {
    // Short enough for every value to fit its box in the window.
    return "2.31,V5.07,RF-60W,300,80,500,1000,2.0in,Yes,USB 2.0,12.5mm,0,1.000,1.000,Left  12,Down  5,Raster,";
}

std::string MachineSimulator::ZeroReply() {
    return std::string("abc\0def,", 8);
}

std::string MachineSimulator::LongReply() {
    std::string text;
    for (int i = 0; i < 75; ++i) {
        char field[8];
        std::snprintf(field, sizeof field, "%03d,", i);
        text += field;
    }
    return text;
}

struct MachineSimulator::Impl {
    explicit Impl(MachineSimulatorOptions o)
        : options(std::move(o)),
          mode(options.mode),
          delay(options.delay),
          reply(options.reply ? *options.reply : DefaultReply()) {}

    bool Open(std::string& error);
    bool OpenPty(std::string& error);
    bool OpenDevice();
    bool ServeDevice();
    void CloseAll();
    void RemoveLink();

    void Serve();
    bool HandleQuery(char which);
    void Record(char which);
    bool Pause(Millis duration);
    bool Send(const std::string& bytes);
    std::string Padded(std::string bytes) const;

    const MachineSimulatorOptions options;
    std::string slavePath;
    UniqueFd master, slave, wakeRead, wakeWrite, log;
    bool linkCreated = false;
    bool started = false;
    std::thread thread;

    // Shared with the server thread.
    mutable std::mutex mutex;
    mutable std::condition_variable queried;
    SimulatorMode mode;
    Millis delay;
    std::string reply;
    std::size_t countX = 0;
    std::size_t countY = 0;
};

bool MachineSimulator::Impl::Open(std::string& error) {
    if (!options.devicePath.empty()) {
        slavePath = options.devicePath;
    } else if (!OpenPty(error)) {
        return false;
    }

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return Fail(error, SystemError("pipe2"));
    wakeRead.Reset(pipeFds[0]);
    wakeWrite.Reset(pipeFds[1]);

    if (!options.logPath.empty()) {
        log.Reset(::open(options.logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0644));
        if (!log.Valid()) return Fail(error, SystemError("open " + options.logPath));
    }
    return true;
}

bool MachineSimulator::Impl::OpenPty(std::string& error) {
    master.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!master.Valid()) return Fail(error, SystemError("posix_openpt"));
    if (::grantpt(master.Get()) != 0) return Fail(error, SystemError("grantpt"));
    if (::unlockpt(master.Get()) != 0) return Fail(error, SystemError("unlockpt"));
    char name[PATH_MAX];
    if (const int rc = ::ptsname_r(master.Get(), name, sizeof name); rc != 0) {
        errno = rc;
        return Fail(error, SystemError("ptsname_r"));
    }
    slavePath = name;

    // Kept open so that the master never sees EIO when the clients close.
    slave.Reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.Valid()) return Fail(error, SystemError("open " + slavePath));
    termios tio{};
    if (::tcgetattr(slave.Get(), &tio) != 0) return Fail(error, SystemError("tcgetattr"));
    ::cfmakeraw(&tio);  // no echo, no line processing: the bytes pass untouched
    if (::tcsetattr(slave.Get(), TCSANOW, &tio) != 0) return Fail(error, SystemError("tcsetattr"));
    if (options.controllingTerminal && ::ioctl(slave.Get(), TIOCSCTTY, 0) != 0)
        return Fail(error, SystemError("TIOCSCTTY"));
    if (!SetNonBlocking(master.Get())) return Fail(error, SystemError("fcntl"));

    if (!options.linkPath.empty()) {
        const char* link = options.linkPath.c_str();
        if (::symlink(name, link) != 0) {
            // Replace a stale link from an earlier run, but nothing else.
            struct stat st {};
            if (errno != EEXIST || ::lstat(link, &st) != 0 || !S_ISLNK(st.st_mode) ||
                ::unlink(link) != 0 || ::symlink(name, link) != 0) {
                if (errno == EEXIST) return Fail(error, options.linkPath + ": exists and is not a symlink");
                return Fail(error, SystemError("symlink " + options.linkPath));
            }
        }
        linkCreated = true;
    }
    return true;
}

void MachineSimulator::Impl::RemoveLink() {
    if (!linkCreated) return;
    linkCreated = false;
    // Only while it is still ours: another simulator may have replaced it.
    char target[PATH_MAX];
    const ssize_t n = ::readlink(options.linkPath.c_str(), target, sizeof target - 1);
    if (n >= 0 && slavePath == std::string(target, static_cast<std::size_t>(n)))
        ::unlink(options.linkPath.c_str());
}

void MachineSimulator::Impl::CloseAll() {
    RemoveLink();
    master.Reset();
    slave.Reset();
    log.Reset();
    wakeRead.Reset();
    wakeWrite.Reset();
}

// Opens the device, waiting while it cannot be opened; false on Stop().
bool MachineSimulator::Impl::OpenDevice() {
    for (;;) {
        master.Reset(::open(options.devicePath.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (master.Valid()) {
            if (options.onDeviceOpen) options.onDeviceOpen();
            return true;
        }
        if (!Pause(kReopenInterval)) return false;
    }
}

// Serves the device until Stop(), opening it again after every failure.
bool MachineSimulator::Impl::ServeDevice() {
    unsigned char buffer[512];
    while (OpenDevice()) {
        QueryMatcher matcher;  // a query cut by an unplug is not completed by the next one
        for (;;) {
            pollfd fds[2] = {{master.Get(), POLLIN, 0}, {wakeRead.Get(), POLLIN, 0}};
            if (PollForever(fds, 2) < 0 || fds[1].revents != 0) return false;
            if (fds[0].revents == 0) continue;
            const ssize_t n = (fds[0].revents & POLLIN) ? ::read(master.Get(), buffer, sizeof buffer) : -1;
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n <= 0) break;  // unplugged or hung up: open it again
            bool serving = true;
            for (ssize_t i = 0; i < n && serving; ++i) {
                if (const char which = matcher.Feed(buffer[i]); which != 0) serving = HandleQuery(which);
            }
            if (!serving) return false;
        }
        master.Reset();
        if (!Pause(kReopenInterval)) return false;
    }
    return false;
}

void MachineSimulator::Impl::Serve() {
    if (!options.devicePath.empty()) {
        ServeDevice();
        return;
    }
    QueryMatcher matcher;
    unsigned char buffer[512];
    for (;;) {
        pollfd fds[2] = {{master.Get(), POLLIN, 0}, {wakeRead.Get(), POLLIN, 0}};
        if (PollForever(fds, 2) < 0) return;
        if (fds[1].revents != 0) return;  // Stop()
        if (fds[0].revents == 0) continue;
        const ssize_t n = ::read(master.Get(), buffer, sizeof buffer);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (n <= 0) {
            // Not expected while our slave descriptor is open; do not spin.
            if (!Pause(kErrorBackoff)) return;
            continue;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (const char which = matcher.Feed(buffer[i]); which != 0 && !HandleQuery(which)) return;
        }
    }
}

// Answers one query; false when the server must end (stop or hang-up).
bool MachineSimulator::Impl::HandleQuery(char which) {
    Record(which);

    SimulatorMode currentMode;
    Millis currentDelay;
    std::string text;
    {
        std::lock_guard<std::mutex> lock(mutex);
        currentMode = mode;
        currentDelay = delay;
        text = reply;
    }
    if (!options.replyFile.empty()) {
        if (auto fromFile = ReadReplyFile(options.replyFile)) text = std::move(*fromFile);
    }

    switch (currentMode) {
    case SimulatorMode::Normal:
        return Send(Padded(text));
    case SimulatorMode::Silent:
        return true;
    case SimulatorMode::Late:
        return Pause(currentDelay) && Send(Padded(text));
    case SimulatorMode::Split: {
        const std::string bytes = Padded(text);
        const std::size_t cut = text.size() / 2;
        return Send(bytes.substr(0, cut)) && Pause(currentDelay) && Send(bytes.substr(cut));
    }
    case SimulatorMode::Zero:
        return Send(Padded(ZeroReply()));
    case SimulatorMode::Long:
        return Send(Padded(LongReply()));
    case SimulatorMode::Hangup:
        // Closing the master hangs up the slave for every client; the link
        // goes first so that a client that sees the hang-up finds it gone.
        RemoveLink();
        master.Reset();
        slave.Reset();
        return false;
    }
    return true;
}

void MachineSimulator::Impl::Record(char which) {
    if (log.Valid()) {
        const char line[2] = {which, '\n'};
        while (::write(log.Get(), line, sizeof line) < 0 && errno == EINTR) {
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++(which == 'X' ? countX : countY);
    }
    queried.notify_all();
}

// Waits, or returns false at once when Stop() is called.
bool MachineSimulator::Impl::Pause(Millis duration) {
    pollfd wake{wakeRead.Get(), POLLIN, 0};
    return PollUntil(&wake, 1, Deadline(duration)) == 0;
}

// Writes all of `bytes` to the master. A client that does not read can fill
// the pty; the wait for room still ends at Stop(). False only on stop.
bool MachineSimulator::Impl::Send(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master.Get(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return true;  // reply lost; keep serving
        pollfd fds[2] = {{master.Get(), POLLOUT, 0}, {wakeRead.Get(), POLLIN, 0}};
        if (PollForever(fds, 2) < 0 || fds[1].revents != 0) return false;
    }
    return true;
}

std::string MachineSimulator::Impl::Padded(std::string bytes) const {
    if (options.pad && bytes.size() < kReplyBytes) bytes.resize(kReplyBytes, '\0');
    return bytes;
}

MachineSimulator::MachineSimulator(MachineSimulatorOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

MachineSimulator::~MachineSimulator() { Stop(); }

bool MachineSimulator::Start(std::string* error) {
    std::string why;
    if (impl_->started) {
        why = "already started";
    } else if (impl_->Open(why)) {
        impl_->started = true;
        impl_->thread = std::thread([impl = impl_.get()] { impl->Serve(); });
        return true;
    } else {
        impl_->CloseAll();
        impl_->slavePath.clear();
    }
    if (error) *error = why;
    return false;
}

void MachineSimulator::Stop() {
    if (!impl_->thread.joinable()) return;
    const char wake = 1;
    while (::write(impl_->wakeWrite.Get(), &wake, 1) < 0 && errno == EINTR) {
    }
    impl_->thread.join();
    impl_->CloseAll();
}

const std::string& MachineSimulator::SlavePath() const { return impl_->slavePath; }

void MachineSimulator::SetReply(std::string text) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->reply = std::move(text);
}

void MachineSimulator::SetMode(SimulatorMode mode) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->mode = mode;
}

void MachineSimulator::SetDelay(std::chrono::milliseconds delay) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->delay = delay;
}

std::size_t MachineSimulator::QueryCountX() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->countX;
}

std::size_t MachineSimulator::QueryCountY() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->countY;
}

bool MachineSimulator::WaitForQueries(std::size_t total, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    return impl_->queried.wait_for(lock, timeout, [&] { return impl_->countX + impl_->countY >= total; });
}

}  // namespace ldt

#include "platform/linux/SysfsDeviceBus.h"

#include "platform/linux/Utf8CodePage.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ldt {

namespace {

class UsblpSet final : public InterfaceSet {
public:
    explicit UsblpSet(std::vector<WString> paths) : paths_(std::move(paths)) {}
    InterfaceQuery Query(unsigned index, WString& path) override {
        if (index >= paths_.size()) return InterfaceQuery::NoMoreItems;
        path = paths_[index];
        return InterfaceQuery::Ok;
    }

private:
    std::vector<WString> paths_;
};

bool IsLpName(const std::string& name, long& number) {
    if (name.size() < 3 || name.compare(0, 2, "lp") != 0) return false;
    if (!std::all_of(name.begin() + 2, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    number = std::strtol(name.c_str() + 2, nullptr, 10);
    return true;
}

bool IsPrinterInterface(const std::string& classDir) {
    std::ifstream in(classDir + "/device/bInterfaceClass");
    std::string value;
    return in >> value && std::strtol(value.c_str(), nullptr, 16) == 7;
}

// Waits up to `timeoutMs` for `events`; returns the revents, 0 on timeout.
short WaitFor(int fd, short events, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd p{fd, events, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const int r = poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (r > 0) return p.revents;
        if (r == 0 || errno != EINTR) return 0;
    }
}

}  // namespace

SysfsDeviceBus::SysfsDeviceBus(std::string sysRoot, std::string devRoot, int readTimeoutMs)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)), timeoutMs_(readTimeoutMs) {}

std::unique_ptr<InterfaceSet> SysfsDeviceBus::OpenInterfaceSet(const Guid&) {
    std::vector<std::pair<long, std::string>> found;
    const std::string classRoot = sysRoot_ + "/class/usbmisc";
    if (DIR* dir = opendir(classRoot.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            long number = 0;
            const std::string name = entry->d_name;
            if (IsLpName(name, number) && IsPrinterInterface(classRoot + "/" + name))
                found.emplace_back(number, name);
        }
        closedir(dir);
    }
    std::sort(found.begin(), found.end());
    std::vector<WString> paths;
    for (const auto& f : found) paths.push_back(Utf8ToUtf16(devRoot_ + "/usb/" + f.second));
    return std::make_unique<UsblpSet>(std::move(paths));
}

DeviceHandle SysfsDeviceBus::Open(const WString& path, OpenMode mode) {
    std::string p = Utf16ToUtf8(path);
    if (!p.empty() && p.back() == '\\') p.pop_back();
    if (p.empty() || p[0] != '/') return kInvalidDevice;
    const int access = mode == OpenMode::WriteExclusive ? O_WRONLY : O_RDWR;
    int fd = ::open(p.c_str(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kInvalidDevice;
    if (fd < 3) {  // keep handle values clear of kNullDevice
        const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
        ::close(fd);
        if (moved < 0) return kInvalidDevice;
        fd = moved;
    }
    return fd;
}

void SysfsDeviceBus::Write(DeviceHandle device, const void* data, std::size_t size) {
    const int fd = static_cast<int>(device);
    if (WaitFor(fd, POLLOUT, timeoutMs_) & POLLOUT) {
        [[maybe_unused]] const ssize_t n = ::write(fd, data, size);
    }
}

std::size_t SysfsDeviceBus::Read(DeviceHandle device, void* buffer, std::size_t capacity) {
    const int fd = static_cast<int>(device);
    if (!(WaitFor(fd, POLLIN, timeoutMs_) & POLLIN)) return 0;
    ssize_t n;
    do n = ::read(fd, buffer, capacity);
    while (n < 0 && errno == EINTR);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void SysfsDeviceBus::Close(DeviceHandle device) { ::close(static_cast<int>(device)); }

}  // namespace ldt

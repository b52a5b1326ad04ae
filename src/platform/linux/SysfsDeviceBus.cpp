#include "platform/linux/SysfsDeviceBus.h"

#include "platform/linux/UniqueFd.h"
#include "platform/linux/Utf8CodePage.h"
#include "seams/Messages.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
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

class UsblpDevice final : public Device {
public:
    explicit UsblpDevice(UniqueFd fd) : fd_(std::move(fd)) {}
    int Fd() const { return fd_.Get(); }

private:
    UniqueFd fd_;
};

int FdOf(Device* device) { return static_cast<UsblpDevice*>(device)->Fd(); }

using SteadyClock = std::chrono::steady_clock;

// Polls the descriptors of `pending` (indexes into the caller's batch) for
// `events` until the deadline, calling `ready(index, revents)` once for each
// that becomes ready; an index is dropped when it has been handled.
template <typename Ready>
void PollUntil(std::vector<int> fds, std::vector<std::size_t> pending, short events,
               SteadyClock::time_point deadline, Ready ready) {
    while (!pending.empty()) {
        std::vector<pollfd> polls;
        for (std::size_t i : pending) polls.push_back({fds[i], events, 0});
        // Rounded up, so that no poll returns before the deadline.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
        const int r = poll(polls.data(), polls.size(), static_cast<int>(std::max<long long>(0, left)));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return;
        std::vector<std::size_t> still;
        for (std::size_t k = 0; k < polls.size(); ++k) {
            if (polls[k].revents)
                ready(pending[k], polls[k].revents);
            else
                still.push_back(pending[k]);
        }
        pending.swap(still);
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

OpenResult SysfsDeviceBus::Open(const WString& path, OpenMode mode) {
    OpenResult result;
    std::string p = Utf16ToUtf8(path);
    if (!p.empty() && p.back() == '\\') p.pop_back();
    if (p.empty() || p[0] != '/') {
        result.reason = Utf8ToUtf16(std::strerror(ENOENT));
        return result;
    }
    const int access = mode == OpenMode::WriteExclusive ? O_WRONLY : O_RDWR;
    UniqueFd fd(::open(p.c_str(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) {
        const int error = errno;
        result.reason = Utf8ToUtf16(std::strerror(error));
        if (error == EACCES || error == EPERM)
            result.remedy = kLpGroupRemedy;
        else if (error == EBUSY)
            result.remedy = kBusyRemedy;
        return result;
    }
    result.device = std::make_unique<UsblpDevice>(std::move(fd));
    return result;
}

void SysfsDeviceBus::WriteEach(std::vector<DeviceWrite>& writes, const void* data, std::size_t size) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs_);
    std::vector<int> fds;
    std::vector<std::size_t> all;
    for (DeviceWrite& w : writes) {
        w.written = 0;
        all.push_back(fds.size());
        fds.push_back(FdOf(w.device));
    }
    PollUntil(fds, all, POLLOUT, deadline, [&](std::size_t i, short revents) {
        if (!(revents & POLLOUT)) return;
        ssize_t n;
        do n = ::write(fds[i], data, size);
        while (n < 0 && errno == EINTR);
        if (n > 0) writes[i].written = static_cast<std::size_t>(n);
    });
}

void SysfsDeviceBus::ReadEach(std::vector<DeviceRead>& reads) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs_);
    std::vector<int> fds;
    std::vector<std::size_t> all;
    for (DeviceRead& r : reads) {
        r.received = 0;
        all.push_back(fds.size());
        fds.push_back(FdOf(r.device));
    }
    PollUntil(fds, all, POLLIN, deadline, [&](std::size_t i, short revents) {
        if (!(revents & POLLIN) || reads[i].capacity == 0) return;
        ssize_t n;
        do n = ::read(fds[i], reads[i].buffer, reads[i].capacity);
        while (n < 0 && errno == EINTR);
        if (n > 0) reads[i].received = static_cast<std::size_t>(n);
    });
}

}  // namespace ldt

#include "platform/linux/SysfsDeviceBus.h"

#include "platform/Deadline.h"
#include "platform/linux/Poll.h"
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
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ldt {

namespace {

class UsblpSet final : public InterfaceSet {
public:
    UsblpSet(std::vector<WString> paths, std::vector<std::string> interfaceDirs)
        : paths_(std::move(paths)), interfaceDirs_(std::move(interfaceDirs)) {}
    InterfaceQuery Query(unsigned index, WString& path) override {
        if (index >= paths_.size()) return InterfaceQuery::NoMoreItems;
        path = paths_[index];
        return InterfaceQuery::Ok;
    }
    DeviceIdentity Identify(unsigned index) override {
        return index < interfaceDirs_.size() ? IdentifyUsbInterface(interfaceDirs_[index]) : DeviceIdentity{};
    }

private:
    std::vector<WString> paths_;
    std::vector<std::string> interfaceDirs_;
};

class UsblpDevice final : public Device {
public:
    explicit UsblpDevice(UniqueFd fd) : fd_(std::move(fd)) {}
    int Fd() const { return fd_.Get(); }

private:
    UniqueFd fd_;
};

int FdOf(Device* device) { return static_cast<UsblpDevice*>(device)->Fd(); }

// Polls every descriptor of `fds` for `events` until the deadline, calling
// `ready(index, revents)` for each that becomes ready; an index is dropped
// once `ready` says it is finished, else polled again.
template <typename Ready>
void PollEach(const std::vector<int>& fds, short events, const Deadline& deadline, Ready ready) {
    std::vector<std::size_t> pending(fds.size());
    for (std::size_t i = 0; i < pending.size(); ++i) pending[i] = i;
    std::vector<pollfd> polls;
    while (!pending.empty()) {
        polls.clear();
        for (std::size_t i : pending) polls.push_back({fds[i], events, 0});
        if (PollUntil(polls.data(), polls.size(), deadline) <= 0) return;
        std::vector<std::size_t> still;
        for (std::size_t k = 0; k < polls.size(); ++k) {
            if (!polls[k].revents || !ready(pending[k], polls[k].revents)) still.push_back(pending[k]);
        }
        pending.swap(still);
    }
}

template <typename Batch>
std::vector<int> FdsOf(const Batch& batch) {
    std::vector<int> fds;
    for (const auto& entry : batch) fds.push_back(FdOf(entry.device));
    return fds;
}

}  // namespace

SysfsDeviceBus::SysfsDeviceBus(std::string sysRoot, std::string devRoot, int readTimeoutMs)
    : timeoutMs_(readTimeoutMs) {
    roots_.sys = std::move(sysRoot);
    roots_.dev = std::move(devRoot);
}

SysfsDeviceBus::SysfsDeviceBus(UsbSystemRoots roots, int readTimeoutMs)
    : roots_(std::move(roots)), timeoutMs_(readTimeoutMs) {}

std::unique_ptr<InterfaceSet> SysfsDeviceBus::OpenInterfaceSet(const Guid&) {
    std::vector<WString> paths;
    std::vector<std::string> interfaceDirs;
    for (const UsblpNode& node : ListUsblpNodes(roots_.sys)) {
        paths.push_back(Utf8ToUtf16(roots_.dev + "/usb/" + node.name));
        interfaceDirs.push_back(node.interfaceDir);
        // A handful of nodes at most; the bound only guards against a
        // tree that keeps inventing names.
        if (usbDeviceOf_.size() >= 256) usbDeviceOf_.clear();
        if (!node.interfaceDir.empty())
            usbDeviceOf_[paths.back()] = UsbDeviceDirOf(node.interfaceDir);
    }
    return std::make_unique<UsblpSet>(std::move(paths), std::move(interfaceDirs));
}

std::vector<PortlessInterface> SysfsDeviceBus::FindPortlessInterfaces() {
    PortlessScan scan = FindPortlessPrinters(roots_);
    portlessNotListed_ = scan.notListed;
    return std::move(scan.listed);
}

bool SysfsDeviceBus::PortMayReturn(const WString& path) {
    const auto it = usbDeviceOf_.find(path);
    if (it == usbDeviceOf_.end()) return true;
    struct stat st;
    return ::stat(it->second.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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
    const Deadline deadline{std::chrono::milliseconds(timeoutMs_)};
    const auto* bytes = static_cast<const char*>(data);
    for (DeviceWrite& w : writes) w.written = 0;
    if (size == 0) return;
    const std::vector<int> fds = FdsOf(writes);
    // A device that takes part of the bytes is written the rest as it makes
    // room, until the deadline.
    PollEach(fds, POLLOUT, deadline, [&](std::size_t i, short revents) {
        if (!(revents & POLLOUT)) return true;  // gone, or failed
        std::size_t& written = writes[i].written;
        ssize_t n;
        do n = ::write(fds[i], bytes + written, size - written);
        while (n < 0 && errno == EINTR);
        if (n < 0) return errno != EAGAIN;
        written += static_cast<std::size_t>(n);
        return n == 0 || written == size;
    });
}

void SysfsDeviceBus::ReadEach(std::vector<DeviceRead>& reads) {
    const Deadline deadline{std::chrono::milliseconds(timeoutMs_)};
    for (DeviceRead& r : reads) r.received = 0;
    const std::vector<int> fds = FdsOf(reads);
    PollEach(fds, POLLIN, deadline, [&](std::size_t i, short revents) {
        if (!(revents & POLLIN) || reads[i].capacity == 0) return true;
        ssize_t n;
        do n = ::read(fds[i], reads[i].buffer, reads[i].capacity);
        while (n < 0 && errno == EINTR);
        if (n > 0) reads[i].received = static_cast<std::size_t>(n);
        return true;  // one transfer is all a read takes
    });
}

}  // namespace ldt

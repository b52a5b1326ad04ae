#include "platform/linux/SysfsDeviceBus.h"

#include "platform/Deadline.h"
#include "platform/linux/Poll.h"
#include "platform/linux/RawUsbRoute.h"
#include "platform/linux/UniqueFd.h"
#include "platform/linux/Utf8CodePage.h"
#include "seams/Messages.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ldt {

namespace {

// The usblp nodes, then the raw route's ports.
class UsblpSet final : public InterfaceSet {
public:
    UsblpSet(std::vector<WString> paths, std::vector<std::string> interfaceDirs, std::vector<RawUsbRoute::Port> raw)
        : paths_(std::move(paths)), interfaceDirs_(std::move(interfaceDirs)), raw_(std::move(raw)) {}
    InterfaceQuery Query(unsigned index, WString& path) override {
        if (index >= paths_.size() + raw_.size()) return InterfaceQuery::NoMoreItems;
        path = index < paths_.size() ? paths_[index] : raw_[index - paths_.size()].path;
        return InterfaceQuery::Ok;
    }
    DeviceIdentity Identify(unsigned index) override {
        if (index >= paths_.size())
            return index - paths_.size() < raw_.size() ? raw_[index - paths_.size()].identity : DeviceIdentity{};
        DeviceIdentity id = IdentifyUsbInterface(interfaceDirs_[index]);
        id.route = kUsblpRoute;
        return id;
    }

private:
    std::vector<WString> paths_;
    std::vector<std::string> interfaceDirs_;
    std::vector<RawUsbRoute::Port> raw_;
};

class UsblpDevice final : public Device {
public:
    explicit UsblpDevice(UniqueFd fd) : fd_(std::move(fd)) {}
    int Fd() const { return fd_.Get(); }

private:
    UniqueFd fd_;
};

int FdOf(Device* device) { return static_cast<UsblpDevice*>(device)->Fd(); }

// A batch split by route: the usblp nodes' entries, and the raw route's
// jobs with where each came from.
template <typename Entry>
struct SplitBatch {
    std::vector<Entry*> nodes;
    std::vector<RawUsbRoute::Job> raw;
    std::vector<Entry*> rawFrom;
};

template <typename Entry>
SplitBatch<Entry> Split(std::vector<Entry>& batch, bool in) {
    SplitBatch<Entry> split;
    for (Entry& entry : batch) {
        if (RawUsbRoute::IsRaw(entry.device)) {
            split.raw.push_back({entry.device, in});
            split.rawFrom.push_back(&entry);
        } else {
            split.nodes.push_back(&entry);
        }
    }
    return split;
}

// Polls the node of every entry of `entries` for `events` until the
// deadline, calling `ready(entry, fd, revents)` for each that becomes ready;
// an entry is dropped once `ready` says it is finished, else polled again.
template <typename Entry, typename Ready>
void PollEach(const std::vector<Entry*>& entries, short events, const Deadline& deadline, Ready ready) {
    std::vector<Entry*> pending = entries;
    std::vector<pollfd> polls;
    while (!pending.empty()) {
        polls.clear();
        for (const Entry* entry : pending) polls.push_back({FdOf(entry->device), events, 0});
        if (PollUntil(polls.data(), polls.size(), deadline) <= 0) return;
        std::vector<Entry*> still;
        for (std::size_t k = 0; k < polls.size(); ++k) {
            if (!polls[k].revents || !ready(*pending[k], polls[k].fd, polls[k].revents)) still.push_back(pending[k]);
        }
        pending.swap(still);
    }
}

}  // namespace

SysfsDeviceBus::SysfsDeviceBus(std::string sysRoot, std::string devRoot, int readTimeoutMs)
    : SysfsDeviceBus(UsbSystemRoots{std::move(sysRoot), std::move(devRoot), UsbSystemRoots().modprobeDirs, {}},
                     readTimeoutMs) {}

SysfsDeviceBus::SysfsDeviceBus(UsbSystemRoots roots, int readTimeoutMs, bool rawRoute)
    : roots_(std::move(roots)), timeoutMs_(readTimeoutMs) {
    if (rawRoute) raw_ = std::make_unique<RawUsbRoute>(roots_);
}

SysfsDeviceBus::~SysfsDeviceBus() = default;

bool SysfsDeviceBus::RawRouteAvailable() const { return raw_ && raw_->Available(); }

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
    std::vector<RawUsbRoute::Port> raw;
    if (RawRouteAvailable()) raw = raw_->List();
    for (const RawUsbRoute::Port& port : raw) {
        if (usbDeviceOf_.size() >= 256) usbDeviceOf_.clear();
        usbDeviceOf_[port.path] = UsbDeviceDirOf(port.interfaceDir);
    }
    return std::make_unique<UsblpSet>(std::move(paths), std::move(interfaceDirs), std::move(raw));
}

std::vector<PortlessInterface> SysfsDeviceBus::FindPortlessInterfaces() {
    PortlessScan scan = FindPortlessPrinters(roots_, RawRouteAvailable());
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
    std::string p = Utf16ToUtf8(path);
    if (!p.empty() && p.back() == '\\') p.pop_back();
    if (RawUsbRoute::IsRawPath(path) && RawRouteAvailable()) return raw_->Open(Utf8ToUtf16(p));
    if (p.empty() || p[0] != '/') return {{}, ErrnoText(ENOENT), {}};
    const int access = mode == OpenMode::WriteExclusive ? O_WRONLY : O_RDWR;
    UniqueFd fd(::open(p.c_str(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Valid()) return {std::make_unique<UsblpDevice>(std::move(fd)), {}, {}};
    const int error = errno;
    return {{}, ErrnoText(error),
            error == EACCES || error == EPERM ? kLpGroupRemedy : error == EBUSY ? kBusyRemedy : u""};
}

void SysfsDeviceBus::WriteEach(std::vector<DeviceWrite>& writes, const void* data, std::size_t size) {
    const Deadline deadline{std::chrono::milliseconds(timeoutMs_)};
    const auto* bytes = static_cast<const char*>(data);
    for (DeviceWrite& w : writes) w.written = 0;
    if (size == 0) return;
    auto split = Split(writes, false);
    for (RawUsbRoute::Job& job : split.raw) {
        job.out = data;
        job.size = size;
    }
    // The raw transfers run in the kernel while the nodes are served.
    if (!split.raw.empty()) raw_->Start(split.raw);
    // A device that takes part of the bytes is written the rest as it makes
    // room, until the deadline.
    PollEach(split.nodes, POLLOUT, deadline, [&](DeviceWrite& w, int fd, short revents) {
        if (!(revents & POLLOUT)) return true;  // gone, or failed
        std::size_t& written = w.written;
        const ssize_t n = RetryEintr([&] { return ::write(fd, bytes + written, size - written); });
        if (n < 0) return errno != EAGAIN;
        written += static_cast<std::size_t>(n);
        return n == 0 || written == size;
    });
    if (split.raw.empty()) return;
    raw_->Finish(split.raw, deadline);
    for (std::size_t i = 0; i < split.raw.size(); ++i) split.rawFrom[i]->written = split.raw[i].done;
}

void SysfsDeviceBus::ReadWithin(std::vector<DeviceRead>& reads, int boundMs) {
    const Deadline deadline{std::chrono::milliseconds(boundMs)};
    for (DeviceRead& r : reads) r.received = 0;
    auto split = Split(reads, true);
    for (std::size_t i = 0; i < split.raw.size(); ++i) {
        split.raw[i].into = split.rawFrom[i]->buffer;
        split.raw[i].size = split.rawFrom[i]->capacity;
    }
    if (!split.raw.empty()) raw_->Start(split.raw);
    PollEach(split.nodes, POLLIN, deadline, [&](DeviceRead& read, int fd, short revents) {
        if (!(revents & POLLIN) || read.capacity == 0) return true;
        const ssize_t n = RetryEintr([&] { return ::read(fd, read.buffer, read.capacity); });
        if (n > 0) read.received = static_cast<std::size_t>(n);
        return true;  // one transfer is all a read takes
    });
    if (split.raw.empty()) return;
    raw_->Finish(split.raw, deadline);
    for (std::size_t i = 0; i < split.raw.size(); ++i) split.rawFrom[i]->received = split.raw[i].done;
}

}  // namespace ldt

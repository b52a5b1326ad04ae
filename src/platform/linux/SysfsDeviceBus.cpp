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

// The usblp nodes (the first `nodes`, identified when asked), then the raw
// route's ports.
class UsblpSet final : public InterfaceSet {
public:
    UsblpSet(std::vector<RawUsbRoute::Port> ports, std::size_t nodes) : ports_(std::move(ports)), nodes_(nodes) {}
    InterfaceQuery Query(unsigned index, WString& path) override {
        if (index >= ports_.size()) return InterfaceQuery::NoMoreItems;
        path = ports_[index].path;
        return InterfaceQuery::Ok;
    }
    DeviceIdentity Identify(unsigned index) override {
        if (index >= ports_.size()) return {};
        if (index >= nodes_) return ports_[index].identity;
        DeviceIdentity id = IdentifyUsbInterface(ports_[index].interfaceDir);
        id.route = kUsblpRoute;
        return id;
    }

private:
    std::vector<RawUsbRoute::Port> ports_;
    std::size_t nodes_;
};

class UsblpDevice final : public Device {
public:
    explicit UsblpDevice(UniqueFd fd) : fd_(std::move(fd)) {}
    int Fd() const { return fd_.Get(); }

private:
    UniqueFd fd_;
};

int FdOf(Device* device) { return static_cast<UsblpDevice*>(device)->Fd(); }

// Serves one batch until `deadline`: the raw route's transfers (`job` makes
// each) run in the kernel while the usblp nodes are polled for `events`;
// `ready(entry, fd, revents)` serves a node that became ready and says
// whether it is finished, else it is polled again. A raw entry's `done`
// then takes what its transfer carried.
template <typename Entry, typename MakeJob, typename Ready>
void ServeBatch(RawUsbRoute* route, std::vector<Entry>& batch, std::size_t Entry::*done, short events,
                const Deadline& deadline, MakeJob job, Ready ready) {
    std::vector<Entry*> pending, rawFrom;
    std::vector<RawUsbRoute::Job> raw;
    for (Entry& entry : batch) {
        if (!RawUsbRoute::IsRaw(entry.device)) {
            pending.push_back(&entry);
            continue;
        }
        raw.push_back(job(entry));
        rawFrom.push_back(&entry);
    }
    if (!raw.empty()) route->Start(raw);
    for (std::vector<pollfd> polls; !pending.empty();) {
        polls.clear();
        for (const Entry* entry : pending) polls.push_back({FdOf(entry->device), events, 0});
        if (PollUntil(polls.data(), polls.size(), deadline) <= 0) break;
        std::vector<Entry*> still;
        for (std::size_t k = 0; k < polls.size(); ++k)
            if (!polls[k].revents || !ready(*pending[k], polls[k].fd, polls[k].revents)) still.push_back(pending[k]);
        pending.swap(still);
    }
    if (raw.empty()) return;
    route->Finish(raw, deadline);
    for (std::size_t i = 0; i < raw.size(); ++i) rawFrom[i]->*done = raw[i].done;
}

}  // namespace

SysfsDeviceBus::SysfsDeviceBus(std::string sysRoot, std::string devRoot, int readTimeoutMs)
    : SysfsDeviceBus(UsbSystemRoots{std::move(sysRoot), std::move(devRoot)}, readTimeoutMs) {}  // default folders

SysfsDeviceBus::SysfsDeviceBus(UsbSystemRoots roots, int readTimeoutMs, bool rawRoute)
    : roots_(std::move(roots)), timeoutMs_(readTimeoutMs) {
    if (rawRoute) raw_ = std::make_unique<RawUsbRoute>(roots_);
}

SysfsDeviceBus::~SysfsDeviceBus() = default;

bool SysfsDeviceBus::RawRouteAvailable() const { return raw_ && raw_->Available(); }

std::unique_ptr<InterfaceSet> SysfsDeviceBus::OpenInterfaceSet(const Guid&) {
    std::vector<RawUsbRoute::Port> ports;
    for (const UsblpNode& node : ListUsblpNodes(roots_.sys))
        ports.push_back({Utf8ToUtf16(roots_.dev + "/usb/" + node.name), node.interfaceDir, {}});
    const std::size_t nodes = ports.size();
    if (RawRouteAvailable())
        for (RawUsbRoute::Port& port : raw_->List()) ports.push_back(std::move(port));
    for (const RawUsbRoute::Port& port : ports) {
        // A handful of ports at most; the bound only guards against a tree
        // that keeps inventing names.
        if (usbDeviceOf_.size() >= 256) usbDeviceOf_.clear();
        if (!port.interfaceDir.empty()) usbDeviceOf_[port.path] = UsbDeviceDirOf(port.interfaceDir);
    }
    return std::make_unique<UsblpSet>(std::move(ports), nodes);
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
    const auto* bytes = static_cast<const char*>(data);
    for (DeviceWrite& w : writes) w.written = 0;
    if (size == 0) return;
    const auto job = [&](DeviceWrite& w) { return RawUsbRoute::Job{w.device, false, data, nullptr, size}; };
    // A device that takes part of the bytes is written the rest as it makes
    // room, until the deadline.
    ServeBatch(raw_.get(), writes, &DeviceWrite::written, POLLOUT, Deadline{std::chrono::milliseconds(timeoutMs_)},
               job, [&](DeviceWrite& w, int fd, short revents) {
                   if (!(revents & POLLOUT)) return true;  // gone, or failed
                   std::size_t& written = w.written;
                   const ssize_t n = RetryEintr([&] { return ::write(fd, bytes + written, size - written); });
                   if (n < 0) return errno != EAGAIN;
                   written += static_cast<std::size_t>(n);
                   return n == 0 || written == size;
               });
}

void SysfsDeviceBus::ReadWithin(std::vector<DeviceRead>& reads, int boundMs) {
    for (DeviceRead& r : reads) r.received = 0;
    const auto job = [](DeviceRead& r) { return RawUsbRoute::Job{r.device, true, nullptr, r.buffer, r.capacity}; };
    ServeBatch(raw_.get(), reads, &DeviceRead::received, POLLIN, Deadline{std::chrono::milliseconds(boundMs)}, job,
               [](DeviceRead& read, int fd, short revents) {
                   if (!(revents & POLLIN) || read.capacity == 0) return true;
                   const ssize_t n = RetryEintr([&] { return ::read(fd, read.buffer, read.capacity); });
                   if (n > 0) read.received = static_cast<std::size_t>(n);
                   return true;  // one transfer is all a read takes
               });
}

}  // namespace ldt

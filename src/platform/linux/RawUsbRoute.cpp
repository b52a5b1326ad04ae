#include "platform/linux/RawUsbRoute.h"

#include "platform/linux/UniqueFd.h"
#include "platform/linux/UsbDescriptors.h"
#include "platform/linux/Utf8CodePage.h"
#include "seams/Messages.h"

#include <libusb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <unistd.h>

namespace ldt {

namespace {

constexpr char16_t kRawPrefix[] = u"usb ";
// The most of a device's descriptors read: a printer's are a few hundred
// bytes, and a longer file is cut, not trusted further.
constexpr std::size_t kDescriptorLimit = 65536;
// What all GET_DEVICE_ID requests of one listing may take together, and
// one of them at most: a device that never answers costs no more.
constexpr auto kIdentifyBudget = std::chrono::milliseconds(300);
constexpr unsigned kIdentifyEachMs = 100;
constexpr std::size_t kDeviceIdLimit = 1024;

// The endpoints of the printer interface at `interfaceDir`, from its
// device's descriptors in sysfs (no device I/O).
PrinterInterfaceParse ParseInterface(const std::string& interfaceDir) {
    const std::string device = UsbDeviceDirOf(interfaceDir);
    const std::string bytes = ReadFileBytes(device + "/descriptors", kDescriptorLimit);
    const long configuration = ReadNumberAttribute(device, "bConfigurationValue", 10);
    const long number = ReadNumberAttribute(interfaceDir, "bInterfaceNumber", 16);
    if (configuration < 0 || number < 0) return {};
    return FindPrinterInterface(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                                static_cast<int>(configuration), static_cast<int>(number));
}

const char16_t* ProblemText(DescriptorProblem problem) {
    switch (problem) {
    case DescriptorProblem::NoBulkOut: return kNoBulkOut;
    case DescriptorProblem::NoBulkIn: return kNoBulkIn;
    case DescriptorProblem::ZeroPacketSize: return kZeroPacketSize;
    case DescriptorProblem::NoInterface:
    case DescriptorProblem::None: break;
    }
    return kNoPrinterInterface;
}

WString HeldReason(const std::string& interfaceDir) {
    const std::string driver = DriverOf(interfaceDir);
    return driver.empty() ? WString(kHeldByProgram) : FillTemplate(kHeldThroughDriver, {Utf8ToUtf16(driver)});
}

// The device's usbfs node and libusb's handle on it, closed in that order
// (libusb leaves a wrapped descriptor open).
struct Handle {
    libusb_device_handle* usb = nullptr;
    UniqueFd fd;
    Handle() = default;
    Handle(Handle&& other) noexcept : usb(std::exchange(other.usb, nullptr)), fd(std::move(other.fd)) {}
    ~Handle() {
        if (usb) libusb_close(usb);
    }
};

// Opens the usbfs node of the interface's device; when it fails, `why`
// holds the reason (and, for a node the user may not open, the remedy).
std::optional<Handle> OpenNode(libusb_context* ctx, const std::string& devRoot, const std::string& interfaceDir,
                               OpenResult& why) {
    const auto failed = [&why](int error) {
        why.reason = ErrnoText(error);
        if (error == EACCES || error == EPERM) why.remedy = kLpGroupRemedy;
        return std::nullopt;
    };
    const std::string device = UsbDeviceDirOf(interfaceDir);
    const long bus = ReadNumberAttribute(device, "busnum", 10), address = ReadNumberAttribute(device, "devnum", 10);
    if (bus < 0 || address < 0) return failed(ENODEV);
    char node[64];
    std::snprintf(node, sizeof node, "/bus/usb/%03ld/%03ld", bus, address);
    Handle h;
    h.fd.Reset(::open((devRoot + node).c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY));
    if (!h.fd) return failed(errno);
    const int r = libusb_wrap_sys_device(ctx, static_cast<intptr_t>(h.fd.Get()), &h.usb);
    if (r != LIBUSB_SUCCESS) {
        h.usb = nullptr;
        why.reason = Utf8ToUtf16(libusb_strerror(r));
        return std::nullopt;
    }
    return h;
}

}  // namespace

class RawUsbDevice final : public Device {
public:
    RawUsbDevice(Handle handle, PrinterInterface endpoints) : handle_(std::move(handle)), endpoints_(endpoints) {}
    ~RawUsbDevice() override {
        if (!gone) libusb_release_interface(handle_.usb, endpoints_.number);
    }
    libusb_device_handle* Usb() const { return handle_.usb; }
    const PrinterInterface& Endpoints() const { return endpoints_; }
    bool gone = false;  // unplugged: no transfer goes to it any more

private:
    Handle handle_;
    PrinterInterface endpoints_;
};

// One submitted transfer and the buffer it fills or empties.
struct RawUsbRoute::Pending {
    libusb_transfer* transfer = nullptr;
    std::vector<unsigned char> buffer;
    bool finished = false;
    static void LIBUSB_CALL Done(libusb_transfer* t) { static_cast<Pending*>(t->user_data)->finished = true; }
    ~Pending() {
        if (transfer) libusb_free_transfer(transfer);
    }
};

RawUsbRoute::RawUsbRoute(UsbSystemRoots roots) : roots_(std::move(roots)) {
    // Devices are found through sysfs and opened by their node, so libusb
    // neither scans the bus nor starts a watch of its own.
    libusb_set_option(nullptr, LIBUSB_OPTION_NO_DEVICE_DISCOVERY);
    if (libusb_init(&ctx_) != LIBUSB_SUCCESS) ctx_ = nullptr;
}

RawUsbRoute::~RawUsbRoute() {
    if (ctx_) libusb_exit(ctx_);
}

bool RawUsbRoute::IsRawPath(const WString& path) { return path.rfind(kRawPrefix, 0) == 0; }

bool RawUsbRoute::IsRaw(const Device* device) { return dynamic_cast<const RawUsbDevice*>(device) != nullptr; }

std::vector<RawUsbRoute::Port> RawUsbRoute::List() {
    std::vector<Port> ports;
    if (!ctx_) return ports;
    const std::string devices = roots_.sys + "/bus/usb/devices";
    auto names = ListDirectory(devices);
    std::sort(names.begin(), names.end());
    std::map<WString, int> perDevice;
    for (const std::string& name : names) {
        const auto colon = name.find(':');
        if (colon == std::string::npos) continue;
        const std::string link = devices + "/" + name;
        if (!IsUsblpClassInterface(link) || !DriverOf(link).empty()) continue;
        const std::string dir = ResolvePath(link);
        if (dir.empty()) continue;
        ++perDevice[Utf8ToUtf16(name.substr(0, colon))];
        ports.push_back({Utf8ToUtf16(name), dir, IdentifyUsbInterface(dir)});  // the path is finished below
    }
    const Deadline budget(kIdentifyBudget);
    for (Port& port : ports) {
        // The device's name alone where it has one such interface.
        const WString device = port.path.substr(0, port.path.find(u':'));
        port.path = kRawPrefix + (perDevice[device] > 1 ? port.path : device);
        DeviceIdentity& id = port.identity;
        const PrinterInterfaceParse parse = ParseInterface(port.interfaceDir);
        if (!parse.found) {
            id.route = u"raw USB";
            continue;
        }
        const PrinterInterface& e = *parse.found;
        id.route = FillTemplate(kRawUsbRoute, {Ascii(std::to_string(e.number)), u"0x" + HexDigits(e.bulkOut, 2),
                                               u"0x" + HexDigits(e.bulkIn, 2)});
        const unsigned wait = budget.RemainingMs<unsigned>(kIdentifyEachMs);
        OpenResult why;
        auto h = wait ? OpenNode(ctx_, roots_.dev, port.interfaceDir, why) : std::nullopt;
        if (!h) continue;
        if (libusb_claim_interface(h->usb, e.number) == LIBUSB_SUCCESS) {
            unsigned char reply[kDeviceIdLimit];
            const int n = libusb_control_transfer(
                h->usb, LIBUSB_ENDPOINT_IN | LIBUSB_REQUEST_TYPE_CLASS | LIBUSB_RECIPIENT_INTERFACE, 0, 0,
                static_cast<std::uint16_t>(e.number << 8 | e.alternate), reply, sizeof reply, wait);
            if (const auto text = Parse1284Id(reply, static_cast<std::size_t>(std::max(n, 0))))
                id.ieee1284Id = Utf8ToUtf16(*text);
            libusb_release_interface(h->usb, e.number);
        }
    }
    return ports;
}

OpenResult RawUsbRoute::Open(const WString& path) {
    const std::string name = Utf16ToUtf8(path.substr(std::char_traits<char16_t>::length(kRawPrefix)));
    const std::string devices = roots_.sys + "/bus/usb/devices";
    std::string interfaceName = name;
    if (name.find(':') == std::string::npos) {
        // The device's one printer interface without a driver, or, should
        // it have been bound meanwhile, its first printer interface.
        interfaceName.clear();
        auto names = ListDirectory(devices);
        std::sort(names.begin(), names.end());
        for (const std::string& n : names) {
            if (n.rfind(name + ":", 0) != 0 || !IsUsblpClassInterface(devices + "/" + n)) continue;
            if (interfaceName.empty() || DriverOf(devices + "/" + n).empty()) interfaceName = n;
            if (DriverOf(devices + "/" + n).empty()) break;
        }
    }
    const std::string dir = (!ctx_ || name.empty() || name.find('/') != std::string::npos || interfaceName.empty())
                                ? std::string()
                                : ResolvePath(devices + "/" + interfaceName);
    if (dir.empty()) return {{}, ErrnoText(ENODEV), {}};
    // Bound to a driver (or claimed by a program) since the listing: never
    // taken from it.
    if (!DriverOf(dir).empty()) return {{}, HeldReason(dir), kBusyRemedy};
    const PrinterInterfaceParse parse = ParseInterface(dir);
    if (!parse.found) return {{}, ProblemText(parse.problem), {}};
    const PrinterInterface e = *parse.found;
    OpenResult why;
    auto h = OpenNode(ctx_, roots_.dev, dir, why);
    if (!h) return why;
    // Claiming never detaches a driver: with one bound, it fails as busy.
    int r = libusb_claim_interface(h->usb, e.number);
    if (r == LIBUSB_SUCCESS && e.alternate != 0) {
        r = libusb_set_interface_alt_setting(h->usb, e.number, e.alternate);
        if (r != LIBUSB_SUCCESS) libusb_release_interface(h->usb, e.number);
    }
    if (r != LIBUSB_SUCCESS) {
        const bool busy = r == LIBUSB_ERROR_BUSY;
        return {{}, busy ? HeldReason(dir) : Utf8ToUtf16(libusb_strerror(r)), busy ? kBusyRemedy : u""};
    }
    return {std::make_unique<RawUsbDevice>(std::move(*h), e), {}, {}};
}

void RawUsbRoute::Start(std::vector<Job>& jobs) {
    pending_.clear();
    for (Job& job : jobs) {
        auto p = std::make_unique<Pending>();
        auto* device = static_cast<RawUsbDevice*>(job.device);
        job.done = 0;
        p->finished = true;
        if (!device->gone && job.size > 0) {
            const PrinterInterface& e = device->Endpoints();
            // A read takes whole packets, so that a device sending a full
            // last packet never overflows it; only `size` bytes are kept.
            const std::size_t packet = job.in ? e.inPacket : e.outPacket;
            p->buffer.resize(job.in ? (job.size + packet - 1) / packet * packet : job.size);
            if (!job.in) std::memcpy(p->buffer.data(), job.out, job.size);
            p->transfer = libusb_alloc_transfer(0);
            if (p->transfer) {
                libusb_fill_bulk_transfer(p->transfer, device->Usb(), job.in ? e.bulkIn : e.bulkOut, p->buffer.data(),
                                          static_cast<int>(p->buffer.size()), &Pending::Done, p.get(), 0);
                const int r = libusb_submit_transfer(p->transfer);
                p->finished = r != LIBUSB_SUCCESS;
                if (r == LIBUSB_ERROR_NO_DEVICE) device->gone = true;
            }
        }
        pending_.push_back(std::move(p));
    }
}

void RawUsbRoute::Finish(std::vector<Job>& jobs, const Deadline& deadline) {
    const auto open = [this] {
        return std::any_of(pending_.begin(), pending_.end(), [](const auto& p) { return !p->finished; });
    };
    const auto handle = [this](unsigned ms) {
        timeval tv{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>(ms % 1000 * 1000)};
        libusb_handle_events_timeout_completed(ctx_, &tv, nullptr);
    };
    while (open() && !deadline.Passed()) handle(deadline.RemainingMs<unsigned>(1000));
    for (const auto& p : pending_)
        if (!p->finished) libusb_cancel_transfer(p->transfer);
    // A cancelled transfer comes back at once; the bound only guards
    // against a kernel that never gives it back.
    const Deadline cancelled(std::chrono::seconds(2));
    while (open() && !cancelled.Passed()) handle(100);
    for (std::size_t i = 0; i < jobs.size() && i < pending_.size(); ++i) {
        Pending& p = *pending_[i];
        if (!p.finished) {
            // Still owned by the kernel: its buffer must outlive it.
            (void)pending_[i].release();
            continue;
        }
        if (!p.transfer || !p.transfer->length) continue;
        auto* device = static_cast<RawUsbDevice*>(jobs[i].device);
        if (p.transfer->status == LIBUSB_TRANSFER_NO_DEVICE) device->gone = true;
        // Completed, timed out, cancelled or stalled: what came before counts.
        const std::size_t carried = static_cast<std::size_t>(std::max(p.transfer->actual_length, 0));
        jobs[i].done = std::min(carried, jobs[i].size);
        if (jobs[i].in) std::memcpy(jobs[i].into, p.buffer.data(), jobs[i].done);
    }
    pending_.clear();
}

}  // namespace ldt

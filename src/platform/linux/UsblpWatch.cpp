#include "platform/linux/UsblpWatch.h"

#include "platform/linux/SysfsUsb.h"

#include <sys/inotify.h>

#include <cstdlib>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace ldt {

namespace {

constexpr std::uint32_t kNodeEvents = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_ATTRIB;
constexpr std::uint32_t kDirEvents = IN_DELETE_SELF | IN_MOVE_SELF;

// The USB devices in <sys>/bus/usb/devices as read once: the folder's entry
// names, and the devices (interfaces left out) by bus number and address,
// the first of a pair.
class UsbDevices {
public:
    explicit UsbDevices(const std::string& sysRoot)
        : devices_(sysRoot + "/bus/usb/devices"), names_(ListDirectory(devices_)) {
        for (const std::string& name : names_) {
            if (name.find(':') != std::string::npos) continue;
            const std::string dir = devices_ + "/" + name;
            const long bus = ReadNumberAttribute(dir, "busnum", 10), address = ReadNumberAttribute(dir, "devnum", 10);
            index_.emplace(std::make_pair(bus, address), name);
        }
    }

    // Whether usbfs node `bus`/`node` may be a printer: a device with a
    // printer-class interface, or one whose interfaces do not show yet.
    bool MayBePrinter(const std::string& bus, const std::string& node) const {
        const auto found = index_.find({std::strtol(bus.c_str(), nullptr, 10), std::strtol(node.c_str(), nullptr, 10)});
        if (found == index_.end()) return true;  // not in sysfs (yet): it cannot tell
        bool anyInterface = false;
        for (const std::string& n : names_) {
            if (n.rfind(found->second + ":", 0) != 0) continue;
            anyInterface = true;
            if (IsPrinterInterface(devices_ + "/" + n)) return true;
        }
        return !anyInterface;
    }

private:
    const std::string devices_;
    const std::vector<std::string> names_;
    std::map<std::pair<long, long>, std::string> index_;
};

}  // namespace

UsblpWatch::UsblpWatch(std::string devRoot, std::string sysRoot)
    : devRoot_(std::move(devRoot)), inotify_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), sysRoot_(std::move(sysRoot)) {
    Arm();
    ArmBuses();
    const UsbDevices devices(sysRoot_);  // one reading of sysfs for all the nodes there are now
    for (const auto& watched : busWatch_)
        for (const std::string& node : ListDirectory(devRoot_ + "/bus/usb/" + watched.second))
            if (devices.MayBePrinter(watched.second, node)) printers_.insert(watched.second + "/" + node);
}

void UsblpWatch::ArmBuses() {
    if (!inotify_.Valid()) return;
    const std::string buses = devRoot_ + "/bus/usb";
    if (busesWatch_ < 0) busesWatch_ = inotify_add_watch(inotify_.Get(), buses.c_str(), IN_CREATE | IN_ONLYDIR);
    if (busesWatch_ < 0) return;
    for (const std::string& bus : ListDirectory(buses)) {
        const int wd =
            inotify_add_watch(inotify_.Get(), (buses + "/" + bus).c_str(), IN_CREATE | IN_DELETE | IN_ONLYDIR);
        if (wd >= 0) busWatch_[wd] = bus;  // the same folder gives the same watch again
    }
}

void UsblpWatch::Arm() {
    if (!inotify_.Valid()) return;
    const std::string usb = devRoot_ + "/usb";
    if (usbWatch_ < 0) usbWatch_ = inotify_add_watch(inotify_.Get(), usb.c_str(), kNodeEvents | kDirEvents);
    if (usbWatch_ < 0 && rootWatch_ < 0) {
        rootWatch_ = inotify_add_watch(inotify_.Get(), devRoot_.c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
        // /dev/usb may have come between the two calls.
        usbWatch_ = inotify_add_watch(inotify_.Get(), usb.c_str(), kNodeEvents | kDirEvents);
    }
    if (usbWatch_ >= 0 && rootWatch_ >= 0) {
        inotify_rm_watch(inotify_.Get(), rootWatch_);
        rootWatch_ = -1;
    }
}

bool UsblpWatch::TakeEvents() {
    if (!inotify_.Valid()) return false;
    bool changed = false;
    std::optional<UsbDevices> devices;  // read once for all the new usbfs nodes of this call
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = RetryEintr([&] { return ::read(inotify_.Get(), buffer, sizeof buffer); });
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            if (e->mask & IN_Q_OVERFLOW) {
                changed = true;
            } else if (e->wd == usbWatch_) {
                if (e->mask & (kDirEvents | IN_IGNORED)) {
                    // /dev/usb went away with whatever nodes it held.
                    usbWatch_ = -1;
                    changed = true;
                } else if (e->len > 0 && std::strncmp(e->name, "lp", 2) == 0) {
                    changed = true;
                }
            } else if (e->wd == rootWatch_ && e->len > 0 && std::strcmp(e->name, "usb") == 0) {
                changed = true;  // it may already hold nodes
            } else if (e->wd == busesWatch_) {
                ArmBuses();  // a new bus
            } else if (const auto bus = busWatch_.find(e->wd); bus != busWatch_.end() && e->len > 0) {
                const std::string node = bus->second + "/" + e->name;
                if (e->mask & IN_DELETE) {
                    changed = printers_.erase(node) > 0 || changed;
                } else if ((devices ? *devices : devices.emplace(sysRoot_)).MayBePrinter(bus->second, e->name)) {
                    printers_.insert(node);
                    changed = true;
                }
            } else if (bus != busWatch_.end() && (e->mask & IN_IGNORED)) {
                busWatch_.erase(bus);  // the bus went
            }
        }
    }
    Arm();
    return changed;
}

}  // namespace ldt

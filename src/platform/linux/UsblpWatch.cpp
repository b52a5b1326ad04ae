#include "platform/linux/UsblpWatch.h"

#include <sys/inotify.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace ldt {

namespace {

constexpr std::uint32_t kNodeEvents = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_ATTRIB;
constexpr std::uint32_t kDirEvents = IN_DELETE_SELF | IN_MOVE_SELF;

bool IsLpNode(const char* name) { return std::strncmp(name, "lp", 2) == 0; }

}  // namespace

UsblpWatch::UsblpWatch(std::string devRoot)
    : devRoot_(std::move(devRoot)), inotify_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    Arm();
}

void UsblpWatch::Arm() {
    if (!inotify_.Valid()) return;
    if (usbWatch_ < 0) {
        usbWatch_ = inotify_add_watch(inotify_.Get(), (devRoot_ + "/usb").c_str(), kNodeEvents | kDirEvents);
    }
    if (usbWatch_ >= 0 && rootWatch_ >= 0) {
        inotify_rm_watch(inotify_.Get(), rootWatch_);
        rootWatch_ = -1;
    } else if (usbWatch_ < 0 && rootWatch_ < 0) {
        rootWatch_ = inotify_add_watch(inotify_.Get(), devRoot_.c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR);
        // /dev/usb may have come between the two calls.
        usbWatch_ = inotify_add_watch(inotify_.Get(), (devRoot_ + "/usb").c_str(), kNodeEvents | kDirEvents);
        if (usbWatch_ >= 0) Arm();
    }
}

bool UsblpWatch::TakeEvents() {
    if (!inotify_.Valid()) return false;
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(inotify_.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
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
                } else if (e->len > 0 && IsLpNode(e->name)) {
                    changed = true;
                }
            } else if (e->wd == rootWatch_ && e->len > 0 && std::strcmp(e->name, "usb") == 0) {
                changed = true;  // it may already hold nodes
            }
        }
    }
    Arm();
    return changed;
}

}  // namespace ldt

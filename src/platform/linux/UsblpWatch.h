#pragma once
// Watches the usblp nodes themselves coming and going: inotify on
// <dev>/usb, and on <dev> while <dev>/usb does not exist. It works wherever
// the nodes appear, with udev or without (containers, test namespaces),
// and needs no device events. The same watch sees the USB devices of the
// raw route: their usbfs nodes in <dev>/bus/usb/BBB, of which those with a
// printer-class interface in <sys> count (and those it cannot tell yet).

#include "platform/linux/UniqueFd.h"

#include <map>
#include <set>
#include <string>

namespace ldt {

class UsblpWatch {
public:
    explicit UsblpWatch(std::string devRoot = "/dev", std::string sysRoot = "/sys");
    UsblpWatch(const UsblpWatch&) = delete;
    UsblpWatch& operator=(const UsblpWatch&) = delete;

    // Readable (poll, QSocketNotifier) when events are waiting; -1 when
    // inotify is not available, and nothing is watched.
    int Fd() const { return inotify_.Get(); }

    // Reads every waiting event without blocking. True when a node lp*
    // came or went in <dev>/usb, or <dev>/usb itself appeared or went (the
    // watch then moves to where it can see the next node), or a printer's
    // usbfs node came or went.
    bool TakeEvents();

private:
    void Arm();
    void ArmBuses();

    std::string devRoot_;
    UniqueFd inotify_;
    int usbWatch_ = -1;   // on <dev>/usb, or -1
    int rootWatch_ = -1;  // on <dev>, while <dev>/usb is missing
    std::string sysRoot_;
    int busesWatch_ = -1;                  // on <dev>/bus/usb
    std::map<int, std::string> busWatch_;  // on each <dev>/bus/usb/BBB: its name
    std::set<std::string> printers_;       // "BBB/DDD" of the printers seen
};

}  // namespace ldt

#pragma once
// Watches the usblp nodes themselves coming and going: inotify on
// <dev>/usb, and on <dev> while <dev>/usb does not exist. It works wherever
// the nodes appear, with udev or without (containers, test namespaces),
// and needs no device events.

#include "platform/linux/UniqueFd.h"

#include <string>

namespace ldt {

class UsblpWatch {
public:
    explicit UsblpWatch(std::string devRoot = "/dev");
    UsblpWatch(const UsblpWatch&) = delete;
    UsblpWatch& operator=(const UsblpWatch&) = delete;

    // Readable (poll, QSocketNotifier) when events are waiting; -1 when
    // inotify is not available, and nothing is watched.
    int Fd() const { return inotify_.Get(); }

    // Reads every waiting event without blocking. True when a node lp*
    // came or went in <dev>/usb, or <dev>/usb itself appeared or went (the
    // watch then moves to where it can see the next node).
    bool TakeEvents();

private:
    void Arm();

    std::string devRoot_;
    UniqueFd inotify_;
    int usbWatch_ = -1;   // on <dev>/usb, or -1
    int rootWatch_ = -1;  // on <dev>, while <dev>/usb is missing
};

}  // namespace ldt

#pragma once
// The messages the product builds around the system's own words (a port
// that did not open, a report file that could not be saved), for every
// backend and front end that shows them.
//
// One layout for all of them:
// - A message is one or more lines joined by "\n" (never "\r\n": the
//   message boxes and the console both break lines at "\n").
// - The first line says what failed, on what and why:
//   "Cannot open <path>: <reason>." The reason is the system's text as the
//   system gives it, followed by exactly one full stop: one is added only
//   where the system's text does not already end in one.
// - Each further line is one whole sentence of ours that ends in a full
//   stop: what the user can do about it, or what became of the old content.
// - No message ends in a line break or a blank.

#include "seams/CodePage.h"

#include <cstddef>
#include <initializer_list>

namespace ldt {

// Remedies for a device that did not open.
constexpr char16_t kBusyRemedy[] = u"Another program holds it open: close that program, then press Refresh.";
constexpr char16_t kLpGroupRemedy[] =
    u"Only members of the group lp may use it: join the group (sudo adduser $USER lp, then log in again), "
    u"or install the udev rule that comes with the program, which gives the user at the desktop access.";

// Linux: why a printer-class USB interface has no /dev/usb/lp node, and
// what to do about it. %1, %2 and %3 stand for the values named above each.
constexpr char16_t kUsblpNotLoadedCause[] =
    u"The usblp driver, which gives the machine its /dev/usb/lp node, is not loaded.";
constexpr char16_t kUsblpNotLoadedRemedy[] = u"Load it with sudo modprobe usblp, then press Refresh.";
// %1 the entry of the module configuration ("blacklist usblp", "install
// usblp /bin/false"), from a file or from the kernel command line.
constexpr char16_t kUsblpBlockedCause[] =
    u"The usblp driver, which gives the machine its /dev/usb/lp node, is kept from loading by the module "
    u"configuration (%1).";
constexpr char16_t kUsblpBlockedRemedy[] =
    u"Remove that entry (a line in /etc/modprobe.d, or modprobe.blacklist=usblp on the kernel command line), "
    u"then load the driver with sudo modprobe usblp and press Refresh.";
constexpr char16_t kUsblpMissingCause[] =
    u"This system's kernel has no usblp driver, which would give the machine its /dev/usb/lp node.";
constexpr char16_t kUsblpMissingRemedy[] =
    u"Use a kernel built with the USB printer driver (CONFIG_USB_PRINTER), or ask the supplier of this system for one.";
constexpr char16_t kInterfaceUnboundCause[] =
    u"The machine's printer interface is bound to no driver, so it has no /dev/usb/lp node.";
// %1 the driver's name.
constexpr char16_t kInterfaceTakenCause[] =
    u"The machine's printer interface is bound to the driver %1 instead of usblp, so it has no /dev/usb/lp node.";
constexpr char16_t kInterfaceTakenRemedy[] =
    u"Another program has taken the machine, for example a printing service; unplug it and plug it in again.";

// What became of a report file's old content after a failed rewrite.
constexpr char16_t kContentPutBack[] = u"Its previous content was put back.";
constexpr char16_t kContentUnchanged[] = u"Its previous content is unchanged.";

// `text` ended by exactly one full stop.
inline WString Sentence(WString text) {
    if (text.empty() || text.back() != u'.') text += u'.';
    return text;
}

// "<action> <path>: <reason>." (an empty reason reads "unknown error").
inline WString FailureLine(const char16_t* action, const WString& path, const WString& reason) {
    return Sentence(action + (u" " + path) + u": " + (reason.empty() ? WString(u"unknown error") : reason));
}
inline WString CannotOpen(const WString& path, const WString& reason) {
    return FailureLine(u"Cannot open", path, reason);
}
inline WString CannotWrite(const WString& path, const WString& reason) {
    return FailureLine(u"Cannot write", path, reason);
}

// `message` with `line` on a line of its own after it (nothing added for
// an empty line).
inline WString AddLine(WString message, const WString& line) {
    if (!line.empty()) message += u"\n" + line;
    return message;
}

// The lines that say the old content could not be put back: why, or where
// it is kept instead.
inline WString PutBackFailed(const WString& reason) {
    return Sentence(u"Putting its previous content back failed too: " + reason);
}
inline WString ContentKeptIn(const WString& path) { return u"Its previous content is in " + path + u"."; }

// The raw USB route on Linux: why a printer interface reached without a
// driver could not be used. Each is the reason of "Cannot open <port>: …".
constexpr char16_t kHeldByProgram[] = u"held by another program";
// %1 the driver the interface is bound to.
constexpr char16_t kHeldThroughDriver[] = u"held by another program (driver %1)";
constexpr char16_t kNoPrinterInterface[] = u"the device has no usable printer interface in its active configuration";
constexpr char16_t kNoBulkOut[] = u"its printer interface has no bulk OUT endpoint";
constexpr char16_t kNoBulkIn[] = u"its printer interface has no bulk IN endpoint";
constexpr char16_t kZeroPacketSize[] = u"its printer interface's bulk endpoints have a packet size of 0";
// %1 the driver's name: a printer interface the raw route leaves alone.
constexpr char16_t kInterfaceHeldCause[] =
    u"The machine's printer interface is held by another program (driver %1), and is not taken from it.";

// How a port reaches its machine, for the diagnosis: the usblp node, or
// the raw route with what it claims (%1 the interface number, %2 the bulk
// OUT endpoint, %3 the bulk IN endpoint, as 0x hex).
constexpr char16_t kUsblpRoute[] = u"usblp";
constexpr char16_t kRawUsbRoute[] =
    u"raw USB: interface %1 (bulk OUT %2, bulk IN %3) claimed for the exchange and released after it";

// `text` with %1, %2, ... replaced by `values` in that order; a %n without
// a value stays as it is.
inline WString FillIn(const char16_t* text, std::initializer_list<WString> values) {
    const WString* v = values.begin();
    WString out;
    for (const char16_t* p = text; *p; ++p) {
        const std::size_t n = p[1] >= u'1' && p[1] <= u'9' ? static_cast<std::size_t>(p[1] - u'1') : values.size();
        if (p[0] == u'%' && n < values.size()) {
            out += v[n];
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

}  // namespace ldt

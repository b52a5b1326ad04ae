#pragma once
// The product's own words, in one place for every front end and backend
// that shows them (the Prompts backends, the windows, ldt-report). The
// messages built around the system's own words are in seams/Messages.h.

namespace ldt {

// The window's title, and the caption of the file-error box.
constexpr char16_t kProductName[] = u"Laser Diagnostic Tool";
// The caption of the stop boxes (no connection, no data, unopened ports).
constexpr char16_t kErrorCaption[] = u"Error";
// The first line of the box shown when the report could not be put on the
// clipboard; the cause follows on the next line.
constexpr char16_t kCopyFailedText[] = u"The report could not be copied to the clipboard.";
// The Save As dialog's one filter: its description, and its pattern.
constexpr char16_t kSaveAsFilterText[] = u"\u53C3\u6578\u6A94(*.txt)";  // "參數檔(*.txt)"
constexpr char16_t kSaveAsFilterPattern[] = u"*.txt";
// The product version, as in the Windows version resource.
constexpr char kProductVersion[] = LDT_PRODUCT_VERSION;

// Linux: why a printer-class USB interface has no /dev/usb/lp node, and
// what to do about it. %1, %2 and %3 stand for the values named above each.
constexpr char16_t kUsblpNotLoadedCause[] =
    u"The usblp driver, which gives the machine its /dev/usb/lp node, is not loaded.";
constexpr char16_t kUsblpNotLoadedRemedy[] = u"Load it with sudo modprobe usblp, then press Refresh.";
// %1 the configuration file, %2 the line number, %3 the line's command.
constexpr char16_t kUsblpBlockedCause[] =
    u"The usblp driver, which gives the machine its /dev/usb/lp node, is kept from loading by line %2 of %1 (%3).";
constexpr char16_t kUsblpBlockedRemedy[] =
    u"Delete that line or put # in front of it, then load the driver with sudo modprobe usblp and press Refresh.";
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

}  // namespace ldt

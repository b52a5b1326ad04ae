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

// `text` with %1, %2, ... %9 replaced by the values in that order. A % that
// is not followed by the number of a given value stays as it is; a value is
// never read for more numbers.
inline WString FillTemplate(const char16_t* text, std::initializer_list<WString> values) {
    WString out;
    for (const char16_t* p = text; *p; ++p) {
        const std::size_t n = p[0] == u'%' && p[1] >= u'1' && p[1] <= u'9' ? std::size_t(p[1] - u'1') : values.size();
        if (n < values.size()) {
            out += values.begin()[n];
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

// The report's labels, in file order. Byte-exact, blanks included: the
// people and scripts that read saved reports know them.
constexpr const char16_t* kReportLabels[16] = {
    u"Firmware_Ver: ", u"FPGA_Ver: ", u"File Speed: ", u"File Power: ", u"File Dpi: ", u"File PPI: ",
    u"Laser Tube Model: ", u"Vector Mode: ", u"Select Lens: ", u"Carriage Free: ", u"Usb Setup Wizard: ",
    u"Focus Distance: ", u"Scaling  _X: ", u"Scaling  _Y: ", u"Image Offset Tuning  _X: ",
    u"Image Offset Tuning  _Y: ",
};

// Byte-exact, blanks and spelling included: the machine's users know these
// two boxes word for word.
constexpr char16_t kNoConnectionText[] =
    u"USB connection is not detected.  Please check the USB connection and USB settings.";
constexpr char16_t kNoDataText[] =
    u"Machine data is not available.  File will not be saved. \n\r"
    u"Please press the <Refresh> button toget machine data.";

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

// The system gave no reason.
constexpr char16_t kUnknownError[] = u"unknown error";

// `text` ended by exactly one full stop.
inline WString Sentence(WString text) {
    if (text.empty() || text.back() != u'.') text += u'.';
    return text;
}

// "<action> <path>: <reason>." (an empty reason reads "unknown error").
inline WString FailureLine(const char16_t* action, const WString& path, const WString& reason) {
    return Sentence(action + (u" " + path) + u": " + (reason.empty() ? WString(kUnknownError) : reason));
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

// The clipboard could not take a copy.
constexpr char16_t kClipboardBusy[] = u"Another program is using the clipboard.";
constexpr char16_t kNoClipboard[] = u"This desktop has no clipboard.";
constexpr char16_t kClipboardRefused[] = u"The desktop did not let this program take the clipboard.";

// The diagnosis of a refresh, for a support message. %1, %2 and %3 stand
// for the values named beside each.
constexpr char16_t kDiagnosisTitle[] = u"%1 %2: diagnosis";  // the product, its version
constexpr char16_t kDiagnosisSystem[] = u"System: %1";
constexpr char16_t kDiagnosisTime[] = u"Time: %1";
constexpr char16_t kUnknownSystem[] = u"unknown";
constexpr char16_t kPortCount[] = u"Printer-class ports: %1";
constexpr char16_t kPortHeading[] = u"Port %1: ";
constexpr char16_t kFallbackHeading[] = u"Machine device: ";
constexpr char16_t kPathNotListed[] = u"(its path could not be listed, or is too long)";
constexpr char16_t kResultCannotOpen[] = u"Result: cannot open: %1";
constexpr char16_t kResultOpened[] = u"Result: opened; %1 (%2 ms)";  // the exchange, its time
constexpr char16_t kWroteAll[] = u"wrote %1 bytes";
constexpr char16_t kWrotePart[] = u"wrote %1 of %2 bytes";
constexpr char16_t kNoReplyWithin[] = u"%1, no reply within %2";  // what was written, the bound
constexpr char16_t kReadOneByte[] = u"%1, read 1 byte";
constexpr char16_t kReadBytes[] = u"%1, read %2 bytes";
constexpr char16_t kSeconds[] = u"%1 s";
constexpr char16_t kReplyLabel[] = u"Reply";
constexpr char16_t kReplyHexLabel[] = u"Reply (hex)";
constexpr char16_t kNamesTriedHeading[] = u"No printer-class port; the machine device names tried:";
constexpr char16_t kNameOpened[] = u"opened";
constexpr char16_t kNameCannotOpen[] = u"cannot open: %1";
constexpr char16_t kPortlessHeading[] = u"Printer-class devices without a port:";
constexpr char16_t kNoMachineFound[] = u"No machine was found.";
constexpr char16_t kRemedyLabel[] = u"What to do";
constexpr char16_t kCauseLabel[] = u"Cause";
// The lines naming the device behind a port.
constexpr char16_t kUsbIdLine[] = u"USB id: %1:%2";
constexpr char16_t kManufacturerLabel[] = u"Manufacturer";
constexpr char16_t kProductLabel[] = u"Product";
constexpr char16_t kSerialLabel[] = u"Serial number";
constexpr char16_t kIeee1284Label[] = u"IEEE 1284 id";
constexpr char16_t kSystemNameLabel[] = u"System name";
constexpr char16_t kDriverLabel[] = u"Driver";
constexpr char16_t kLocationLabel[] = u"Location";
constexpr char16_t kRouteLabel[] = u"Route";

// A device named for people, and the no-connection box's paragraphs on
// printer-class devices without a port.
constexpr char16_t kSomePrinterDevice[] = u"A printer-class device";
constexpr char16_t kDeviceWithUsbId[] = u"%1 (USB %2:%3)";
constexpr char16_t kPortlessDevice[] = u"%1 is plugged in but has no port.";
constexpr char16_t kMorePortless[] = u"\u2026 and %1 more.";

// The empty boxes' tooltip: what the refresh found, then the key.
constexpr char16_t kHintNothing[] = u"No machine was found on USB.";
constexpr char16_t kHintPortless[] = u"A printer-class device is plugged in, but it has no port.";
constexpr char16_t kHintProbeOnly[] = u"Only the machine device %1 opened; nothing was sent.";
constexpr char16_t kHintNoValues[] = u"The machine device %1 answered, but its reply held no values.";
constexpr char16_t kHintSilent[] = u"The machine device %1 did not answer within %2.";
constexpr char16_t kHintOnePort[] = u"1 printer-class port found; ";
constexpr char16_t kHintPorts[] = u"%1 printer-class ports found; ";
constexpr char16_t kHintNotOpened[] = u"it could not be opened.";
constexpr char16_t kHintNoneOpened[] = u"none could be opened.";
constexpr char16_t kHintNotAnswered[] = u"it did not answer within %1.";
constexpr char16_t kHintNoneAnswered[] = u"none answered within %1.";
constexpr char16_t kHintSomeOpened[] = u"%1 opened, none answered within %2.";
constexpr char16_t kHintNoValue[] = u"its reply held no values.";
constexpr char16_t kHintNoValuesAll[] = u"the replies held no values.";
constexpr char16_t kHintKey[] = u"\nCtrl+Shift+C copies the details.";

// ldt-report.
constexpr char kReportUsageText[] =
    "Usage: ldt-report [--json | --diagnose | --changes | --history [N] [--all] | --csv]\n"
    "                  [--no-history] | --version | --help\n"
    "Finds the laser machine on USB, queries it once and prints its sixteen\n"
    "report lines, or with --json one JSON object: the labelled report, the\n"
    "raw reply fields in order and, for each port, its path, whether it\n"
    "answered, the device behind it and what it did. With --diagnose it\n"
    "prints, for a support message, what each port and device did.\n"
    "Exit status: 0 report printed; 1 no machine found; 2 usage error;\n"
    "3 ports found but none answered (the reason is printed when none opened).\n"
    "Each reading is kept in a history file: --changes prints, per machine read,\n"
    "what changed since its previous reading; --history the last N readings\n"
    "(10) of the machines present, or with --all of every machine recorded;\n"
    "--csv one spreadsheet line per machine read. --no-history (or\n"
    "LDT_NO_HISTORY=1) keeps nothing.\n";
constexpr char kNoDataFromPortsText[] = "Machine data is not available: no port answered the query.\n";

// The readings history.
constexpr char16_t kDiagnosisHistory[] = u"History: %1";
// A value that changed: %1 the box, %2 the value before, %3 when it was read.
constexpr char16_t kChangeSentence[] = u"%1 was %2 on %3";
constexpr char16_t kEmptyValue[] = u"empty";
// The value boxes by the machine's field order, as those sentences name
// them; the twelfth field has no box.
constexpr const char16_t* kBoxNames[17] = {
    u"FPGA Version", u"Firmware Version", u"Laser Tube Model", u"Speed",     u"Power",
    u"DPI",          u"PPI",              u"Select Lens",      u"Carriage Free", u"USB Mode",
    u"Z-depth",      u"Field 12",         u"Scaling X",        u"Scaling Y", u"Image Offset X",
    u"Image Offset Y", u"Vector Mode"};
constexpr char16_t kHistoryOutOfMemory[] = u"The readings history could not be kept: out of memory.";
// ldt-report --changes, per machine: %1 its key, %2 its port; then one of
// the three, %1 the previous reading's time; then one line per value
// (%1 the field, %2 before, %3 now).
constexpr char16_t kChangesMachine[] = u"%1 on %2";
constexpr char16_t kFirstReading[] = u"  first reading";
constexpr char16_t kNoChangeSince[] = u"  no change since %1";
constexpr char16_t kChangedSince[] = u"  changed since %1:";
constexpr char16_t kChangedValue[] = u"    %1: %2 -> %3";

}  // namespace ldt

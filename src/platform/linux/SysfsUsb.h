#pragma once
// What the system's own records say about USB printer-class interfaces on
// Linux: the usblp nodes and the device behind each, and the printer-class
// interfaces that have no node, with why. Everything here reads small
// system files (sysfs attributes, and through libkmod the module indexes
// and the modprobe configuration),
// each read bounded; nothing talks to a device, and nothing blocks.

#include "seams/DeviceBus.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace ldt {

// Where the system keeps what is read here. Every root can be replaced so
// that tests run on a temporary tree.
struct UsbSystemRoots {
    std::string sys = "/sys";
    std::string dev = "/dev";
    // The modprobe configuration folders, highest precedence first (libkmod
    // reads them in its way: a name in an earlier folder hides later ones).
    std::vector<std::string> modprobeDirs = {"/etc/modprobe.d", "/run/modprobe.d", "/usr/local/lib/modprobe.d",
                                             "/usr/lib/modprobe.d", "/lib/modprobe.d"};
    // The running kernel's module folder; empty: /lib/modules/<release>.
    std::string modules = {};
};

// The most read of one sysfs attribute (a page, as the kernel gives).
constexpr std::size_t kAttributeLimit = 4096;

// The first `limit` bytes of a regular file, without one trailing newline.
// Empty when it is missing, unreadable or no regular file (a FIFO or a
// device is never opened for reading, so nothing blocks).
std::string ReadSmallFile(const std::string& path, std::size_t limit = kAttributeLimit);

// The same without removing anything: the file's first `limit` bytes.
std::string ReadFileBytes(const std::string& path, std::size_t limit);

// The names in a folder, without "." and ".."; empty when it cannot be read.
std::vector<std::string> ListDirectory(const std::string& path);
// A sysfs attribute that is a number in `base` (16: "07", "1a2b"; 10:
// "3"); -1 when it is missing or no number.
long ReadNumberAttribute(const std::string& dir, const char* name, int base);
// Whether the interface at `interfaceDir` is of the printer class (7).
bool IsPrinterInterface(const std::string& interfaceDir);
// Whether the interface is one usblp would bind: class 7, subclass 1,
// protocol 1-3.
bool IsUsblpClassInterface(const std::string& interfaceDir);
// The name of the driver an interface directory's `driver` link leads to;
// empty when none is bound.
std::string DriverOf(const std::string& interfaceDir);
// The path with every link resolved; empty when it does not exist.
std::string ResolvePath(const std::string& path);

// One usblp node: /sys/class/usbmisc/lpN of a printer-class interface.
struct UsblpNode {
    long number;               // N
    std::string name;          // "lpN"
    std::string interfaceDir;  // the USB interface's directory, resolved; empty when unresolved
};

// The usblp nodes whose interface has class 07, in numeric order.
std::vector<UsblpNode> ListUsblpNodes(const std::string& sysRoot);

// The USB device an interface directory belongs to: its parent.
std::string UsbDeviceDirOf(const std::string& interfaceDir);

// The interface at `interfaceDir` and its USB device (the parent
// directory): ids, the device's strings, usblp's 1284 id, the bound driver
// and the interface's name as location. Device strings are given as they
// are (invalid UTF-8 becomes U+FFFD), each at most kAttributeLimit bytes.
DeviceIdentity IdentifyUsbInterface(const std::string& interfaceDir);

// The entry of the module configuration that keeps usblp from loading, as
// libkmod reads it from the modprobe folders and the kernel command line:
// "blacklist usblp", or "install usblp <command>" whose command does not
// load it (such as /bin/false). Its words are joined by single blanks.
std::optional<std::string> FindUsblpBlock(const UsbSystemRoots& roots);

enum class UsblpModule {
    Present,    // loaded, or built into the kernel
    NotLoaded,  // a module file exists but it is not loaded
    Missing,    // neither built in nor a module of the running kernel
};
UsblpModule ProbeUsblpModule(const UsbSystemRoots& roots);

// The printer-class interfaces (class 07) on the USB bus that no usblp
// node stands for, each with its identity, cause and remedy, in the order of
// their names. An interface bound to usblp but still without a node (it is
// being made) is left out, and so is one of usblp's class and protocols
// bound to no driver when `unboundAreReachable` (another route reaches it). The first `limit` are
// listed; the rest are only counted, at the cost of two small reads each.
struct PortlessScan {
    std::vector<PortlessInterface> listed;
    std::size_t notListed = 0;
};
PortlessScan FindPortlessPrinters(const UsbSystemRoots& roots, bool unboundAreReachable = false,
                                  std::size_t limit = kPortlessListLimit);

}  // namespace ldt

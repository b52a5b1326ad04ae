#include "platform/linux/SysfsDeviceBus.h"
#include "platform/linux/SysfsUsb.h"
#include "platform/linux/Utf8CodePage.h"
#include "seams/Messages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace ldt;

namespace {

// A throwaway system in the kernel's layout: USB devices under
// sys/devices/pci0000:00/usb1, listed in sys/bus/usb/devices, usblp nodes
// in sys/class/usbmisc, and the module records.
struct UsbTree {
    fs::path root = fs::temp_directory_path() / ("ldt-usb-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::path usb1 = root / "sys/devices/pci0000:00/0000:00:14.0/usb1";
    UsbTree() {
        for (const char* d : {"sys/bus/usb/devices", "sys/class/usbmisc", "sys/module", "dev/usb",
                              "etc/modprobe.d", "usr/lib/modprobe.d", "lib/modules/6.1.0"})
            fs::create_directories(root / d);
    }
    ~UsbTree() { fs::remove_all(root); }
    UsbSystemRoots Roots() const {
        UsbSystemRoots r;
        r.sys = (root / "sys").string();
        r.dev = (root / "dev").string();
        r.modprobeDirs = {(root / "etc/modprobe.d").string(), (root / "usr/lib/modprobe.d").string()};
        r.modules = (root / "lib/modules/6.1.0").string();
        return r;
    }
    void Write(const fs::path& relative, const std::string& text) const {
        fs::create_directories((root / relative).parent_path());
        std::ofstream(root / relative, std::ios::binary) << text;
    }
    // USB device `port` (such as "1-1") with `attributes`, and its
    // interface <port>:1.0 of `interfaceClass`, bound to `driver` (none when
    // empty). Returns the interface's directory.
    fs::path AddDevice(const std::string& port, const std::map<std::string, std::string>& attributes,
                       const std::string& interfaceClass = "07", const std::string& driver = "") const {
        const fs::path device = usb1 / port, iface = device / (port + ":1.0");
        fs::create_directories(iface);
        for (const auto& [name, value] : attributes) {
            const bool onInterface = name == "ieee1284_id";
            std::ofstream(onInterface ? iface / name : device / name, std::ios::binary) << value;
        }
        std::ofstream(iface / "bInterfaceClass") << interfaceClass << "\n";
        if (!driver.empty()) fs::create_directory_symlink("../../../../../../bus/usb/drivers/" + driver, iface / "driver");
        fs::create_directory_symlink(device, root / "sys/bus/usb/devices" / port);
        fs::create_directory_symlink(iface, root / "sys/bus/usb/devices" / (port + ":1.0"));
        return iface;
    }
    // usblp's node `name` on interface `iface`.
    void AddNode(const std::string& name, const fs::path& iface) const {
        fs::create_directories(iface / "usbmisc" / name);
        fs::create_directory_symlink(iface, iface / "usbmisc" / name / "device");
        fs::create_directory_symlink(iface / "usbmisc" / name, root / "sys/class/usbmisc" / name);
    }
    // The module indexes libkmod reads, made by depmod from the files in
    // lib/modules/6.1.0 (a .ko file needs no content to be listed).
    bool Depmod() const {
        const std::string command = "depmod -b '" + root.string() + "' 6.1.0 >/dev/null 2>&1";
        return std::system(command.c_str()) == 0 || fs::exists(root / "lib/modules/6.1.0/modules.dep.bin");
    }
    WString Dev(const std::string& name) const { return Utf8ToUtf16((root / "dev/usb" / name).string()); }
    static inline int counter = 0;
};

std::string U8(const WString& s) { return Utf16ToUtf8(s); }

}  // namespace

// The identity of each node's device, from its interface and USB device;
// the device's strings come as they are, bounded, only invalid UTF-8
// replaced, and a FIFO planted as an attribute neither blocks nor counts.
// Interfaces with a node are no portless ones.
TEST(SysfsUsb, eachNodeIsIdentifiedByItsUsbDevice_stringsRawButBounded) {
    UsbTree t;
    const auto lp0 = t.AddDevice("1-1", {{"idVendor", "1a2b\n"}, {"idProduct", "3c4d\n"}, {"manufacturer", "Maker\x1b[2J\x07\n"},
                                         {"product", "Cut\xff\xfeter\n"}, {"serial", std::string(100000, 'S')},
                                         {"ieee1284_id", "MFG:Maker;MDL:Cutter;CLS:PRINTER;\n"}},
                                 "07", "usblp");
    t.AddNode("lp0", lp0);
    const auto lp1 = t.AddDevice("1-2", {{"idVendor", "0001\n"}}, "07", "usblp");
    ASSERT_EQ(::mkfifo((lp1.parent_path() / "product").c_str(), 0600), 0);
    t.AddNode("lp1", lp1);
    t.AddDevice("1-3", {}, "03", "usbhid");  // no printer
    t.AddDevice("1-4", {}, "07", "usblp");   // its node is on its way

    SysfsDeviceBus bus(t.Roots());
    auto set = bus.OpenInterfaceSet(kUsbPrintInterfaceClass);
    const auto start = std::chrono::steady_clock::now();
    const DeviceIdentity a = set->Identify(0), b = set->Identify(1), none = set->Identify(2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

    EXPECT_EQ(U8(a.vendorId), "1a2b");
    EXPECT_EQ(U8(a.productId), "3c4d");
    EXPECT_EQ(U8(a.manufacturer), "Maker\x1b[2J\x07");
    EXPECT_EQ(a.product, u"Cut\uFFFD\uFFFDter");
    EXPECT_EQ(U8(a.serial), std::string(kAttributeLimit, 'S'));
    EXPECT_EQ(U8(a.ieee1284Id), "MFG:Maker;MDL:Cutter;CLS:PRINTER;");
    EXPECT_EQ(U8(a.driver), "usblp");
    EXPECT_EQ(U8(a.location), "1-1:1.0");
    EXPECT_EQ(U8(b.vendorId), "0001");
    EXPECT_TRUE(b.product.empty());
    EXPECT_EQ(U8(b.location), "1-2:1.0");
    EXPECT_TRUE(none.vendorId.empty() && none.location.empty());
    // Ports, another class, an interface bound to usblp: none is portless.
    EXPECT_TRUE(bus.FindPortlessInterfaces().empty());
}

// A printer-class interface without a node: the cause follows from its
// driver, the usblp module's state (libkmod over the module indexes) and
// the modprobe configuration (libkmod too).
TEST(SysfsUsb, portlessInterface_causeAndRemedyInEachCase) {
    if (std::system("command -v depmod >/dev/null 2>&1 || test -x /usr/sbin/depmod") != 0) GTEST_SKIP() << "no depmod";
    ::setenv("PATH", (std::string(std::getenv("PATH") ? std::getenv("PATH") : "") + ":/usr/sbin:/sbin").c_str(), 1);
    const std::string etc = "etc/modprobe.d/", lib = "usr/lib/modprobe.d/", mods = "lib/modules/6.1.0/";
    const std::string ko = mods + "kernel/drivers/usb/class/usblp.ko";
    const std::string notLoaded = U8(kUsblpNotLoadedCause), unbound = U8(kInterfaceUnboundCause);
    const std::string blocked = "The usblp driver, which gives the machine its /dev/usb/lp node, is kept from loading "
                                "by the module configuration (";
    const struct {
        const char* name;
        std::string driver;
        std::map<std::string, std::string> files;  // relative path -> content
        std::string cause;
        const char16_t* remedy;
    } rows[] = {
        {"another driver took it", "usbfs", {},
         "The machine's printer interface is bound to the driver usbfs instead of usblp, so it has no /dev/usb/lp node.",
         kInterfaceTakenRemedy},
        {"loaded, unbound", "", {{"sys/module/usblp/parameters/proto_bias", "-1\n"}}, unbound, kInterfaceTakenRemedy},
        {"built in, unbound", "", {{mods + "modules.builtin", "kernel/drivers/usb/class/usblp.ko\n"}}, unbound,
         kInterfaceTakenRemedy},
        {"module file, not loaded", "", {{ko, ""}}, notLoaded, kUsblpNotLoadedRemedy},
        {"no module anywhere", "", {{etc + "x.conf", "blacklist usblp\n"}}, U8(kUsblpMissingCause), kUsblpMissingRemedy},
        {"blacklisted after a comment", "", {{ko, ""}, {etc + "printers.conf", "# blacklist usblp\nblacklist\tusblp  \n"}},
         blocked + "blacklist usblp).", kUsblpBlockedRemedy},
        {"install to /bin/false", "", {{ko, ""}, {lib + "vendor.conf", "install usblp \\\n /bin/false\n"}},
         blocked + "install usblp /bin/false).", kUsblpBlockedRemedy},
        {"an /etc file hides its namesake", "",
         {{ko, ""}, {etc + "printers.conf", "# allowed here\n"}, {lib + "printers.conf", "blacklist usblp\n"}},
         notLoaded, kUsblpNotLoadedRemedy},
        {"entries that do not keep it out", "",
         {{ko, ""}, {etc + "ok.conf", "blacklist usblp2\ninstall usblp /sbin/modprobe --ignore-install usblp\n"},
          {etc + "ignored.conf.bak", "blacklist usblp\n"}},
         notLoaded, kUsblpNotLoadedRemedy},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        UsbTree t;
        t.AddDevice("3-2", {{"idVendor", "1a2b\n"}, {"product", "Cutter\n"}}, "07", row.driver);
        for (const auto& [path, text] : row.files) t.Write(path, text);
        ASSERT_TRUE(t.Depmod());
        const auto found = FindPortlessPrinters(t.Roots()).listed;
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(U8(found[0].cause), row.cause);
        EXPECT_EQ(found[0].remedy, row.remedy);
        EXPECT_EQ(U8(found[0].identity.product), "Cutter");
        EXPECT_EQ(U8(found[0].identity.location), "3-2:1.0");
    }
}

// A node that goes while its USB device stays (a printing service took
// the interface) may return; once the device has gone it may not.
TEST(SysfsUsb, portMayReturn_whileItsUsbDeviceIsPresent) {
    UsbTree t;
    const auto iface = t.AddDevice("1-1", {}, "07", "usblp");
    t.AddNode("lp0", iface);
    SysfsDeviceBus bus(t.Roots());
    bus.OpenInterfaceSet(kUsbPrintInterfaceClass);

    fs::remove(t.root / "sys/class/usbmisc/lp0");
    fs::remove_all(iface / "usbmisc");
    WString path;
    EXPECT_EQ(bus.OpenInterfaceSet(kUsbPrintInterfaceClass)->Query(0, path), InterfaceQuery::NoMoreItems);
    EXPECT_TRUE(bus.PortMayReturn(t.Dev("lp0")));

    fs::remove_all(iface.parent_path());
    bus.OpenInterfaceSet(kUsbPrintInterfaceClass);
    EXPECT_FALSE(bus.PortMayReturn(t.Dev("lp0")));
    // A path it never listed: it cannot tell.
    EXPECT_TRUE(bus.PortMayReturn(t.Dev("lp7")));
}

// Past the bound the scan only counts; interfaces bound to usblp count as
// nothing, listed or not.
TEST(SysfsUsb, portlessScan_listsUpToTheBound_countsTheRest) {
    UsbTree t;
    for (int i = 0; i < 40; ++i) t.AddDevice("1-" + std::to_string(10 + i), {}, "07", "usbfs");
    t.AddDevice("1-99", {}, "07", "usblp");
    SysfsDeviceBus bus(t.Roots());
    EXPECT_EQ(bus.FindPortlessInterfaces().size(), kPortlessListLimit);
    EXPECT_EQ(bus.PortlessNotListed(), 40 - kPortlessListLimit);
}

namespace {

// Makes interface <port>:1.<n> of a device made by AddDevice a printer
// interface (7/1/2) with the descriptors `endpoints` (each 7 bytes) in
// configuration 1, its device at bus 3, address `address`.
void MakeRawPrinter(const UsbTree& t, const fs::path& iface, int address, const std::string& endpoints) {
    const fs::path device = iface.parent_path();
    const std::string n = iface.string().substr(iface.string().size() - 1);
    for (const auto& [name, value] : std::map<std::string, std::string>{
             {"bInterfaceSubClass", "01\n"}, {"bInterfaceProtocol", "02\n"}, {"bInterfaceNumber", "0" + n + "\n"}})
        std::ofstream(iface / name) << value;
    std::ofstream(device / "busnum") << "3\n";
    std::ofstream(device / "devnum") << address << "\n";
    std::ofstream(device / "bConfigurationValue") << "1\n";
    const std::string head = std::string("\x12\x01", 2) + std::string(16, '\0') + std::string("\x09\x02\0\0\x01\x01\0\x80\x32", 9);
    std::string ifaces;
    for (char i = '0'; i <= n[0]; ++i)
        ifaces += std::string("\x09\x04", 2) + char(i - '0') + std::string("\0\x02\x07\x01\x02\0", 6) + endpoints;
    std::ofstream(device / "descriptors", std::ios::binary) << head << ifaces;
    (void)t;
}

const std::string kBulkPair = std::string("\x07\x05\x02\x02\x40\0\0\x07\x05\x81\x02\x40\0\0", 14);

}  // namespace

// Printer interfaces bound to no driver are ports of the raw route, after
// the usblp nodes; one held by a program is not taken and says so; each
// failure to open names its reason, never an exchange with a wrong
// endpoint.
TEST(SysfsUsb, rawRoute_listsUnboundPrinters_andNamesWhyOneDoesNotOpen) {
    UsbTree t;
    const auto lp = t.AddDevice("1-1", {}, "07", "usblp");
    t.AddNode("lp0", lp);
    MakeRawPrinter(t, t.AddDevice("3-2", {{"idVendor", "1a2b\n"}, {"product", "Cutter\n"}}), 5, kBulkPair);
    MakeRawPrinter(t, t.AddDevice("3-3", {}), 6, kBulkPair.substr(0, 7));  // no bulk IN
    MakeRawPrinter(t, t.AddDevice("3-4", {}, "07", "usbfs"), 7, kBulkPair);
    t.AddDevice("3-5", {});  // class 07 but no protocol usblp would bind: not the raw route's
    SysfsDeviceBus bus(t.Roots());
    auto set = bus.OpenInterfaceSet(kUsbPrintInterfaceClass);
    WString path;
    std::vector<std::string> paths;
    for (unsigned i = 0; set->Query(i, path) == InterfaceQuery::Ok; ++i) paths.push_back(U8(path));
    ASSERT_EQ(paths, (std::vector<std::string>{U8(t.Dev("lp0")), "usb 3-2", "usb 3-3"}));
    EXPECT_EQ(set->Identify(0).route, kUsblpRoute);
    const DeviceIdentity raw = set->Identify(1);
    EXPECT_EQ(U8(raw.product), "Cutter");
    EXPECT_EQ(U8(raw.location), "3-2:1.0");
    EXPECT_EQ(U8(raw.route), "raw USB: interface 0 (bulk OUT 0x02, bulk IN 0x81) claimed for the exchange and released after it");

    const auto portless = bus.FindPortlessInterfaces();
    ASSERT_EQ(portless.size(), 2u);
    EXPECT_EQ(portless[0].cause, FillTemplate(kInterfaceHeldCause, {u"usbfs"}));
    EXPECT_EQ(U8(portless[1].identity.location), "3-5:1.0");

    const struct {
        const char* path;
        std::string reason;
    } rows[] = {
        {"usb 3-2\\", "No such file or directory"},  // no usbfs node in this tree
        {"usb 3-3", U8(kNoBulkIn)},
        {"usb 3-4", "held by another program (driver usbfs)"},
        {"usb 3-9", "No such device"},
        {"usb ../../x", "No such device"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        const OpenResult r = bus.Open(Utf8ToUtf16(row.path), OpenMode::ReadWriteShared);
        EXPECT_FALSE(r.device);
        EXPECT_EQ(U8(r.reason), row.reason);
    }
    // Gone between listing and opening.
    fs::remove_all(t.usb1 / "3-2");
    EXPECT_EQ(U8(bus.Open(u"usb 3-2", OpenMode::ReadWriteShared).reason), "No such device");
    EXPECT_FALSE(bus.PortMayReturn(u"usb 3-2"));
}

// Run on a kernel booted with modprobe.blacklist=usblp (the VM boot "raw"):
// libkmod names that entry; skipped elsewhere.
TEST(SysfsUsb, kernelCommandLineBlacklist_isNamed) {
    if (ReadSmallFile("/proc/cmdline").find("modprobe.blacklist=usblp") == std::string::npos)
        GTEST_SKIP() << "not booted with modprobe.blacklist=usblp";
    EXPECT_EQ(FindUsblpBlock(UsbSystemRoots{}), std::optional<std::string>("blacklist usblp"));
}

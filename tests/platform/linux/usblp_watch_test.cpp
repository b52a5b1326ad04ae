#include "platform/linux/UsblpWatch.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace ldt;

namespace {

bool Readable(const UsblpWatch& watch) {
    pollfd p{watch.Fd(), POLLIN, 0};
    return poll(&p, 1, 0) == 1;
}

}  // namespace

TEST(UsblpWatch, seesNodesComeAndGo_evenWhenTheUsbFolderComesLater) {
    const fs::path dev = fs::temp_directory_path() / ("ldt-watch-" + std::to_string(getpid()));
    fs::remove_all(dev);
    fs::create_directories(dev);
    UsblpWatch watch(dev.string());
    ASSERT_GE(watch.Fd(), 0);
    EXPECT_FALSE(watch.TakeEvents());

    std::ofstream(dev / "tty0").put('x');  // not ours
    EXPECT_FALSE(watch.TakeEvents());
    fs::create_directory(dev / "usb");  // the first printer brings the folder
    EXPECT_TRUE(watch.TakeEvents());

    std::ofstream(dev / "usb" / "hiddev0").put('x');
    EXPECT_FALSE(watch.TakeEvents());
    std::ofstream(dev / "usb" / "lp0").put('x');
    EXPECT_TRUE(Readable(watch));
    EXPECT_TRUE(watch.TakeEvents());
    EXPECT_FALSE(Readable(watch));
    fs::permissions(dev / "usb" / "lp0", fs::perms::owner_read | fs::perms::owner_write);  // udev's rules
    EXPECT_TRUE(watch.TakeEvents());
    fs::remove(dev / "usb" / "lp0");
    EXPECT_TRUE(watch.TakeEvents());

    fs::remove_all(dev / "usb");  // the last printer took the folder along
    EXPECT_TRUE(watch.TakeEvents());
    fs::create_directory(dev / "usb");
    std::ofstream(dev / "usb" / "lp1").put('x');
    EXPECT_TRUE(watch.TakeEvents());
    fs::remove_all(dev);
}

// usbfs nodes of the raw route: a printer's coming and going counts, other
// devices' do not; a bus that appears later is watched too.
TEST(UsblpWatch, seesPrintersUsbfsNodes_notOtherDevices) {
    const fs::path root = fs::temp_directory_path() / ("ldt-watch-usb-" + std::to_string(getpid()));
    const fs::path dev = root / "dev", devices = root / "sys/bus/usb/devices";
    fs::remove_all(root);
    fs::create_directories(dev / "bus/usb/001");
    fs::create_directories(devices);
    const auto device = [&](const std::string& name, int bus, int address, const char* cls) {
        fs::create_directories(devices / name);
        fs::create_directories(devices / (name + ":1.0"));
        std::ofstream(devices / name / "busnum") << bus << "\n";
        std::ofstream(devices / name / "devnum") << address << "\n";
        std::ofstream(devices / (name + ":1.0") / "bInterfaceClass") << cls << "\n";
    };
    UsblpWatch watch(dev.string(), (root / "sys").string());
    device("1-1", 1, 5, "07");
    device("1-2", 1, 6, "03");
    std::ofstream(dev / "bus/usb/001/006").put('x');
    EXPECT_FALSE(watch.TakeEvents());
    std::ofstream(dev / "bus/usb/001/005").put('x');
    EXPECT_TRUE(watch.TakeEvents());
    fs::remove(dev / "bus/usb/001/006");
    EXPECT_FALSE(watch.TakeEvents());
    fs::remove(dev / "bus/usb/001/005");
    EXPECT_TRUE(watch.TakeEvents());

    fs::create_directories(dev / "bus/usb/002");
    EXPECT_FALSE(watch.TakeEvents());
    device("2-1", 2, 3, "07");
    std::ofstream(dev / "bus/usb/002/003").put('x');
    EXPECT_TRUE(watch.TakeEvents());
    fs::remove_all(root);
}

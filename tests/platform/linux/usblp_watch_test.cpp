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

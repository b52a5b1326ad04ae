#include "fakes/Fakes.h"
#include "link/Refresh.h"
#include "platform/linux/SysfsDeviceBus.h"
#include "platform/linux/UniqueFd.h"
#include "platform/linux/Utf8CodePage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#ifdef LDT_HAVE_SIM
#include "machine-sim/MachineSimulator.h"
#endif

namespace fs = std::filesystem;
using namespace ldt;

namespace {

// A throwaway /sys and /dev.
struct FakeTree {
    fs::path root = fs::temp_directory_path() / ("ldt-sysfs-" + std::to_string(::getpid()) + "-" +
                                                 std::to_string(counter++));
    FakeTree() {
        fs::create_directories(root / "sys/class/usbmisc");
        fs::create_directories(root / "dev/usb");
    }
    ~FakeTree() { fs::remove_all(root); }
    void AddNode(const std::string& name, const std::string& interfaceClass) {
        const fs::path iface = root / "sys/devices/usb1/1-1:1.0" / name;
        fs::create_directories(iface);
        std::ofstream(iface / "bInterfaceClass") << interfaceClass << "\n";
        fs::create_directories(root / "sys/class/usbmisc" / name);
        fs::create_directory_symlink(iface, root / "sys/class/usbmisc" / name / "device");
    }
    SysfsDeviceBus Bus(int timeoutMs = 1000) const {
        return SysfsDeviceBus((root / "sys").string(), (root / "dev").string(), timeoutMs);
    }
    std::string Dev(const std::string& name) const { return (root / "dev/usb" / name).string(); }
    static inline int counter = 0;
};

std::vector<std::string> List(SysfsDeviceBus& bus) {
    std::vector<std::string> out;
    auto set = bus.OpenInterfaceSet(kUsbPrintInterfaceClass);
    WString path;
    for (unsigned i = 0; set->Query(i, path) == InterfaceQuery::Ok; ++i) out.push_back(Utf16ToUtf8(path));
    return out;
}

using Ms = std::chrono::milliseconds;
auto Now() { return std::chrono::steady_clock::now(); }

}  // namespace

TEST(SysfsDeviceBus, listsOnlyPrinterClassLpNodes_inNumericOrder) {
    FakeTree t;
    t.AddNode("lp10", "07");
    t.AddNode("lp2", "07");
    t.AddNode("lp3", "03");  // not a printer interface
    t.AddNode("hiddev0", "07");
    t.AddNode("lp0", "07");
    auto bus = t.Bus();
    EXPECT_EQ(List(bus), (std::vector<std::string>{t.Dev("lp0"), t.Dev("lp2"), t.Dev("lp10")}));
}

TEST(SysfsDeviceBus, pathsThatAreNoNodes_neverOpen_andGiveTheSystemsReason) {
    FakeTree t;
    auto bus = t.Bus();
    for (const WString& path : {WString(u"\\"), Utf8ToUtf16(t.Dev("lp0") + "\\")}) {
        const OpenResult r = bus.Open(path, OpenMode::ReadWriteShared);
        EXPECT_FALSE(r.device);
        EXPECT_EQ(Utf16ToUtf8(r.reason), "No such file or directory");
    }
}

// No usbmisc class at all (no usblp driver): the fallback's Windows device
// names must not open either, so the refresh shows the no-connection box.
TEST(SysfsDeviceBus, refreshWithoutInterfacesOrFallback_showsTheNoConnectionBox) {
    SysfsDeviceBus bus("/nonexistent-sys", "/nonexistent-dev");
    fakes::FakeClock clock;
    Utf8CodePage cp;
    fakes::FakePrompts prompts;
    MachineLink link;
    MachineData data;
    RefreshMachineData(link, data, {bus, clock, cp, prompts});
    EXPECT_EQ(prompts.errors.size(), 1u);
}

// Two FIFOs stand in for devices whose buffers take only part of a write
// at first: one is drained after a while, the other never. The first gets
// every byte, in order; the second keeps what it took, counted, until the
// shared deadline.
TEST(SysfsDeviceBus, shortWrites_areFinishedAsTheDeviceMakesRoom_untilTheDeadline) {
    FakeTree t;
    std::vector<UniqueFd> readers;
    std::vector<std::unique_ptr<Device>> devices;
    auto bus = t.Bus(400);
    for (const char* name : {"lp0", "lp1"}) {
        ASSERT_EQ(::mkfifo(t.Dev(name).c_str(), 0600), 0);
        readers.emplace_back(::open(t.Dev(name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
        ASSERT_TRUE(readers.back().Valid());
        ::fcntl(readers.back().Get(), F_SETPIPE_SZ, 4096);
        devices.push_back(bus.Open(Utf8ToUtf16(t.Dev(name)), OpenMode::WriteExclusive).device);
        ASSERT_TRUE(devices.back());
    }
    const std::size_t room = static_cast<std::size_t>(::fcntl(readers[1].Get(), F_GETPIPE_SZ));
    std::string data(4 * room, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 23);

    std::string drained;
    std::thread reader([&] {
        std::this_thread::sleep_for(Ms(100));
        char buffer[1024];
        for (const auto end = Now() + Ms(2000); drained.size() < data.size() && Now() < end;) {
            const ssize_t n = ::read(readers[0].Get(), buffer, sizeof buffer);
            if (n > 0) drained.append(buffer, static_cast<std::size_t>(n));
            else std::this_thread::sleep_for(Ms(5));
        }
    });
    std::vector<DeviceWrite> writes{{devices[0].get()}, {devices[1].get()}};
    const auto t0 = Now();
    bus.WriteEach(writes, data.data(), data.size());
    const auto took = std::chrono::duration_cast<Ms>(Now() - t0).count();
    reader.join();
    EXPECT_EQ(writes[0].written, data.size());
    EXPECT_TRUE(drained == data) << drained.size() << " bytes came, not in order or not all";
    EXPECT_EQ(writes[1].written, room);
    EXPECT_GE(took, 400);
    EXPECT_LT(took, 1500);
}

#ifdef LDT_HAVE_SIM

namespace {

// Simulators standing behind /dev/usb/lp0, lp1, ... of a fake tree, read
// through the real bus.
struct SimulatedPorts {
    FakeTree tree;
    std::vector<std::unique_ptr<MachineSimulator>> sims;
    Utf8CodePage codePage;
    fakes::FakeClock clock;
    fakes::FakePrompts prompts;
    MachineLink link;
    MachineData data;
    RefreshOutcome outcome;

    void Add(SimulatorMode mode, Ms delay = Ms(200)) {
        const std::string name = "lp" + std::to_string(sims.size());
        tree.AddNode(name, "07");
        MachineSimulatorOptions o;
        o.mode = mode;
        o.delay = delay;
        o.linkPath = tree.Dev(name);
        sims.push_back(std::make_unique<MachineSimulator>(o));
        std::string error;
        ASSERT_TRUE(sims.back()->Start(&error)) << error;
    }
    // Refreshes with the given read bound; returns the milliseconds it took.
    long long Refresh(int timeoutMs) {
        auto bus = tree.Bus(timeoutMs);
        const auto t0 = Now();
        outcome = RefreshMachineData(link, data, {bus, clock, codePage, prompts});
        return std::chrono::duration_cast<Ms>(Now() - t0).count();
    }
    // The data holds exactly the fields of `replies`, in order.
    void Expect(const std::vector<std::string>& replies) const {
        MachineData expected;
        for (const auto& r : replies) ParseReply(expected, Utf8ToUtf16(r));
        ASSERT_EQ(data.Count(), expected.Count());
        for (std::size_t i = 0; i < data.Count(); ++i) EXPECT_EQ(data.At(i), expected.At(i)) << i;
    }
};

}  // namespace

// The backend reads each port once, at most 256 bytes: the rest of a reply
// that comes in two pieces, or past 256 bytes, is not read, and the next
// refresh drops it rather than take it for its own answer.
TEST(SimulatedPorts, onlyOneReadOfAtMost256BytesCounts) {
    const struct {
        SimulatorMode mode;
        std::string firstRead;
    } cases[] = {
        {SimulatorMode::Split, MachineSimulator::DefaultReply().substr(0, MachineSimulator::DefaultReply().size() / 2)},
        {SimulatorMode::Long, MachineSimulator::LongReply().substr(0, 256)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(SimulatorModeName(c.mode));
        SimulatedPorts ports;
        ports.Add(c.mode, Ms(150));
        ports.Refresh(1000);
        ports.Expect({c.firstRead});
        std::this_thread::sleep_for(Ms(300));  // the rest has come by now
        ports.Refresh(1000);
        ports.Expect({c.firstRead});
    }
}

TEST(SimulatedPorts, answeringAndSilentPortsAtOnce_repliesInPortOrder_silentOnesShareOneBound) {
    SimulatedPorts ports;
    // lp0 answers last, lp2 first, the others never.
    ports.Add(SimulatorMode::Late, Ms(250));
    ports.Add(SimulatorMode::Silent);
    ports.Add(SimulatorMode::Normal);
    ports.Add(SimulatorMode::Silent);
    ports.Add(SimulatorMode::Silent);
    const long long took = ports.Refresh(400);

    ports.Expect({MachineSimulator::DefaultReply(), MachineSimulator::DefaultReply()});
    const auto& out = ports.outcome.ports;
    ASSERT_EQ(out.size(), 5u);
    EXPECT_TRUE(out[0].answered && out[2].answered);
    EXPECT_FALSE(out[1].answered || out[3].answered || out[4].answered);
    EXPECT_TRUE(ports.prompts.errors.empty());
    for (const auto& sim : ports.sims) EXPECT_EQ(sim->QueryCountX(), 1u);
    // The silent ports are waited for to the end of the bound, but less
    // than the three bounds they would take one after another.
    EXPECT_GE(took, 400);
    EXPECT_LT(took, 3 * 400);
}

TEST(SimulatedPorts, deviceHangsUp_readReturnsPromptlyWithNothing) {
    SimulatedPorts ports;
    ports.Add(SimulatorMode::Hangup);
    EXPECT_LT(ports.Refresh(5000), 4000);
    EXPECT_FALSE(ports.data.Available());
}

#endif  // LDT_HAVE_SIM

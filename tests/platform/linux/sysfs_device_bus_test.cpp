#include "fakes/Fakes.h"
#include "link/Refresh.h"
#include "platform/linux/SysfsDeviceBus.h"
#include "platform/linux/Utf8CodePage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

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

TEST(SysfsDeviceBus, noUsbmiscClass_givesAnEmptySet) {
    SysfsDeviceBus bus("/nonexistent-sys", "/nonexistent-dev");
    auto set = bus.OpenInterfaceSet(kUsbPrintInterfaceClass);
    ASSERT_TRUE(set);
    WString path;
    EXPECT_EQ(set->Query(0, path), InterfaceQuery::NoMoreItems);
}

TEST(SysfsDeviceBus, windowsDeviceNamesAndMissingNodes_neverOpen) {
    FakeTree t;
    auto bus = t.Bus();
    EXPECT_FALSE(bus.Open(u"\\\\.\\KORVA1", OpenMode::ReadWriteExclusive).device);
    EXPECT_FALSE(bus.Open(u"\\", OpenMode::ReadWriteShared).device);
    const OpenResult missing = bus.Open(Utf8ToUtf16(t.Dev("lp0") + "\\"), OpenMode::ReadWriteShared);
    EXPECT_FALSE(missing.device);
    EXPECT_EQ(Utf16ToUtf8(missing.reason), "No such file or directory");
    EXPECT_FALSE(fs::exists("\\\\.\\KORVA1"));
}

TEST(SysfsDeviceBus, refreshWithoutInterfacesOrFallback_showsTheNoConnectionBox) {
    FakeTree t;
    auto bus = t.Bus();
    fakes::FakeClock clock;
    Utf8CodePage cp;
    fakes::FakePrompts prompts;
    MachineLink link;
    MachineData data;
    RefreshMachineData(link, data, {bus, clock, cp, prompts});
    EXPECT_EQ(prompts.errors.size(), 1u);
}

#ifdef LDT_HAVE_SIM

namespace {

// A simulator standing behind /dev/usb/lp0 of a fake tree.
struct SimulatedPort : ::testing::Test {
    FakeTree tree;
    std::unique_ptr<MachineSimulator> sim;
    Utf8CodePage codePage;
    fakes::FakeClock clock;
    fakes::FakePrompts prompts;
    MachineLink link;
    MachineData data;

    void Start(SimulatorMode mode, Ms delay = Ms(200)) {
        tree.AddNode("lp0", "07");
        MachineSimulatorOptions o;
        o.mode = mode;
        o.delay = delay;
        o.linkPath = tree.Dev("lp0");
        sim = std::make_unique<MachineSimulator>(o);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
    }
    void Refresh(int timeoutMs = 1000) {
        auto bus = tree.Bus(timeoutMs);
        RefreshMachineData(link, data, {bus, clock, codePage, prompts});
    }
};

}  // namespace

TEST_F(SimulatedPort, normalReply_isParsedIntoSeventeenFields) {
    Start(SimulatorMode::Normal);
    Refresh();
    EXPECT_EQ(data.Count(), 17u);
    EXPECT_EQ(Utf16ToUtf8(data.At(MachineField::ImageOffsetX)), "Left  12");
    EXPECT_EQ(sim->QueryCountX(), 1u);
    EXPECT_EQ(sim->QueryCountY(), 0u);
    EXPECT_TRUE(prompts.errors.empty());
}

TEST_F(SimulatedPort, silentDevice_readGivesUpWithinTheBound) {
    Start(SimulatorMode::Silent);
    const auto t0 = Now();
    Refresh(300);
    const auto took = std::chrono::duration_cast<Ms>(Now() - t0);
    EXPECT_FALSE(data.Available());
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_GE(took.count(), 250);
    EXPECT_LT(took.count(), 2000);
}

TEST_F(SimulatedPort, twoPieceReply_onlyTheFirstReadCounts) {
    Start(SimulatorMode::Split, Ms(150));
    Refresh();
    const std::string full = MachineSimulator::DefaultReply();
    const std::string first = full.substr(0, full.size() / 2);
    const auto commas = static_cast<std::size_t>(std::count(first.begin(), first.end(), ','));
    EXPECT_EQ(data.Count(), commas);
    EXPECT_LT(data.Count(), 17u);
}

TEST_F(SimulatedPort, lateReplyWithinTheBound_isRead) {
    Start(SimulatorMode::Late, Ms(100));
    Refresh();
    EXPECT_EQ(data.Count(), 17u);
}

TEST_F(SimulatedPort, replyWithAZeroByte_endsThere) {
    Start(SimulatorMode::Zero);
    Refresh();
    EXPECT_FALSE(data.Available());
}

TEST_F(SimulatedPort, longReply_only256BytesAreRead) {
    Start(SimulatorMode::Long);
    Refresh();
    const std::string first256 = MachineSimulator::LongReply().substr(0, 256);
    EXPECT_EQ(data.Count(), static_cast<std::size_t>(std::count(first256.begin(), first256.end(), ',')));
}

TEST(SimulatedPorts, answeringAndSilentPortsAtOnce_repliesInPortOrder_silentOnesShareOneBound) {
    FakeTree tree;
    std::vector<std::unique_ptr<MachineSimulator>> sims;
    // lp0 answers last, lp2 first, the others never.
    const std::pair<SimulatorMode, int> ports[] = {{SimulatorMode::Late, 250},
                                                   {SimulatorMode::Silent, 0},
                                                   {SimulatorMode::Normal, 0},
                                                   {SimulatorMode::Silent, 0},
                                                   {SimulatorMode::Silent, 0}};
    for (std::size_t i = 0; i < std::size(ports); ++i) {
        const std::string name = "lp" + std::to_string(i);
        tree.AddNode(name, "07");
        MachineSimulatorOptions o;
        o.mode = ports[i].first;
        o.delay = Ms(ports[i].second);
        o.linkPath = tree.Dev(name);
        sims.push_back(std::make_unique<MachineSimulator>(o));
        std::string error;
        ASSERT_TRUE(sims.back()->Start(&error)) << error;
    }
    auto bus = tree.Bus(400);
    Utf8CodePage codePage;
    fakes::FakeClock clock;
    fakes::FakePrompts prompts;
    MachineLink link;
    MachineData data;
    const auto t0 = Now();
    const RefreshOutcome outcome = RefreshMachineData(link, data, {bus, clock, codePage, prompts});
    const auto took = std::chrono::duration_cast<Ms>(Now() - t0).count();

    MachineData oneByOne;
    ParseReply(oneByOne, Utf8ToUtf16(MachineSimulator::DefaultReply()));
    ParseReply(oneByOne, Utf8ToUtf16(MachineSimulator::DefaultReply()));
    ASSERT_EQ(data.Count(), oneByOne.Count());
    ASSERT_EQ(outcome.ports.size(), 5u);
    EXPECT_TRUE(outcome.ports[0].answered && outcome.ports[2].answered);
    EXPECT_FALSE(outcome.ports[1].answered || outcome.ports[3].answered || outcome.ports[4].answered);
    for (const auto& sim : sims) EXPECT_EQ(sim->QueryCountX(), 1u);
    // Less than the three bounds the silent ports would take one after another.
    EXPECT_LT(took, 3 * 400);
}

TEST_F(SimulatedPort, deviceHangsUp_readReturnsPromptlyWithNothing) {
    Start(SimulatorMode::Hangup);
    const auto t0 = Now();
    Refresh(5000);
    EXPECT_FALSE(data.Available());
    EXPECT_LT(std::chrono::duration_cast<Ms>(Now() - t0).count(), 4000);
}

#endif  // LDT_HAVE_SIM

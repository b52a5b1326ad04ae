#include "fakes/Fakes.h"
#include "link/PortDiscovery.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ldt;
using fakes::FakeBus;

namespace {

std::string Slot(const MachineLink& link, std::size_t i) { return link.portTable[i].data(); }

bool SlotIsZero(const MachineLink& link, std::size_t i) {
    for (char c : link.portTable[i])
        if (c) return false;
    return true;
}

struct Discovery : ::testing::Test {
    FakeBus bus;
    MachineLink link;
    fakes::Latin1CodePage codePage;
    void SetUp() override { link.interfaceClass = kUsbPrintInterfaceClass; }
    void AddInterfaces(int n) {
        for (int i = 0; i < n; ++i) bus.interfaces.push_back({InterfaceQuery::Ok, "\\\\?\\usb#p" + std::to_string(i)});
    }
};

}  // namespace

TEST_F(Discovery, noInterface_countsZero) {
    EXPECT_EQ(EnumeratePrinterPorts(link, bus), 0);
    EXPECT_EQ(link.portCount, 0);
    EXPECT_EQ(bus.setsOpened, 1);
    EXPECT_EQ(bus.setsDestroyed, 1);
}

TEST_F(Discovery, noSetFromThePlatform_countsZeroWithoutQuerying) {
    bus.giveSet = false;
    AddInterfaces(2);
    EXPECT_EQ(EnumeratePrinterPorts(link, bus), 0);
    EXPECT_TRUE(bus.queried.empty());
}

TEST_F(Discovery, threeInterfaces_fillSlotsZeroToTwo) {
    AddInterfaces(3);
    EXPECT_EQ(EnumeratePrinterPorts(link, bus), 3);
    EXPECT_EQ(Slot(link, 0), "\\\\?\\usb#p0");
    EXPECT_EQ(Slot(link, 2), "\\\\?\\usb#p2");
    for (std::size_t i = 3; i < kPortSlots; ++i) EXPECT_TRUE(SlotIsZero(link, i));
    EXPECT_EQ(std::memcmp(&bus.lastClass, &kUsbPrintInterfaceClass, sizeof(Guid)), 0);
    EXPECT_EQ(bus.setsDestroyed, 1);
}

TEST_F(Discovery, failedIndexesStillCount_andTheirSlotsStayEmpty) {
    AddInterfaces(3);
    bus.interfaces[1].result = InterfaceQuery::OtherError;
    bus.interfaces[2].result = InterfaceQuery::DetailFailed;
    EXPECT_EQ(EnumeratePrinterPorts(link, bus), 3);
    EXPECT_EQ(Slot(link, 0), "\\\\?\\usb#p0");
    EXPECT_TRUE(SlotIsZero(link, 1));
    EXPECT_TRUE(SlotIsZero(link, 2));
    EXPECT_EQ(bus.queried, (std::vector<unsigned>{0, 1, 2, 3}));
}

TEST_F(Discovery, longPathsAreKeptWhole_tooLongOnesSkippedNeverCut) {
    const std::string composite = "\\\\?\\usb#vid_1a86&pid_7584&mi_00#7&1a2b3c4d&0&0000#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
    bus.interfaces.push_back({InterfaceQuery::Ok, std::string(120, 'p')});
    bus.interfaces.push_back({InterfaceQuery::Ok, std::string(300, 'q')});
    bus.interfaces.push_back({InterfaceQuery::Ok, std::string(kMaxPathChars, 'r')});
    bus.interfaces.push_back({InterfaceQuery::Ok, composite});
    bus.devices[std::string(120, 'p') + "\\"] = {};
    bus.devices[std::string(kMaxPathChars, 'r') + "\\"] = {};
    EXPECT_EQ(EnumeratePrinterPorts(link, bus), 4);
    EXPECT_EQ(Slot(link, 0), std::string(120, 'p'));
    EXPECT_TRUE(SlotIsZero(link, 1));
    EXPECT_EQ(Slot(link, 3), composite);
    EXPECT_TRUE(OpenPort(link, 0, bus, codePage).device);
    EXPECT_FALSE(OpenPort(link, 1, bus, codePage).device);
    // The longest path that fits still has room for its backslash.
    EXPECT_TRUE(OpenPort(link, 2, bus, codePage).device);
    EXPECT_EQ(bus.opens[1].path, "\\");
}

TEST_F(Discovery, slotHoldsTheLowByteOfEachCodeUnit) {
    bus.interfaces.push_back({InterfaceQuery::Ok, "", u"a\u4162b"});
    EnumeratePrinterPorts(link, bus);
    EXPECT_EQ(Slot(link, 0), "abb");
}

TEST_F(Discovery, enumerationStopsAtIndexOneHundred) {
    for (int i = 0; i < 150; ++i) bus.interfaces.push_back({InterfaceQuery::OtherError, ""});
    EXPECT_EQ(EnumeratePrinterPorts(link, bus), 100);
    EXPECT_EQ(bus.queried.size(), 100u);
}

TEST_F(Discovery, openPortAppendsOneBackslashInPlace_andOpensShared) {
    bus.interfaces.push_back({InterfaceQuery::Ok, "\\\\?\\usb#p0"});
    bus.devices["\\\\?\\usb#p0\\"] = {};
    EnumeratePrinterPorts(link, bus);
    OpenResult d = OpenPort(link, 0, bus, codePage);
    EXPECT_TRUE(d.device);
    EXPECT_EQ(Slot(link, 0), "\\\\?\\usb#p0\\");
    ASSERT_EQ(bus.opens.size(), 1u);
    EXPECT_EQ(bus.opens[0].mode, OpenMode::ReadWriteShared);
    // A second open without a new enumeration adds a second backslash.
    OpenResult again = OpenPort(link, 0, bus, codePage);
    EXPECT_FALSE(again.device);
    EXPECT_EQ(bus.opens[1].path, "\\\\?\\usb#p0\\\\");
}

TEST_F(Discovery, openPortBeyondTheTable_opensNothing) {
    EXPECT_FALSE(OpenPort(link, kPortSlots, bus, codePage).device);
    EXPECT_TRUE(bus.opens.empty());
}

// The first name is only probed; the second, when it opens, is the device.
TEST(Fallback, probesBothNames_handsOverOnlyTheSecond_andClosesTheFirst) {
    const std::string first = "\\\\.\\KORVA0", second = "\\\\.\\KORVA1";
    const struct {
        bool firstOpens, secondOpens;
        FallbackResult::Kind kind;
    } cases[] = {
        {false, false, FallbackResult::NoDevice},
        {true, false, FallbackResult::InvalidHandle},
        {true, true, FallbackResult::Opened},
        {false, true, FallbackResult::Opened},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.firstOpens) + std::to_string(c.secondOpens));
        FakeBus bus;
        if (c.firstOpens) bus.devices[first] = {};
        if (c.secondOpens) bus.devices[second] = {};
        {
            FallbackResult r = ProbeFallbackDevices(bus);
            EXPECT_EQ(r.kind, c.kind);
            EXPECT_EQ(static_cast<bool>(r.device), c.kind == FallbackResult::Opened);
            EXPECT_EQ(bus.closed, c.firstOpens ? std::vector<std::string>{first} : std::vector<std::string>{});
        }
        EXPECT_TRUE(bus.open.empty());
        ASSERT_EQ(bus.opens.size(), 2u);
        EXPECT_EQ(bus.opens[0].path, first);
        EXPECT_EQ(bus.opens[0].mode, OpenMode::WriteExclusive);
        EXPECT_EQ(bus.opens[1].path, second);
        EXPECT_EQ(bus.opens[1].mode, OpenMode::ReadWriteExclusive);
    }
}

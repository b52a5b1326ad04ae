#include "fakes/Fakes.h"
#include "link/Refresh.h"

#include <gtest/gtest.h>

using namespace ldt;
using fakes::FakeBus;
using fakes::Narrow;

namespace {

const std::string kX("\x1A$i4X", 5);
const std::string kY("\x1A$i4Y", 5);

struct RefreshTest : ::testing::Test {
    FakeBus bus;
    fakes::FakeClock clock;
    fakes::Latin1CodePage codePage;
    fakes::FakePrompts prompts;
    MachineLink link;
    MachineData data;

    RefreshOutcome Refresh() { return RefreshMachineData(link, data, {bus, clock, codePage, prompts}); }
    void AddPort(const std::string& name, std::deque<std::string> replies) {
        bus.interfaces.push_back({InterfaceQuery::Ok, name});
        bus.devices[name + "\\"] = {std::move(replies)};
    }
    std::vector<std::string> Values() const {
        std::vector<std::string> v;
        for (std::size_t i = 0; i < data.Count(); ++i) v.push_back(Narrow(data.At(i)));
        return v;
    }
};

using V = std::vector<std::string>;

}  // namespace

TEST_F(RefreshTest, onePortAnswering_writesX_pausesFiftyMs_readsOnce256_andCloses) {
    AddPort("p0", {"a,b,"});
    Refresh();
    EXPECT_EQ(Values(), (V{"a", "b"}));
    ASSERT_EQ(bus.writes.size(), 1u);
    EXPECT_EQ(bus.writes[0], std::make_pair(std::string("p0\\"), kX));
    EXPECT_EQ(clock.pauses, std::vector<unsigned>{50});
    EXPECT_EQ(bus.readCapacities, std::vector<std::size_t>{256});
    EXPECT_EQ(bus.closed, std::vector<std::string>{"p0\\"});
    EXPECT_TRUE(prompts.errors.empty());
}

// What came before the query (the rest of an earlier reply) is dropped, not
// taken for its answer; a device that keeps sending is given up after a few
// rounds.
TEST_F(RefreshTest, inputPendingBeforeTheQueryIsDropped) {
    AddPort("p0", {"a,b,"});
    bus.devices["p0\\"].pending = {"rest,of,", "old,"};
    Refresh();
    EXPECT_EQ(Values(), (V{"a", "b"}));
    EXPECT_EQ(bus.pendingBatches, 3);
    bus.devices["p0\\"] = {{"c,"}, {}, {}, false, std::deque<std::string>(9, "x,")};
    Refresh();
    EXPECT_EQ(Values(), (V{"c"}));
    EXPECT_EQ(bus.pendingBatches, 3 + 4);
}

TEST_F(RefreshTest, replyEndsAtAZeroByte) {
    AddPort("p0", {std::string("abc\0def,", 8)});
    Refresh();
    EXPECT_FALSE(data.Available());
}

TEST_F(RefreshTest, replyOf256BytesIsConvertedWhole) {
    std::string reply(255, 'x');
    reply += ',';
    AddPort("p0", {reply + "y,"});
    Refresh();
    ASSERT_EQ(data.Count(), 1u);
    EXPECT_EQ(data.At(0).size(), 255u);
}

TEST_F(RefreshTest, portsThatDoNotOpenOrStaySilent_noMessage_dataUnavailable) {
    bus.interfaces.push_back({InterfaceQuery::Ok, "gone"});
    AddPort("silent", {});
    bus.interfaces.push_back({InterfaceQuery::DetailFailed, ""});
    Refresh();
    EXPECT_FALSE(data.Available());
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_EQ(bus.opens.size(), 3u);
    EXPECT_EQ(bus.opens[2].path, "\\");
    EXPECT_TRUE(bus.open.empty());
}

TEST_F(RefreshTest, onlyFirstFallbackOpens_nothingSent_noMessage) {
    bus.devices["\\\\.\\KORVA0"] = {{"a,"}};
    Refresh();
    EXPECT_TRUE(bus.writes.empty());
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_FALSE(data.Available());
    EXPECT_TRUE(bus.open.empty());
}

TEST_F(RefreshTest, fallbackDevice_getsY_andItsReplyIsParsed) {
    bus.devices["\\\\.\\KORVA1"] = {{"a,b,"}};
    Refresh();
    ASSERT_EQ(bus.writes.size(), 1u);
    EXPECT_EQ(bus.writes[0], std::make_pair(std::string("\\\\.\\KORVA1"), kY));
    EXPECT_EQ(Values(), (V{"a", "b"}));
    EXPECT_TRUE(bus.open.empty());
}

// Unplugged: every refresh clears the data and the port table; only a manual
// one shows the no-connection box, once each time.
TEST_F(RefreshTest, afterUnplugging_dataAndTableAreCleared_onlyManualRefreshesShowTheBox) {
    AddPort("p0", {"a,"});
    Refresh();
    EXPECT_TRUE(data.Available());
    bus.interfaces.clear();
    const RefreshOutcome outcome = RefreshMachineData(link, data, {bus, clock, codePage, prompts}, RefreshKind::Automatic);
    EXPECT_TRUE(outcome.noConnection);
    EXPECT_FALSE(data.Available());
    EXPECT_EQ(link.portTable[0][0], 0);
    EXPECT_TRUE(prompts.errors.empty());
    Refresh();
    Refresh();
    EXPECT_EQ(prompts.errors, std::vector<WString>(2, kNoConnectionText));
    EXPECT_EQ(bus.writes.size(), 1u);  // nothing is sent without a port
}

// Each refresh reads once: "b," is left for the second, which shows it alone.
TEST_F(RefreshTest, refreshesNeverMix_eachReadsOnceFromAClearedTable) {
    AddPort("p0", {"a,", "b,"});
    Refresh();
    Refresh();
    EXPECT_EQ(Values(), (V{"b"}));
    EXPECT_EQ(bus.opens[1].path, "p0\\");  // one backslash, not two
}

TEST_F(RefreshTest, moreThanThirtyTwoPorts_onlyTheFirstThirtyTwoAreQueried) {
    for (int i = 0; i < 40; ++i) AddPort("p" + std::to_string(i), {"v" + std::to_string(i) + ","});
    Refresh();
    EXPECT_EQ(link.portCount, 40);
    EXPECT_EQ(bus.opens.size(), 32u);
    EXPECT_EQ(data.Count(), 32u);
    EXPECT_EQ(Narrow(data.At(31)), "v31");
}

TEST_F(RefreshTest, allPortsAtOnce_oneWriteBatchOnePauseOneReadBatch_dataAsOneByOne) {
    AddPort("p0", {"a,b,"});
    AddPort("silent", {});
    AddPort("p2", {"c,"});
    bus.interfaces.push_back({InterfaceQuery::Ok, "gone"});
    AddPort("p4", {"d,e,"});
    bus.reverseCompletion = true;  // the last port's reply comes first
    const RefreshOutcome outcome = Refresh();
    EXPECT_EQ(Values(), (V{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(bus.writeBatches, 1);
    EXPECT_EQ(bus.readBatches, 1);  // the silent port shares the one deadline
    EXPECT_EQ(clock.pauses, std::vector<unsigned>{50});
    EXPECT_EQ(bus.writes.size(), 4u);
    EXPECT_EQ(bus.readCapacities, (std::vector<std::size_t>(4, 256)));
    EXPECT_TRUE(bus.open.empty());
    ASSERT_EQ(outcome.ports.size(), 5u);
    EXPECT_EQ(Narrow(outcome.ports[1].path), "silent");
    EXPECT_TRUE(outcome.ports[1].opened);
    EXPECT_FALSE(outcome.ports[1].answered);
    EXPECT_TRUE(outcome.ports[4].answered);
    EXPECT_FALSE(outcome.ports[3].opened);
    EXPECT_TRUE(UnopenedPortsText(outcome).empty());
}

TEST_F(RefreshTest, noPortOpens_theTextNamesEachPortItsReasonAndRemedy_butTheRefreshShowsNothing) {
    bus.interfaces.push_back({InterfaceQuery::Ok, "/dev/usb/lp0"});
    bus.devices["/dev/usb/lp0\\"] = {{}, u"Permission denied", u"Join the group lp."};
    bus.interfaces.push_back({InterfaceQuery::Ok, "/dev/usb/lp1"});
    bus.devices["/dev/usb/lp1\\"] = {{}, u"Device or resource busy", {}};
    const RefreshOutcome outcome = Refresh();
    EXPECT_TRUE(prompts.errors.empty());
    EXPECT_FALSE(outcome.noConnection);
    EXPECT_EQ(Narrow(UnopenedPortsText(outcome)),
              "Cannot open /dev/usb/lp0: Permission denied.\nJoin the group lp.\n\n"
              "Cannot open /dev/usb/lp1: Device or resource busy.");
}


TEST_F(RefreshTest, eachPortReportsTheBytesItTookAndBrought) {
    AddPort("p0", {"a,b,"});
    AddPort("p1", {});
    AddPort("p2", {"c,"});
    bus.devices["p2\\"].refusesWrites = true;
    const RefreshOutcome outcome = Refresh();
    ASSERT_EQ(outcome.ports.size(), 3u);
    const std::size_t written[] = {5, 5, 0}, received[] = {4, 0, 2};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(outcome.ports[i].written, written[i]);
        EXPECT_EQ(outcome.ports[i].received, received[i]);
        EXPECT_EQ(outcome.ports[i].answered, received[i] > 0);
    }
}

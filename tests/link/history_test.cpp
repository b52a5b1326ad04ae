#include "link/History.h"

#include "fakes/Fakes.h"

#include <gtest/gtest.h>

namespace ldt {
namespace {

using fakes::FakeHistory;
using fakes::Latin1CodePage;

HistoryRecord Record(WString key, long long time, std::vector<WString> values) {
    HistoryRecord r;
    r.key = std::move(key);
    r.time = time;
    r.port = u"/dev/usb/lp0";
    r.values = std::move(values);
    return r;
}

PortOutcome Answered(std::string path, std::string reply, DeviceIdentity id = {}) {
    PortOutcome port;
    port.path = WString(path.begin(), path.end());
    port.opened = port.answered = true;
    port.reply = std::move(reply);
    port.identity = std::move(id);
    return port;
}

TEST(HistoryLine, roundTripsHostileText) {
    HistoryRecord r = Record(u"sn:1a2b:3c4d:\"x\\y", 1764583953, {u"62", u"\x01\x1b[2J", u"\u202e\U0001F600", u""});
    r.identity.serial = u"a\"b";
    r.identity.ieee1284Id = u"MFG:X;\n";
    const std::string line = HistoryLine(r);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    const std::optional<HistoryRecord> back = ParseHistoryLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->key, r.key);
    EXPECT_EQ(back->time, r.time);
    EXPECT_EQ(back->values, r.values);
    EXPECT_EQ(back->identity.serial, r.identity.serial);
    EXPECT_EQ(back->identity.ieee1284Id, r.identity.ieee1284Id);

    // Untrusted text is bounded: a record of the longest texts still fits a line.
    HistoryRecord big = Record(WString(5000, u'\x01'), 1, std::vector<WString>(30, WString(5000, u'\x01')));
    for (WString* f : {&big.identity.manufacturer, &big.identity.product, &big.identity.serial,
                       &big.identity.ieee1284Id, &big.identity.location, &big.identity.route, &big.port})
        *f = WString(5000, u'\x02');
    const std::string bigLine = HistoryLine(big);
    EXPECT_LE(bigLine.size(), kHistoryLineBytes);
    ASSERT_TRUE(ParseHistoryLine(bigLine));
    EXPECT_EQ(ParseHistoryLine(bigLine)->values.size(), kHistoryFields);

    // Bytes that are no UTF-8 (a lead byte past F4) read as replacement characters.
    std::string bad = HistoryLine(Record(u"k", 1, {u"Q"}));
    bad.replace(bad.find('Q'), 1, "\xF5\x80\x80");
    ASSERT_TRUE(ParseHistoryLine(bad));
    EXPECT_EQ(ParseHistoryLine(bad)->values.at(0), u"\uFFFD\uFFFD\uFFFD");
}

TEST(HistoryLine, skipsWhatIsNotOneOfOurRecords) {
    const std::string good = R"({"time": 5, "key": "k", "values": ["a"]})";
    ASSERT_TRUE(ParseHistoryLine(good));
    EXPECT_TRUE(ParseHistoryLine(R"({"extra": {"n": [1, 2.5, true, null]}, "time": 5, "key": "k", "values": []})"));
    const char* bad[] = {
        "", "garbage", "{", R"({"time": 5, "key": "k", "values": ["a"])",  // cut
        R"({"time": "5", "key": "k", "values": []})",                       // time not a number
        R"({"time": 5, "key": 7, "values": []})",                           // key not a string
        R"({"time": 5, "key": "k", "values": "a"})",                        // values not a list
        R"({"time": 5, "key": "k", "values": [1]})",                        // a value not a string
        R"({"time": 5, "key": "", "values": []})",                          // no key
        R"({"time": 5, "values": []})",
        R"({"time": 5, "key": "k", "values": ["1","2","3","4","5","6","7","8","9","10","11","12","13","14","15","16","17","18"]})",
        R"({"time": 5, "key": "k", "values": []} x)",
        "{\"time\": 5, \"key\": \"a\x01\", \"values\": []}",  // raw control character
        R"({"time": 5, "key": "\u12", "values": []})",
    };
    for (const char* line : bad) EXPECT_FALSE(ParseHistoryLine(line)) << line;
    std::string longLine = R"({"time": 5, "key": "k", "values": [], "pad": ")" + std::string(kHistoryLineBytes, 'x') + "\"}";
    EXPECT_FALSE(ParseHistoryLine(longLine));
}

TEST(MachineKey, serialElseLocationElsePort) {
    DeviceIdentity id;
    id.vendorId = u"1a2b";
    id.productId = u"3c4d";
    id.location = u"1-1:1.0";
    EXPECT_EQ(MachineKey(id, u"/dev/usb/lp0"), u"at:1a2b:3c4d:1-1:1.0");
    id.serial = u"SIM0001";
    EXPECT_EQ(MachineKey(id, u"/dev/usb/lp0"), u"sn:1a2b:3c4d:SIM0001");
    EXPECT_EQ(MachineKey({}, u"\\\\.\\KORVA1"), u"port:\\\\.\\KORVA1");
}

TEST(CompareRecords, namesEveryDifferingValueWithThePreviousTime) {
    const std::vector<FieldChange> changes =
        CompareRecords(Record(u"k", 100, {u"a", u"b", u"c", u"d", u"62"}), Record(u"k", 200, {u"a", u"b", u"c", u"d", u"55", u"x"}));
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].field, 4u);
    EXPECT_EQ(changes[0].was, u"62");
    EXPECT_EQ(changes[0].now, u"55");
    EXPECT_EQ(changes[0].since, 100);
    EXPECT_EQ(changes[1].was, u"");
    EXPECT_EQ(FieldName(4), u"File Power");
    EXPECT_EQ(ChangeSentence(changes[0]).substr(0, 16), u"Power was 62 on ");
}

TEST(ReadHistory, newestOfEachKeyPastDamage) {
    FakeHistory file;
    file.generations[1] = HistoryLine(Record(u"old", 1, {u"o"}));
    file.generations[0] = HistoryLine(Record(u"a", 10, {u"1"})) + "garbage line\n" +
                          HistoryLine(Record(u"b", 11, {u"2"})) + std::string(kHistoryLineBytes * 3, 'x') + "\n" +
                          HistoryLine(Record(u"a", 12, {u"3"})) + "{\"time\": 13, \"key\": \"a\", \"val";  // torn last line
    auto got = ReadHistory(file, {u"a", u"b"}, 1);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].key, u"b");
    EXPECT_EQ(got[1].values, std::vector<WString>{u"3"});
    // Every machine, older generation included, oldest first.
    got = ReadHistory(file, {}, 5);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].key, u"old");
    EXPECT_EQ(got[3].time, 12);
    // The budget bounds what is read, however large the file.
    file.bytesRead = 0;
    got = ReadHistory(file, {u"missing"}, 1, 100 * 1024);
    EXPECT_TRUE(got.empty());
    EXPECT_LE(file.bytesRead, 100u * 1024);
}

// The first port's own reply is compared (cut at its zero); a port that did
// not answer has no reading; a failed append is told, never thrown.
TEST(UpdateHistory, comparesEachPortsOwnReplyThenAppends) {
    FakeHistory file;
    Latin1CodePage codePage;
    RefreshOutcome refresh;
    refresh.ports = {Answered("lp0", std::string("a,62,\0x,", 8)), Answered("lp1", "x,y,"), PortOutcome{}};
    EXPECT_TRUE(UpdateHistory(&file, refresh, codePage, 100, true).ports[0].read);
    refresh.ports[0].reply = "a,55,";
    const HistoryOutcome second = UpdateHistory(&file, refresh, codePage, 200, true);
    ASSERT_EQ(second.ports[0].changes.size(), 1u);
    EXPECT_EQ(second.ports[0].changes[0].since, 100);
    EXPECT_TRUE(second.ports[1].previous && second.ports[1].changes.empty());
    EXPECT_FALSE(second.ports[2].read);
    file.failure = u"Cannot write history.jsonl: No space left on device.";
    EXPECT_EQ(UpdateHistory(&file, refresh, codePage, 300, true).problem, file.failure);
}

}  // namespace
}  // namespace ldt

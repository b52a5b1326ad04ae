#include "fakes/Fakes.h"
#include "link/Diagnosis.h"
#include "seams/ProductText.h"
#include "seams/Utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace ldt;
using fakes::FakeBus;

namespace {

struct DiagnosisTest : ::testing::Test {
    FakeBus bus;
    fakes::FakeClock clock;
    fakes::Latin1CodePage codePage;
    fakes::FakePrompts prompts;
    MachineLink link;
    MachineData data;

    Diagnosis Diagnose() {
        return MakeDiagnosis(RefreshMachineData(link, data, {bus, clock, codePage, prompts}), u"TestOS 1");
    }
    void AddPort(const std::string& path, FakeBus::DeviceScript device, DeviceIdentity identity = {}) {
        bus.interfaces.push_back({InterfaceQuery::Ok, path, {}, std::move(identity)});
        bus.devices[path + "\\"] = std::move(device);
    }
};

std::string Text(const Diagnosis& d) { return Utf16ToUtf8(DiagnosisText(d)); }

bool HasControlBesidesNewline(const std::string& s) {
    for (unsigned char c : s)
        if ((c < 0x20 && c != '\n') || c == 0x7F) return true;
    return false;
}

}  // namespace

TEST(EscapeText, boundsEachField_replacesBrokenUtf16_andWritesControlsVisibly) {
    const WString lone(1, char16_t(0xDC00));
    const WString pair = u"\U0001F600";
    const struct {
        const char* name;
        WString in;
        std::size_t limit;
        WString out;
    } rows[] = {
        {"plain", u"Maker Inc.", 128, u"Maker Inc."},
        {"terminal escape", u"A\x1b[2Jb", 128, u"A\\x1b[2Jb"},
        {"line breaks and DEL", u"a\r\nb\x7f", 128, u"a\\x0d\\x0ab\\x7f"},
        {"C1 control sequence introducer", u"a\u009b31m", 128, u"a\\x9b31m"},
        {"bidirectional override", u"txt.\u202Eexe", 128, u"txt.\\u202eexe"},
        {"line and paragraph separators", u"a\u2028b\u2029c", 128, u"a\\u2028b\\u2029c"},
        {"zero width and byte order mark", u"\uFEFFa\u200Bb\u2060", 128, u"\\ufeffa\\u200bb\\u2060"},
        {"lone surrogate", u"a" + lone + u"b", 128, u"a\uFFFDb"},
        {"pair kept", pair, 128, pair},
        {"cut, never inside a pair", u"ab" + pair, 3, u"ab..."},
        {"cut long field", WString(300, u'x'), 128, WString(128, u'x') + u"..."},
    };
    for (const auto& row : rows) EXPECT_EQ(EscapeText(row.in, row.limit), row.out) << row.name;
}

TEST_F(DiagnosisTest, namesEachPortsDevice_theSystemsMessage_andWhatTheExchangeDid) {
    DeviceIdentity maker;
    maker.vendorId = u"1a86";
    maker.productId = u"7584";
    maker.manufacturer = u"Evil\x1b]0;owned\x07";
    maker.product = u"Cutter";
    maker.route = u"usblp";
    AddPort("closed", {{}, u"The system cannot find the path specified.", u"Plug it in again."}, maker);
    AddPort("silent", {}, maker);
    AddPort("talks", {{std::string("1,2,\x1b[31m", 9)}});
    const Diagnosis d = Diagnose();
    const std::string s = Text(d);
    EXPECT_FALSE(HasControlBesidesNewline(s)) << s;
    EXPECT_EQ(s.rfind("Laser Diagnostic Tool " + std::string(kProductVersion) + ": diagnosis\nSystem: TestOS 1\nTime: ",
                      0),
              0u)
        << s;
    for (const char* expected : {
             "Port 1: closed\n  USB id: 1a86:7584\n  Manufacturer: Evil\\x1b]0;owned\\x07\n  Product: Cutter\n"
             "  Route: usblp\n  Result: cannot open: The system cannot find the path specified.\n  What to do: Plug it in again.\n",
             "Port 2: silent\n  USB id: 1a86:7584\n",
             "  Result: opened; wrote 5 bytes, no reply within 1 s (",
             "Port 3: talks\n  Result: opened; wrote 5 bytes, read 9 bytes (",
             "  Reply: 1,2,\\x1b[31m\n  Reply (hex): 31 2c 32 2c 1b 5b 33 31 6d\n",
         })
        EXPECT_NE(s.find(expected), std::string::npos) << expected << "\nin\n" << s;

    const std::string json = ReportJson(d, data);
    EXPECT_FALSE(HasControlBesidesNewline(json));
    for (const char* expected : {
             "\"manufacturer\": \"Evil\\u001b]0;owned\\u0007\"",
             "\"error\": \"The system cannot find the path specified.\", \"remedy\": \"Plug it in again.\", "
             "\"written\": 0, \"received\": 0",
             "{\"path\": \"silent\", \"opened\": true, \"answered\": false, \"identity\": {\"vendorId\": \"1a86\"",
             "\"error\": null, \"remedy\": null, \"written\": 5, \"received\": 0",
             "\"written\": 5, \"received\": 9",
             "\"replyHex\": \"31 2c 32 2c 1b 5b 33 31 6d\"",
             "\"location\": \"\", \"route\": \"usblp\"}",
             "\"location\": \"\"}, \"error\": null",
             "\"fallback\": [],\n \"portless\": [],\n \"system\": \"TestOS 1\"",
         })
        EXPECT_NE(json.find(expected), std::string::npos) << expected << "\nin\n" << json;
}

TEST_F(DiagnosisTest, identifiesListedSlotsOnly_andRecordsTheFallbackNamesTried) {
    bus.interfaces.push_back({InterfaceQuery::DetailFailed, ""});
    AddPort("p1", {});
    Diagnose();
    EXPECT_EQ(bus.identified, std::vector<unsigned>{1});

    bus = {};
    bus.devices["\\\\.\\KORVA0"] = {};
    const Diagnosis d = Diagnose();
    ASSERT_EQ(d.refresh.fallback.size(), 2u);
    EXPECT_TRUE(d.refresh.fallback[0].opened);
    EXPECT_FALSE(d.refresh.fallback[1].opened);
    EXPECT_EQ(d.refresh.fallback[1].reason, u"No such file or directory");
    const std::string s = Text(d);
    EXPECT_NE(s.find("No printer-class port; the machine device names tried:\n  \\\\.\\KORVA0: opened\n"
                     "  \\\\.\\KORVA1: cannot open: No such file or directory\n"),
              std::string::npos)
        << s;
}

TEST_F(DiagnosisTest, noConnectionBox_namesEachPortlessDevice_itsCauseAndRemedy) {
    DeviceIdentity id;
    id.vendorId = u"1a86";
    id.productId = u"7584";
    id.manufacturer = u"Maker";
    id.product = u"Laser\r\nFAKE LINE";
    bus.portless.push_back({id, u"The usblp driver is not loaded.", u"Run: sudo modprobe usblp"});
    const Diagnosis d = Diagnose();
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(prompts.errors[0], WString(kNoConnectionText) +
                                     u"\n\nMaker Laser\\x0d\\x0aFAKE LINE (USB 1a86:7584) is plugged in but has no "
                                     u"port. The usblp driver is not loaded.\nRun: sudo modprobe usblp");
    EXPECT_NE(Text(d).find("Printer-class devices without a port:\n- Maker Laser"), std::string::npos);
    EXPECT_NE(ReportJson(d, data).find("\"cause\": \"The usblp driver is not loaded.\""), std::string::npos);

    bus.portless.clear();  // the Windows case: the box is as it always was
    Diagnose();
    EXPECT_EQ(prompts.errors.back(), kNoConnectionText);

    // Many: the box names a few and counts the rest (or the count a bounded
    // scan gives); the diagnosis names them all.
    bus.portless.assign(5, {id, {}, {}});
    const std::string all = Text(Diagnose());
    const WString box = prompts.errors.back();
    const WString more = u"\n\n\u2026 and 2 more.";
    EXPECT_EQ(box.substr(box.size() - more.size()), more);
    EXPECT_EQ(std::count(box.begin(), box.end(), u'\n'), 2 * 4);
    std::size_t named = 0;
    for (std::size_t at = 0; (at = all.find("\n- Maker Laser", at)) != std::string::npos; ++at) ++named;
    EXPECT_EQ(named, 5u);
    // A bounded scan's count: the box and the diagnosis count those not listed.
    Diagnosis counted;
    counted.refresh.portless = {{id, {}, {}}};
    counted.refresh.portlessCount = 10;
    const WString few = PortlessText(counted.refresh.portless, counted.refresh.portlessCount);
    EXPECT_EQ(few.substr(few.rfind(u'\n') + 1), u"\u2026 and 7 more.");
    EXPECT_NE(Text(counted).find("- Maker Laser"), std::string::npos);
    EXPECT_NE(Text(counted).find("\u2026 and 9 more.\n"), std::string::npos) << Text(counted);
}

// Where the bus has no fixed device names (Linux), none is tried or named.
TEST_F(DiagnosisTest, busWithoutFallbackNames_triesAndNamesNone) {
    bus.fallbackNames = false;
    const Diagnosis d = Diagnose();
    EXPECT_TRUE(bus.opens.empty());
    EXPECT_TRUE(d.refresh.noConnection);
    EXPECT_EQ(prompts.errors, std::vector<WString>{kNoConnectionText});
    const std::string s = Text(d);
    EXPECT_NE(s.find("Printer-class ports: 0\n\nNo machine was found.\n"), std::string::npos) << s;
    EXPECT_EQ(s.find("KORVA"), std::string::npos) << s;
    EXPECT_NE(ReportJson(d, data).find("\"fallback\": [],"), std::string::npos);
}

TEST_F(DiagnosisTest, emptyBoxesHint_saysWhatTheRefreshFound) {
    const struct {
        const char* name;
        std::function<void(DiagnosisTest&)> setUp;
        const char16_t* hint;
    } rows[] = {
        {"nothing", [](DiagnosisTest&) {}, u"No machine was found on USB."},
        {"portless",
         [](DiagnosisTest& t) { t.bus.portless.push_back({}); },
         u"A printer-class device is plugged in, but it has no port."},
        {"one unopened", [](DiagnosisTest& t) { t.AddPort("a", {{}, u"Access is denied."}); },
         u"1 printer-class port found; it could not be opened."},
        {"one silent", [](DiagnosisTest& t) { t.AddPort("a", {}); },
         u"1 printer-class port found; it did not answer within 1 s."},
        {"three, two opened, silent",
         [](DiagnosisTest& t) {
             t.AddPort("a", {});
             t.AddPort("b", {{}, u"Access is denied."});
             t.AddPort("c", {});
         },
         u"3 printer-class ports found; 2 opened, none answered within 1 s."},
        {"answered without values", [](DiagnosisTest& t) { t.AddPort("a", {{"no commas"}}); },
         u"1 printer-class port found; its reply held no values."},
        {"fallback silent", [](DiagnosisTest& t) { t.bus.devices["\\\\.\\KORVA1"] = {}; },
         u"The machine device \\\\.\\KORVA1 did not answer within 1 s."},
        {"fallback probe only", [](DiagnosisTest& t) { t.bus.devices["\\\\.\\KORVA0"] = {}; },
         u"Only the machine device \\\\.\\KORVA0 opened; nothing was sent."},
        {"values", [](DiagnosisTest& t) { t.AddPort("a", {{"1,2,"}}); }, nullptr},
    };
    for (const auto& row : rows) {
        bus = {};
        row.setUp(*this);
        const Diagnosis d = Diagnose();
        const WString hint = EmptyBoxesHint(d.refresh, data.Available());
        if (!row.hint)
            EXPECT_TRUE(hint.empty()) << row.name;
        else
            EXPECT_EQ(hint, row.hint + WString(u"\nCtrl+Shift+C copies the details.")) << row.name;
    }
}

TEST(DiagnosisTime, civilDatesInUtc) {
    const struct {
        long long seconds;
        const char16_t* text;
    } rows[] = {
        {0, u"1970-01-01 00:00:00 UTC"},
        {951868799, u"2000-02-29 23:59:59 UTC"},
        {1796719201, u"2026-12-08 08:40:01 UTC"},
        {-1, u"1969-12-31 23:59:59 UTC"},
    };
    for (const auto& row : rows) EXPECT_EQ(UtcTimeText(row.seconds), row.text) << row.seconds;
}

#include "app/HistoryCommand.h"
#include "app/ReportCommand.h"
#include "fakes/Fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

using namespace ldt;

namespace {

struct ReportCmd : ::testing::Test {
    fakes::FakeBus bus;
    fakes::FakeClock clock;
    fakes::Latin1CodePage codePage;
    std::ostringstream out, err;
    int Run(std::vector<std::string> args = {}) {
        return RunReportCommand(args, bus, clock, codePage, out, err, u"TestOS");
    }
};

}  // namespace

TEST_F(ReportCmd, machineAnswers_printsTheSixteenLines_exitsZero) {
    bus.interfaces.push_back({InterfaceQuery::Ok, "p0"});
    bus.devices["p0\\"] = {{"0,1,2,3,4,5,6,7,8,9,10,11,12,13,Left  1,Up    2,16,"}};
    EXPECT_EQ(Run(), 0);
    const std::string s = out.str();
    EXPECT_EQ(std::count(s.begin(), s.end(), '\n'), 16);
    EXPECT_EQ(s.find('\r'), std::string::npos);
    EXPECT_EQ(s.rfind("Firmware_Ver: 1\nFPGA_Ver: 0\n", 0), 0u);
    EXPECT_NE(s.find("Image Offset Tuning  _Y: Up    2\n"), std::string::npos);
    EXPECT_TRUE(err.str().empty());
}

// Without a report, the reason goes to the error stream alone.
TEST_F(ReportCmd, noReport_exitsNonZero_withTheReasonOnTheErrorStream) {
    const struct {
        bool listed;
        fakes::FakeBus::DeviceScript device;
        int exitCode;
        std::string err;
    } cases[] = {
        {false, {}, kReportNoMachine,
         "USB connection is not detected.  Please check the USB connection and USB settings.\n"},
        {true, {}, kReportNoAnswer, kNoDataFromPortsText},
        {true, {{}, u"Permission denied", u"Join the group lp."}, kReportNoAnswer,
         "Cannot open /dev/usb/lp0: Permission denied.\nJoin the group lp.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.err);
        bus = {};
        out.str("");
        err.str("");
        if (c.listed) bus.interfaces.push_back({InterfaceQuery::Ok, "/dev/usb/lp0"});
        bus.devices["/dev/usb/lp0\\"] = c.device;
        EXPECT_EQ(Run(), c.exitCode);
        EXPECT_EQ(err.str(), c.err);
        EXPECT_TRUE(out.str().empty());
        // --json still prints an object, with the same exit status.
        out.str("");
        EXPECT_EQ(Run({"--json"}), c.exitCode);
        EXPECT_EQ(out.str().rfind("{\n \"version\": ", 0), 0u) << out.str();
        EXPECT_NE(out.str().find("\"fallback\": "), std::string::npos);
    }
}

TEST_F(ReportCmd, helpAndVersion_anyOtherArgumentIsAUsageError) {
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_EQ(out.str().rfind("Usage: ldt-report", 0), 0u);
    out.str("");
    EXPECT_EQ(Run({"--version"}), 0);
    EXPECT_EQ(out.str(), std::string("ldt-report ") + LDT_PRODUCT_VERSION + "\n");
    EXPECT_TRUE(bus.opens.empty());
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--port"}, {"--json", "--version"}})
        EXPECT_EQ(Run(args), kReportUsage) << args[0];
    EXPECT_NE(err.str().find("Usage"), std::string::npos);
}

TEST_F(ReportCmd, json_holdsTheLabelledReport_theRawFields_andEveryPort) {
    bus.interfaces.push_back({InterfaceQuery::Ok, "p0"});
    bus.interfaces.push_back({InterfaceQuery::Ok, "quiet"});
    bus.interfaces.push_back({InterfaceQuery::Ok, "gone"});
    bus.devices["p0\\"] = {{"0,1,2,3,4,5,6,7,8,9,10,11,12,13,Left  1,Up    2,\"q\"\\\x01,tail"}};
    bus.devices["quiet\\"] = {};
    EXPECT_EQ(Run({"--json"}), 0);
    const std::string s = out.str();
    EXPECT_EQ(s.rfind(std::string("{\n \"version\": \"") + LDT_PRODUCT_VERSION + "\",\n \"report\": [\n  {", 0), 0u) << s;
    EXPECT_NE(s.find("{\"label\": \"Firmware_Ver\", \"value\": \"1\"}"), std::string::npos);
    EXPECT_NE(s.find("{\"label\": \"Image Offset Tuning  _X\", \"value\": \"Left  1\"}"), std::string::npos);
    EXPECT_NE(s.find("{\"label\": \"Vector Mode\", \"value\": \"\\\"q\\\"\\\\\\u0001\"}"), std::string::npos);
    EXPECT_NE(s.find("\"fields\": [\n  \"0\",\n  \"1\",\n  \"2\""), std::string::npos);
    EXPECT_NE(s.find("\"13\",\n  \"Left  1\",\n  \"Up    2\",\n  \"\\\"q\\\"\\\\\\u0001\"\n ]"), std::string::npos);
    // The keys every port had keep their order; what is new follows them.
    EXPECT_NE(s.find("{\"path\": \"p0\", \"opened\": true, \"answered\": true, \"identity\": {"), std::string::npos);
    EXPECT_NE(s.find("{\"path\": \"quiet\", \"opened\": true, \"answered\": false, \"identity\": {"),
              std::string::npos);
    EXPECT_NE(s.find("{\"path\": \"gone\", \"opened\": false, \"answered\": false, \"identity\": {"),
              std::string::npos);
    EXPECT_NE(s.find("\"error\": \"No such file or directory\", \"remedy\": null, \"written\": 0, \"received\": 0"),
              std::string::npos);
    EXPECT_NE(s.find("\"error\": null, \"remedy\": null, \"written\": 5, \"received\": 0, \"elapsedMs\": "),
              std::string::npos);
    EXPECT_NE(s.find(" ],\n \"fallback\": [],\n \"portless\": [],\n \"system\": \"TestOS\",\n \"time\": \""),
              std::string::npos)
        << s;
    EXPECT_EQ(s.substr(s.size() - 8), " UTC\"\n}\n");
    EXPECT_EQ(std::count(s.begin(), s.end(), '{'), 1 + 16 + 3 * 2);
}

TEST_F(ReportCmd, diagnose_printsTheDiagnosisOnly_withTheUsualExitCodes) {
    const struct {
        const char* name;
        std::function<void(fakes::FakeBus&)> setUp;
        int exitCode;
        const char* shows;
    } rows[] = {
        {"answers",
         [](fakes::FakeBus& b) {
             b.interfaces.push_back({InterfaceQuery::Ok, "p0"});
             b.devices["p0\\"] = {{"1,2,"}};
         },
         kReportOk, "  Result: opened; wrote 5 bytes, read 4 bytes ("},
        {"silent",
         [](fakes::FakeBus& b) {
             b.interfaces.push_back({InterfaceQuery::Ok, "p0"});
             b.devices["p0\\"] = {};
         },
         kReportNoAnswer, "  Result: opened; wrote 5 bytes, no reply within 1 s ("},
        {"nothing", [](fakes::FakeBus&) {}, kReportNoMachine, "\\\\.\\KORVA1: cannot open: No such file or directory\n"},
    };
    for (const auto& row : rows) {
        bus = {};
        out.str("");
        err.str("");
        row.setUp(bus);
        EXPECT_EQ(Run({"--diagnose"}), row.exitCode) << row.name;
        const std::string s = out.str();
        EXPECT_EQ(s.rfind("Laser Diagnostic Tool ", 0), 0u) << row.name;
        EXPECT_NE(s.find("System: TestOS\n"), std::string::npos) << row.name;
        EXPECT_NE(s.find(row.shows), std::string::npos) << row.name << "\n" << s;
        EXPECT_EQ(s.find("Firmware_Ver"), std::string::npos) << row.name << ": no report lines";
    }
}

TEST(HistoryOptions, takesTheHistoryArgumentsAndRefusesBadMixes) {
    const struct {
        std::vector<std::string> args;
        bool ok;
        HistoryOptions::Mode mode;
        std::size_t count;
        std::vector<std::string> rest;
    } rows[] = {
        {{"--json", "--no-history"}, true, HistoryOptions::Mode::Report, 10, {"--json"}},
        {{"--history"}, true, HistoryOptions::Mode::History, 10, {}},
        {{"--history", "3", "--all"}, true, HistoryOptions::Mode::History, 3, {}},
        {{"--changes"}, true, HistoryOptions::Mode::Changes, 10, {}},
        {{"--csv", "--changes"}, false, {}, 0, {}},
        {{"--all"}, false, {}, 0, {}},
        {{"--history", "0"}, false, {}, 0, {}},
        {{"--csv", "--json"}, false, {}, 0, {}},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = row.args;
        HistoryOptions options;
        ASSERT_EQ(TakeHistoryOptions(args, options), row.ok) << row.args[0];
        if (!row.ok) continue;
        EXPECT_EQ(options.mode, row.mode);
        EXPECT_EQ(options.count, row.count);
        EXPECT_EQ(args, row.rest);
    }
}

TEST(Csv, quotesAndDefusesFormulas) {
    const std::pair<WString, std::string> rows[] = {
        {u"plain", "plain"},          {u"=1+2", "'=1+2"},         {u"+1", "'+1"},
        {u"-1", "'-1"},               {u"@SUM(A1)", "'@SUM(A1)"}, {u"\tx", "'\tx"},
        {u"\rx", "\"'\rx\""},         {u"a,b", "\"a,b\""},        {u"say \"hi\"", "\"say \"\"hi\"\"\""},
        {u"line\nbreak", "\"line\nbreak\""}, {u"Left  12", "Left  12"}, {u"\u00e9", "\xc3\xa9"},
        {u"a\x1b[2Jb\u202e", "a\\x1b[2Jb\\u202e"},
    };
    for (const auto& [value, field] : rows) EXPECT_EQ(CsvField(value), field);
}

TEST_F(ReportCmd, history_changesAndJsonCompareWithThePreviousReading) {
    fakes::FakeHistory history;
    DeviceIdentity id;
    id.serial = u"S1";
    const auto run = [&](std::string reply, std::vector<std::string> args) {
        bus = {};
        bus.interfaces.push_back({InterfaceQuery::Ok, "p0", {}, id});
        bus.devices["p0\\"] = {{reply}};
        out.str("");
        return RunReportCommand(args, bus, clock, codePage, out, err, u"TestOS", &history);
    };
    EXPECT_EQ(run("a,62,", {"--changes"}), 0);
    EXPECT_EQ(out.str(), "sn:::S1 on p0\n  first reading\n");
    EXPECT_EQ(run("a,55,", {"--json"}), 0);
    EXPECT_NE(out.str().find(R"("key": "sn:::S1", "firstReading": false, "changes": [{"field": "Firmware_Ver", "was": "62", "now": "55", "since": )"),
              std::string::npos) << out.str();
    EXPECT_EQ(run("a,55,", {"--changes", "--no-history"}), 0);
    EXPECT_EQ(out.str().rfind("sn:::S1 on p0\n  no change since ", 0), 0u) << out.str();
    EXPECT_EQ(run("a,55,", {"--history", "5"}), 0);
    const std::string text = out.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3 * 17);
}

#include "app/ReportCommand.h"
#include "fakes/Fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

using namespace ldt;

namespace {

struct ReportCmd : ::testing::Test {
    fakes::FakeBus bus;
    fakes::FakeClock clock;
    fakes::Latin1CodePage codePage;
    std::ostringstream out, err;
    int Run(std::vector<std::string> args = {}) { return RunReportCommand(args, bus, clock, codePage, out, err); }
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

TEST_F(ReportCmd, noMachine_printsTheNoConnectionText_exitsNonZero) {
    EXPECT_EQ(Run(), kReportNoMachine);
    EXPECT_EQ(err.str(), "USB connection is not detected.  Please check the USB connection and USB settings.\n");
    EXPECT_TRUE(out.str().empty());
}

TEST_F(ReportCmd, portsWithoutData_saysSo_exitsNonZero) {
    bus.interfaces.push_back({InterfaceQuery::Ok, "p0"});
    bus.devices["p0\\"] = {};
    EXPECT_EQ(Run(), kReportNoAnswer);
    EXPECT_EQ(err.str(), kNoDataFromPortsText);
}

TEST_F(ReportCmd, helpOnly_anyOtherArgumentIsAUsageError) {
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(out.str().find("Usage: ldt-report"), std::string::npos);
    EXPECT_TRUE(bus.opens.empty());
    EXPECT_EQ(Run({"--port"}), kReportUsage);
    EXPECT_NE(err.str().find("Usage"), std::string::npos);
}

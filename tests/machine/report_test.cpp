#include "fakes/Fakes.h"
#include "machine/Report.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace ldt;
using fakes::Narrow;
using fakes::Widen;

namespace {

MachineData Numbered(int fields) {
    MachineData data;
    for (int i = 0; i < fields; ++i) data.Append(Widen("v" + std::to_string(i)));
    return data;
}

const char kExpectedReport[] =
    "Firmware_Ver: v1\r\n"
    "FPGA_Ver: v0\r\n"
    "File Speed: v3\r\n"
    "File Power: v4\r\n"
    "File Dpi: v5\r\n"
    "File PPI: v6\r\n"
    "Laser Tube Model: v2\r\n"
    "Vector Mode: v16\r\n"
    "Select Lens: v7\r\n"
    "Carriage Free: v8\r\n"
    "Usb Setup Wizard: v9\r\n"
    "Focus Distance: v10\r\n"
    "Scaling  _X: v12\r\n"
    "Scaling  _Y: v13\r\n"
    "Image Offset Tuning  _X: v14\r\n"
    "Image Offset Tuning  _Y: v15\r\n";

struct SaveFixture : ::testing::Test {
    fakes::FakePrompts prompts;
    fakes::Latin1CodePage codePage;
    fakes::FakeFiles files;
    MachineData data = Numbered(17);
    void Save() { SaveReport(data, prompts, codePage, files); }
};

}  // namespace

TEST(Report, sixteenLabelledLinesInFileOrder_positionElevenNeverWritten) {
    EXPECT_EQ(BuildReport(Numbered(17), fakes::Latin1CodePage()), kExpectedReport);
}

TEST(Report, missingPositionsAreWrittenAsEmptyValues) {
    const auto lines = ReportLines(Numbered(3));
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(Narrow(lines[0]), "Firmware_Ver: v1\r\n");
    EXPECT_EQ(Narrow(lines[7]), "Vector Mode: \r\n");
    EXPECT_EQ(Narrow(lines[15]), "Image Offset Tuning  _Y: \r\n");
}

TEST(Report, longLineIsWrittenWhole) {
    MachineData data = Numbered(2);
    data.Append(WString(90, u'M'));
    const std::string report = BuildReport(data, fakes::Latin1CodePage());
    EXPECT_NE(report.find("Laser Tube Model: " + std::string(90, 'M') + "\r\n"), std::string::npos);
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 16);
}

TEST(ReportFileName, alwaysEndsInDotTxt_testIsCaseSensitive) {
    EXPECT_EQ(Narrow(ReportFileName(u"report")), "report.txt");
    EXPECT_EQ(Narrow(ReportFileName(u"report.txt")), "report.txt");
    EXPECT_EQ(Narrow(ReportFileName(u"REPORT.TXT")), "REPORT.TXT.txt");
    EXPECT_EQ(Narrow(ReportFileName(u"C:\\dir.txt\\r.txt.txt")), "C:\\dir.txt\\r.txt.txt");
    EXPECT_EQ(Narrow(ReportFileName(u".txt")), ".txt");
    EXPECT_EQ(Narrow(ReportFileName(u"")), ".txt");
}

TEST_F(SaveFixture, noData_showsTheNoDataBoxOnly) {
    data.Clear();
    Save();
    ASSERT_EQ(prompts.errors.size(), 1u);
    EXPECT_EQ(Narrow(prompts.errors[0]),
              "Machine data is not available.  File will not be saved. \n\r"
              "Please press the <Refresh> button toget machine data.");
    EXPECT_EQ(prompts.saveAsked, 0);
    EXPECT_EQ(files.writes, 0);
}

TEST_F(SaveFixture, cancelledSaveAs_touchesNothing) {
    prompts.savePath.reset();
    Save();
    EXPECT_EQ(prompts.saveAsked, 1);
    EXPECT_EQ(files.writes, 0);
    EXPECT_TRUE(prompts.errors.empty());
}

TEST_F(SaveFixture, chosenNameGetsTxt_andHoldsTheReport) {
    prompts.savePath = u"C:\\out\\report";
    Save();
    ASSERT_EQ(files.files.count("C:\\out\\report.txt"), 1u);
    EXPECT_EQ(files.files["C:\\out\\report.txt"], kExpectedReport);
    EXPECT_TRUE(prompts.errors.empty());
}

TEST_F(SaveFixture, openFailure_showsTheFileErrorWithItsCause) {
    prompts.savePath = u"held.txt";
    files.next = {ReportWriteResult::OpenFailed, u"Cannot open held.txt: in use"};
    Save();
    EXPECT_EQ(prompts.fileErrors, std::vector<WString>{u"Cannot open held.txt: in use"});
    EXPECT_TRUE(prompts.errors.empty());
}

TEST_F(SaveFixture, writeFailure_isReportedInAnErrorBox) {
    prompts.savePath = u"full.txt";
    files.next = {ReportWriteResult::WriteFailed, u"Cannot write full.txt: disk full"};
    Save();
    EXPECT_EQ(prompts.errors, std::vector<WString>{u"Cannot write full.txt: disk full"});
    EXPECT_TRUE(prompts.fileErrors.empty());
}

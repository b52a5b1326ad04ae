#include "platform/win32/Win32ReportFile.h"

#include "Win32TestSupport.h"

#include <gtest/gtest.h>

namespace ldt {
namespace {

using testing::ReadAll;
using testing::ScratchDir;
using testing::W;

std::string AllByteValues() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
    return bytes + "Firmware_Ver: V2.31\r\nFPGA_Ver: 1.07\r\n";
}

bool StartsWith(const WString& s, const WString& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

TEST(Win32ReportFile, WritesExactBytesToNewFile) {
    ScratchDir dir;
    const std::wstring file = dir.Join(L"report.txt");
    const std::string bytes = AllByteValues();
    const ReportWriteResult r = Win32ReportFile().WriteWhole(W(file), bytes);
    EXPECT_EQ(r.status, ReportWriteResult::Written);
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(ReadAll(file), bytes);
    EXPECT_EQ(dir.Files(), std::vector<std::wstring>{L"report.txt"});
}

TEST(Win32ReportFile, EmptyAndLargeContent) {
    ScratchDir dir;
    const std::wstring file = dir.Join(L"r.txt");
    ASSERT_EQ(Win32ReportFile().WriteWhole(W(file), "").status, ReportWriteResult::Written);
    EXPECT_EQ(ReadAll(file), "");
    std::string big;
    for (int i = 0; big.size() < 3u * 1024 * 1024 + 17; ++i) big += std::to_string(i) + ",";
    ASSERT_EQ(Win32ReportFile().WriteWhole(W(file), big).status, ReportWriteResult::Written);
    EXPECT_EQ(ReadAll(file), big);
    EXPECT_EQ(dir.Files(), std::vector<std::wstring>{L"r.txt"});
}

TEST(Win32ReportFile, ReplacesExistingFileWhole) {
    ScratchDir dir;
    const std::wstring file = dir.Join(L"report.txt");
    ASSERT_TRUE(testing::WriteFileBytes(file, std::string(5000, 'o')));
    const ReportWriteResult r = Win32ReportFile().WriteWhole(W(file), "new\r\n");
    EXPECT_EQ(r.status, ReportWriteResult::Written);
    EXPECT_EQ(ReadAll(file), "new\r\n");
    EXPECT_EQ(dir.Files(), std::vector<std::wstring>{L"report.txt"});
}

TEST(Win32ReportFile, RelativeName) {
    ScratchDir dir;
    wchar_t previous[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
    const ReportWriteResult r = Win32ReportFile().WriteWhole(u"plain.txt", "x\r\n");
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(r.status, ReportWriteResult::Written);
    EXPECT_EQ(ReadAll(dir.Join(L"plain.txt")), "x\r\n");
    EXPECT_EQ(dir.Files(), std::vector<std::wstring>{L"plain.txt"});
}

TEST(Win32ReportFile, FileHeldOpenByAnotherHandleIsUntouched) {
    ScratchDir dir;
    const std::wstring file = dir.Join(L"held.txt");
    const std::string old = "old content\r\n";
    ASSERT_TRUE(testing::WriteFileBytes(file, old));
    win32::UniqueHandle holder(
        CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.Valid());

    const ReportWriteResult r = Win32ReportFile().WriteWhole(W(file), "new bytes\r\n");
    EXPECT_EQ(r.status, ReportWriteResult::OpenFailed);
    EXPECT_TRUE(StartsWith(r.message, u"Cannot open " + W(file) + u".\r\n"));
    EXPECT_GT(r.message.size(), (u"Cannot open " + W(file) + u".\r\n").size());  // the cause follows
    holder.Close();

    EXPECT_EQ(ReadAll(file), old);
    EXPECT_EQ(dir.Files(), std::vector<std::wstring>{L"held.txt"});
}

TEST(Win32ReportFile, MissingDirectoryGivesOpenFailed) {
    ScratchDir dir;
    const std::wstring file = dir.Join(L"no-such-dir\\report.txt");
    const ReportWriteResult r = Win32ReportFile().WriteWhole(W(file), "x");
    EXPECT_EQ(r.status, ReportWriteResult::OpenFailed);
    EXPECT_TRUE(StartsWith(r.message, u"Cannot open " + W(file) + u".\r\n"));
    EXPECT_FALSE(testing::Exists(dir.Join(L"no-such-dir")));
    EXPECT_TRUE(dir.Files().empty());
}

TEST(Win32ReportFile, DirectoryNameGivesOpenFailed) {
    ScratchDir dir;
    ASSERT_TRUE(CreateDirectoryW(dir.Join(L"sub.txt").c_str(), nullptr));
    const ReportWriteResult r = Win32ReportFile().WriteWhole(W(dir.Join(L"sub.txt")), "x");
    RemoveDirectoryW(dir.Join(L"sub.txt").c_str());
    EXPECT_EQ(r.status, ReportWriteResult::OpenFailed);
    EXPECT_TRUE(dir.Files().empty());
}

TEST(Win32ReportFile, DeviceNameGivesOpenFailed) {
    const ReportWriteResult r = Win32ReportFile().WriteWhole(u"NUL", "x");
    EXPECT_EQ(r.status, ReportWriteResult::OpenFailed);
    EXPECT_TRUE(StartsWith(r.message, u"Cannot open NUL.\r\n"));
}

}  // namespace
}  // namespace ldt

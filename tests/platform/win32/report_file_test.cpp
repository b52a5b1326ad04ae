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

// Every temporary name beside the target taken (by directories): the target
// opens, the new content has nowhere to go.
class TemporaryNamesTaken : public ::testing::Test {
protected:
    void SetUp() override {
        target_ = dir_.Join(L"report.txt");
        for (unsigned i = 0; i < Win32ReportFile::kTemporaryAttempts; ++i) {
            blockers_.push_back(win32::ToWin(Win32ReportFile::TemporaryName(W(target_), i)));
            ASSERT_TRUE(CreateDirectoryW(blockers_.back().c_str(), nullptr));
        }
    }
    void TearDown() override {
        for (const std::wstring& b : blockers_) RemoveDirectoryW(b.c_str());
    }
    ScratchDir dir_;
    std::wstring target_;
    std::vector<std::wstring> blockers_;
};

TEST_F(TemporaryNamesTaken, NewFileIsNotLeftBehind) {
    const ReportWriteResult r = Win32ReportFile().WriteWhole(W(target_), "x\r\n");
    EXPECT_EQ(r.status, ReportWriteResult::WriteFailed);
    EXPECT_TRUE(StartsWith(r.message, u"Cannot write " + W(target_) + u".\r\n"));
    EXPECT_TRUE(dir_.Files().empty());
}

TEST_F(TemporaryNamesTaken, ExistingFileKeepsItsBytes) {
    ASSERT_TRUE(testing::WriteFileBytes(target_, "old\r\n"));
    const ReportWriteResult r = Win32ReportFile().WriteWhole(W(target_), "new\r\n");
    EXPECT_EQ(r.status, ReportWriteResult::WriteFailed);
    EXPECT_EQ(ReadAll(target_), "old\r\n");
    EXPECT_EQ(dir_.Files(), std::vector<std::wstring>{L"report.txt"});
}

TEST_F(TemporaryNamesTaken, OneFreeNameIsEnough) {
    RemoveDirectoryW(blockers_.back().c_str());
    blockers_.pop_back();
    ASSERT_EQ(Win32ReportFile().WriteWhole(W(target_), "new\r\n").status, ReportWriteResult::Written);
    EXPECT_EQ(ReadAll(target_), "new\r\n");
    EXPECT_EQ(dir_.Files(), std::vector<std::wstring>{L"report.txt"});
}

// Deeper than the classic MAX_PATH limit. Whether such a path opens depends
// on the platform; either way nothing is corrupted or left behind.
TEST(Win32ReportFile, VeryLongPath) {
    ScratchDir dir;
    std::vector<std::wstring> created;
    std::wstring deep = dir.Path();
    while (deep.size() < MAX_PATH) {
        deep += L"\\" + std::wstring(40, L'd');
        if (!CreateDirectoryW(deep.c_str(), nullptr)) break;
        created.push_back(deep);
    }
    const std::wstring target = created.back() + L"\\report.txt";
    const ReportWriteResult r = Win32ReportFile().WriteWhole(W(target), "deep\r\n");
    std::vector<std::wstring> left;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((created.back() + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) left.push_back(found.cFileName);
        while (FindNextFileW(h, &found));
        FindClose(h);
    }
    if (r.status == ReportWriteResult::Written) {
        EXPECT_EQ(ReadAll(target), "deep\r\n");
        EXPECT_EQ(left, std::vector<std::wstring>{L"report.txt"});
    } else {
        EXPECT_TRUE(left.empty());
    }
    DeleteFileW(target.c_str());
    for (auto it = created.rbegin(); it != created.rend(); ++it) RemoveDirectoryW(it->c_str());
}

TEST(Win32ReportFile, DeviceNameGivesOpenFailed) {
    const ReportWriteResult r = Win32ReportFile().WriteWhole(u"NUL", "x");
    EXPECT_EQ(r.status, ReportWriteResult::OpenFailed);
    EXPECT_TRUE(StartsWith(r.message, u"Cannot open NUL.\r\n"));
}

}  // namespace
}  // namespace ldt

#include "platform/win32/Win32ReportFile.h"

#include "Win32TestSupport.h"

#include <gtest/gtest.h>

namespace ldt {
namespace {

using testing::ReadAll;
using testing::ScratchDir;
using testing::W;

bool StartsWith(const WString& s, const WString& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// New, then replaced by more, by less and by nothing: each time exactly the
// bytes given, and no other file beside it.
TEST(Win32ReportFile, WritesExactBytesNewOrReplacing) {
    ScratchDir dir;
    const std::wstring file = dir.Join(L"report.txt");
    std::string allByteValues;
    for (int i = 0; i < 256; ++i) allByteValues.push_back(static_cast<char>(i));
    std::string big;
    for (int i = 0; big.size() < 3u * 1024 * 1024 + 17; ++i) big += std::to_string(i) + ",";
    for (const std::string& bytes : {allByteValues + "Firmware_Ver: V2.31\r\n", big, std::string("new\r\n"),
                                     std::string()}) {
        SCOPED_TRACE(bytes.size());
        const ReportWriteResult r = Win32ReportFile().WriteWhole(W(file), bytes);
        EXPECT_EQ(r.status, ReportWriteResult::Written);
        EXPECT_TRUE(r.message.empty());
        EXPECT_EQ(ReadAll(file), bytes);
        EXPECT_EQ(dir.Files(), std::vector<std::wstring>{L"report.txt"});
    }
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
    EXPECT_TRUE(StartsWith(r.message, u"Cannot open " + W(file) + u": "));
    EXPECT_GT(r.message.size(), (u"Cannot open " + W(file) + u": .").size());  // the cause follows
    holder.Close();

    EXPECT_EQ(ReadAll(file), old);
    EXPECT_EQ(dir.Files(), std::vector<std::wstring>{L"held.txt"});
}

// Names that open no disk file: nothing is created, nothing is left.
TEST(Win32ReportFile, NamesThatAreNoFileGiveOpenFailed) {
    ScratchDir dir;
    ASSERT_TRUE(CreateDirectoryW(dir.Join(L"sub.txt").c_str(), nullptr));
    for (const std::wstring& name : {dir.Join(L"no-such-dir\\report.txt"), dir.Join(L"sub.txt"), std::wstring(L"NUL")}) {
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        const ReportWriteResult r = Win32ReportFile().WriteWhole(W(name), "x");
        EXPECT_EQ(r.status, ReportWriteResult::OpenFailed);
        EXPECT_TRUE(StartsWith(r.message, u"Cannot open " + W(name) + u": "));
    }
    EXPECT_FALSE(testing::Exists(dir.Join(L"no-such-dir")));
    EXPECT_TRUE(dir.Files().empty());
    RemoveDirectoryW(dir.Join(L"sub.txt").c_str());
}

// Every temporary name beside the target taken (by directories): the target
// opens, the new content has nowhere to go.
class TemporaryNamesTaken : public ::testing::Test {
protected:
    void SetUp() override {
        target_ = dir_.Join(L"report.txt");
        for (unsigned i = 0; i < Win32ReportFile::kTemporaryAttempts; ++i) {
            blockers_.push_back(dir_.Join(win32::ToWin(Win32ReportFile::TemporaryName(i))));
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
    EXPECT_TRUE(StartsWith(r.message, u"Cannot write " + W(target_) + u": "));
    EXPECT_TRUE(dir_.Files().empty());
}

TEST_F(TemporaryNamesTaken, ExistingFileIsRewrittenInPlace) {
    ASSERT_TRUE(testing::WriteFileBytes(target_, "old, longer than the new\r\n"));
    const ReportWriteResult r = Win32ReportFile().WriteWhole(W(target_), "new\r\n");
    EXPECT_EQ(r.status, ReportWriteResult::Written);
    EXPECT_EQ(ReadAll(target_), "new\r\n");
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
    const std::vector<std::wstring> left = testing::FilesIn(created.back());
    if (r.status == ReportWriteResult::Written) {
        EXPECT_EQ(ReadAll(target), "deep\r\n");
        EXPECT_EQ(left, std::vector<std::wstring>{L"report.txt"});
    } else {
        EXPECT_TRUE(left.empty());
    }
    DeleteFileW(target.c_str());
    for (auto it = created.rbegin(); it != created.rend(); ++it) RemoveDirectoryW(it->c_str());
}

DWORD FileIndex(const std::wstring& path) {
    win32::UniqueHandle file(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    GetFileInformationByHandle(file.Get(), &info);
    return info.nFileIndexLow;
}

TEST(Win32ReportFile, HardLinkedFileIsRewrittenItself) {
    ScratchDir dir;
    const std::wstring file = dir.Join(L"report.txt"), other = dir.Join(L"other-name.txt");
    ASSERT_TRUE(testing::WriteFileBytes(file, "old report, longer than the new one\r\n"));
    ASSERT_TRUE(CreateHardLinkW(other.c_str(), file.c_str(), nullptr));
    const DWORD index = FileIndex(file);
    ASSERT_EQ(Win32ReportFile().WriteWhole(W(file), "new\r\n").status, ReportWriteResult::Written);
    EXPECT_EQ(ReadAll(other), "new\r\n");
    EXPECT_EQ(FileIndex(file), index);
    EXPECT_EQ(dir.Files(), (std::vector<std::wstring>{L"other-name.txt", L"report.txt"}));
}

// Replaced through a temporary (the file changes identity), yet its
// attributes stay.
TEST(Win32ReportFile, ReplacedFileKeepsItsAttributes) {
    ScratchDir dir;
    const std::wstring file = dir.Join(L"report.txt");
    ASSERT_TRUE(testing::WriteFileBytes(file, "old\r\n"));
    const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), attributes));
    const DWORD index = FileIndex(file);
    ASSERT_EQ(Win32ReportFile().WriteWhole(W(file), "new\r\n").status, ReportWriteResult::Written);
    EXPECT_EQ(ReadAll(file), "new\r\n");
    EXPECT_NE(FileIndex(file), index);
    EXPECT_EQ(GetFileAttributesW(file.c_str()) & (attributes | FILE_ATTRIBUTE_READONLY), attributes);
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(dir.Files(), std::vector<std::wstring>{L"report.txt"});
}

template <DWORD kError>
BOOL WINAPI FailingReplace(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
    SetLastError(kError);
    return FALSE;
}

// A replace the system refuses for want of the right to remove the old file
// leaves it as it was: it is rewritten in place. Any other failure keeps the
// old content and says why.
TEST(Win32ReportFile, RefusedReplaceRewritesInPlace) {
    const struct {
        Win32ReportFile::ReplaceCall replace;
        ReportWriteResult::Status status;
        const char* content;
    } rows[] = {{&FailingReplace<ERROR_ACCESS_DENIED>, ReportWriteResult::Written, "new\r\n"},
                {&FailingReplace<ERROR_UNABLE_TO_REMOVE_REPLACED>, ReportWriteResult::Written, "new\r\n"},
                {&FailingReplace<ERROR_UNABLE_TO_MOVE_REPLACEMENT>, ReportWriteResult::WriteFailed, "old\r\n"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.content);
        ScratchDir dir;
        const std::wstring file = dir.Join(L"report.txt");
        ASSERT_TRUE(testing::WriteFileBytes(file, "old\r\n"));
        const DWORD index = FileIndex(file);
        const ReportWriteResult r = Win32ReportFile(row.replace).WriteWhole(W(file), "new\r\n");
        EXPECT_EQ(r.status, row.status);
        EXPECT_EQ(ReadAll(file), row.content);
        EXPECT_EQ(FileIndex(file), index);
        EXPECT_EQ(dir.Files(), std::vector<std::wstring>{L"report.txt"});
    }
}

TEST(Win32ReportFile, NamesUpToTheLimitAreSavedNewOrReplaced) {
    ScratchDir dir;
    for (const std::size_t length : {249u, 255u}) {
        const std::wstring file = dir.Join(std::wstring(length - 4, L'n') + L".txt");
        ASSERT_EQ(Win32ReportFile().WriteWhole(W(file), "first").status, ReportWriteResult::Written) << length;
        ASSERT_EQ(Win32ReportFile().WriteWhole(W(file), "second").status, ReportWriteResult::Written) << length;
        EXPECT_EQ(ReadAll(file), "second");
    }
    EXPECT_EQ(dir.Files().size(), 2u);
}

TEST(Win32ReportFile, KilledSavesTemporariesGoAfterTenMinutesOnlyOursAndOnlyUnheld) {
    ScratchDir dir;
    const std::vector<std::wstring> names = {L"~ldt0003.tmp", L"~ldt0004.tmp", L"~ldt0005.tmp", L"~ldt05.tmp",
                                             L"other.tmp"};
    const int agesInMinutes[] = {11, 9, 60, 60, 60};
    for (std::size_t i = 0; i < names.size(); ++i) {
        win32::UniqueHandle file(CreateFileW(dir.Join(names[i]).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        ULARGE_INTEGER t;
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        t.LowPart = now.dwLowDateTime;
        t.HighPart = now.dwHighDateTime;
        t.QuadPart -= ULONGLONG(agesInMinutes[i]) * 60 * 10'000'000;
        const FILETIME then{t.LowPart, t.HighPart};
        ASSERT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &then));
    }
    // Another instance still writing holds its temporary open.
    win32::UniqueHandle held(
        CreateFileW(dir.Join(names[2]).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.Valid());
    ASSERT_EQ(Win32ReportFile().WriteWhole(W(dir.Join(L"report.txt")), "x").status, ReportWriteResult::Written);
    held.Close();
    EXPECT_EQ(dir.Files(), (std::vector<std::wstring>{L"other.tmp", L"report.txt", L"~ldt0004.tmp",
                                                      L"~ldt0005.tmp", L"~ldt05.tmp"}));
}

}  // namespace
}  // namespace ldt

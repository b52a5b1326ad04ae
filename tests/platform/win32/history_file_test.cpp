#include "link/History.h"
#include "platform/win32/Win32HistoryFile.h"

#include "Win32TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace ldt {
namespace {

using testing::ReadAll;
using testing::ScratchDir;

std::string Line(const char16_t* key, long long n, std::size_t pad = 0) {
    HistoryRecord r;
    r.key = key;
    r.time = n;
    r.values = {WString(pad, u'x')};
    return HistoryLine(r);
}

// Two appenders with handles of their own at once (LockFileEx keeps them
// apart as it does two processes), then past the rotation.
TEST(Win32HistoryFile, ConcurrentAppendsStayWhole_RotationKeepsOneOlderFile) {
    ScratchDir dir;
    const auto append = [&](const char16_t* key, int count, std::size_t pad, int* failures) {
        Win32HistoryFile file(dir.Path());
        for (int i = 0; i < count; ++i) *failures += !file.Append(Line(key, i, pad)).empty();
    };
    int failuresA = 0, failuresB = 0;
    std::thread a(append, u"a", 200, 100, &failuresA), b(append, u"b", 200, 100, &failuresB);
    a.join();
    b.join();
    EXPECT_EQ(failuresA + failuresB, 0);
    Win32HistoryFile file(dir.Path());
    for (const char16_t* key : {u"a", u"b"}) {
        const std::vector<HistoryRecord> read = ReadHistory(file, {key}, 1000);
        ASSERT_EQ(read.size(), 200u);
        for (std::size_t i = 0; i < read.size(); ++i) EXPECT_EQ(read[i].time, static_cast<long long>(i));
    }

    // A torn last line does not swallow the next record.
    const std::wstring current = dir.Join(L"history.jsonl");
    HANDLE h = CreateFileW(current.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD written = 0;
    WriteFile(h, "{\"time\": 9", 10, &written, nullptr);
    CloseHandle(h);
    ASSERT_TRUE(file.Append(Line(u"c", 1)).empty());
    EXPECT_EQ(ReadHistory(file, {u"c"}, 5).size(), 1u);

    int failures = 0;
    append(u"d", static_cast<int>(kHistoryRotateBytes / Line(u"d", 0, 1000).size()) + 5, 1000, &failures);
    EXPECT_EQ(failures, 0);
    EXPECT_LE(ReadAll(current).size(), kHistoryRotateBytes);
    EXPECT_GT(ReadAll(dir.Join(L"history.1.jsonl")).size(), kHistoryRotateBytes / 2);
    EXPECT_EQ(file.Where(), win32::FromWin(current));
}

// The folder is made from the nearest one that exists, so a path under the
// long path prefix (made like a share's, \\server\share) works; without the
// profile's variables the folder is still the profile's, never the root.
TEST(Win32HistoryFile, FoldersMadeFromTheNearestExistingOne_ProfileFolderWithoutVariables) {
    ScratchDir dir;
    const std::wstring deep = dir.Join(L"a\\b");
    EXPECT_EQ(Win32HistoryFile(L"\\\\?\\" + deep).Append(Line(u"k", 1)), WString());
    Win32HistoryFile made(deep);
    EXPECT_EQ(ReadHistory(made, {u"k"}, 5).size(), 1u);
    for (const wchar_t* name : {L"history.jsonl", L"history.lock"}) DeleteFileW((deep + L"\\" + name).c_str());
    RemoveDirectoryW(deep.c_str());
    RemoveDirectoryW(dir.Join(L"a").c_str());

    wchar_t saved[2][MAX_PATH] = {};
    const wchar_t* names[] = {L"LOCALAPPDATA", L"USERPROFILE"};
    for (int i = 0; i < 2; ++i) {
        GetEnvironmentVariableW(names[i], saved[i], MAX_PATH);
        SetEnvironmentVariableW(names[i], nullptr);
    }
    const std::wstring where = win32::ToWin(Win32HistoryFile().Where());
    for (int i = 0; i < 2; ++i) SetEnvironmentVariableW(names[i], saved[i]);
    EXPECT_TRUE(where.size() > 3 && where[1] == L':' && where.find(L"\\Laser Diagnostic Tool\\") > 3)
        << where;
}

}  // namespace
}  // namespace ldt

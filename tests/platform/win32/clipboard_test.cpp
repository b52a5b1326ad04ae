// Win32Clipboard under Wine: what other programs read back, and a
// clipboard another thread holds open.

#include "platform/win32/Win32Clipboard.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <future>
#include <string>
#include <thread>

namespace ldt {
namespace {

std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return L"<not open>";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

struct ClipboardTest : ::testing::Test {
    HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    Win32Clipboard clipboard{owner};
    ~ClipboardTest() override { DestroyWindow(owner); }
};

TEST_F(ClipboardTest, PutsTheTextAsUnicodeText_lineBreaksKept_upToAnEmbeddedZero) {
    ASSERT_NE(owner, nullptr);
    const ClipboardResult put = clipboard.PutText(u"A: \u53C3\r\nB: 2\r\n");
    EXPECT_TRUE(put.copied) << std::string(put.why.begin(), put.why.end());
    EXPECT_EQ(ClipboardText(), L"A: \u53C3\r\nB: 2\r\n");
    EXPECT_TRUE(clipboard.PutText(WString(u"cut\0here", 8)).copied);
    EXPECT_EQ(ClipboardText(), L"cut");
}

TEST_F(ClipboardTest, AClipboardHeldOpenElsewhere_failsWithACause_andKeepsTheOldText) {
    ASSERT_TRUE(clipboard.PutText(u"old").copied);
    std::promise<void> opened, done;
    std::thread holder([&] {
        OpenClipboard(nullptr);
        opened.set_value();
        done.get_future().wait();
        CloseClipboard();
    });
    opened.get_future().wait();
    const ClipboardResult put = clipboard.PutText(u"new");
    done.set_value();
    holder.join();
    EXPECT_FALSE(put.copied);
    EXPECT_FALSE(put.why.empty());
    EXPECT_EQ(ClipboardText(), L"old");
}

}  // namespace
}  // namespace ldt

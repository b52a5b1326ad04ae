// Win32Prompts on a real (virtual) display: each test drives the modal
// window from a second thread, reads what it shows and dismisses it.

#include "platform/win32/Win32Prompts.h"

#include "Win32TestSupport.h"

#include <gtest/gtest.h>

#include <dlgs.h>

#include <atomic>
#include <functional>
#include <thread>

namespace ldt {
namespace {

using testing::W;

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

struct Search {
    HWND found, except;
};

BOOL CALLBACK FindDialog(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<Search*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (w != s->except && pid == GetCurrentProcessId() && IsWindowVisible(w) && ClassOf(w) == L"#32770") {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

// The first visible dialog-class window of this process other than
// `except`, waiting up to 10 s (or `tries` times 50 ms).
HWND WaitForDialog(HWND except = nullptr, int tries = 200) {
    Search search{nullptr, except};
    for (int i = 0; i < tries && !search.found; ++i) {
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Sleep(50);
    }
    return search.found;
}

BOOL CALLBACK CollectChild(HWND w, LPARAM p) {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> out;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&out));
    return out;
}

struct BoxSeen {
    std::wstring caption;
    bool hasText = false, onlyOk = false, iconMatches = false;
    HWND owner = nullptr;
};

// Shows a box through `show` while a second thread inspects and closes it.
BoxSeen Observe(const std::function<void()>& show, const std::wstring& text, LPCWSTR expectedIcon) {
    BoxSeen seen;
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        const HWND box = WaitForDialog();
        if (!box) return;
        seen.caption = TextOf(box);
        seen.owner = GetWindow(box, GW_OWNER);
        const HICON icon = LoadIconW(nullptr, expectedIcon);
        int buttons = 0;
        for (HWND child : Children(box)) {
            const std::wstring cls = ClassOf(child);
            if (cls == L"Static" && TextOf(child) == text) seen.hasText = true;
            if (cls == L"Static" && reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0)) == icon)
                seen.iconMatches = true;
            if (cls == L"Button" && IsWindowVisible(child)) ++buttons;
        }
        seen.onlyOk = buttons == 1 && GetDlgItem(box, IDOK) != nullptr;
        while (!done) {
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            Sleep(100);
        }
    });
    show();
    done = true;
    watcher.join();
    return seen;
}

// Each kind of box: its caption and icon, its text, one OK button, and the
// owner window it was given.
TEST(Win32Prompts, ErrorAndFileErrorBoxes) {
    const HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    Win32Prompts plain, owned(owner);
    const WString error = u"USB connection is not detected.  Please check the USB connection and USB settings.";
    const WString fileError = u"Cannot open C:\\x\\report.txt.\r\nThe process cannot access the file.";
    const BoxSeen seen[] = {
        Observe([&] { plain.ShowError(error); }, win32::ToWin(error), IDI_ERROR),
        Observe([&] { owned.ShowFileError(fileError); }, win32::ToWin(fileError), IDI_EXCLAMATION)};
    DestroyWindow(owner);
    EXPECT_EQ(seen[0].caption, L"Error");
    EXPECT_EQ(seen[0].owner, nullptr);
    EXPECT_EQ(seen[1].caption, L"Laser Diagnostic Tool");
    EXPECT_EQ(seen[1].owner, owner);
    for (const BoxSeen& box : seen) {
        SCOPED_TRACE(std::string(box.caption.begin(), box.caption.end()));
        EXPECT_TRUE(box.hasText);
        EXPECT_TRUE(box.onlyOk);
        EXPECT_TRUE(box.iconMatches);
    }
}

struct SaveDialogSeen {
    std::vector<std::wstring> filters;
    bool readOnlyBoxShown = true;
    bool overwritePrompted = false;
};

// Runs AskSavePath; the watcher types `name` (or cancels when empty) and
// answers Yes to an overwrite question.
std::optional<WString> DriveSaveAs(const std::wstring& name, SaveDialogSeen& seen) {
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        const HWND dialog = WaitForDialog();
        if (!dialog) return;
        const HWND filter = GetDlgItem(dialog, cmb1);
        const int count = static_cast<int>(SendMessageW(filter, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t item[256] = {};
            SendMessageW(filter, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
            seen.filters.push_back(item);
        }
        const HWND readOnly = GetDlgItem(dialog, chx1);
        seen.readOnlyBoxShown = readOnly && IsWindowVisible(readOnly);
        if (name.empty()) {
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        HWND edit = GetDlgItem(dialog, edt1);
        if (!edit) edit = GetDlgItem(dialog, cmb13);
        SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        // An overwrite question is a second dialog window.
        for (int i = 0; i < 40 && !done; ++i) {
            const HWND question = WaitForDialog(dialog, 1);
            if (question && GetDlgItem(question, IDYES)) {
                seen.overwritePrompted = true;
                PostMessageW(question, WM_COMMAND, IDYES, 0);
                break;
            }
            Sleep(50);
        }
    });
    Win32Prompts prompts;
    std::optional<WString> chosen = prompts.AskSavePath();
    done = true;
    watcher.join();
    return chosen;
}

TEST(Win32Prompts, SaveAsOffersTheTextFilter_andReturnsTheTypedPath) {
    testing::ScratchDir dir;
    const std::wstring path = dir.Join(L"report");
    SaveDialogSeen seen;
    const std::optional<WString> chosen = DriveSaveAs(path, seen);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, W(path));  // no default extension is added
    EXPECT_EQ(seen.filters, std::vector<std::wstring>{L"\u53C3\u6578\u6A94(*.txt)"});
    EXPECT_FALSE(seen.readOnlyBoxShown);
    EXPECT_FALSE(seen.overwritePrompted);
}

TEST(Win32Prompts, SaveAsAsksBeforeOverwriting) {
    testing::ScratchDir dir;
    const std::wstring path = dir.Join(L"report.txt");
    ASSERT_TRUE(testing::WriteFileBytes(path, "old"));
    SaveDialogSeen seen;
    const std::optional<WString> chosen = DriveSaveAs(path, seen);
    EXPECT_TRUE(seen.overwritePrompted);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, W(path));
    EXPECT_EQ(testing::ReadAll(path), "old");  // asking writes nothing
}

TEST(Win32Prompts, SaveAsCancelled) {
    SaveDialogSeen seen;
    EXPECT_FALSE(DriveSaveAs(L"", seen).has_value());
}

}  // namespace
}  // namespace ldt

// The window framework under Wine: the dialog procedure, the message map
// walk, Default(), the application entry, the GDI owners and GdiCanvas.

#include "gui_test_ids.h"
#include "platform/win32/gui/Dialog.h"
#include "platform/win32/gui/GdiCanvas.h"
#include "platform/win32/gui/SkinPicture.h"
#include "platform/win32/gui/WinApp.h"
#include "ui/DataPanel.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace ldt;
using namespace ldt::gui;

namespace {

constexpr UINT kRaw = WM_APP + 1;           // handled by the map, raw
constexpr UINT kWindowProcOnly = WM_APP + 2;  // handled by WindowProc
constexpr UINT kNested = WM_APP + 3;        // sent from inside a handler
constexpr UINT kEnd = WM_APP + 4;           // ends the dialog with wParam

std::string Pt(POINT p) { return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")"; }

std::wstring WindowText(HWND hwnd) {
    wchar_t text[64] = {};
    GetWindowTextW(hwnd, text, 64);
    return text;
}

class ProbeDialog : public Dialog {
public:
    ProbeDialog() : Dialog(IDD_PROBE) {}

    std::function<void(ProbeDialog&)> onInit;
    std::vector<std::string> log;

    BOOL setCursorResult = TRUE;
    bool setTextCallsDefault = true;
    std::wstring textSeenAfterDefault;
    HCURSOR dragIcon = reinterpret_cast<HCURSOR>(static_cast<INT_PTR>(0x1234));
    LRESULT rawResult = 1234;

    using Dialog::Default;
    using Dialog::EndDialog;

protected:
    BOOL OnInitDialog() override {
        Dialog::OnInitDialog();
        log.push_back("init");
        if (onInit) onInit(*this);
        return TRUE;
    }
    void OnOK() override {
        log.push_back("OnOK");
        Dialog::OnOK();
    }
    void OnCancel() override {
        log.push_back("OnCancel");
        Dialog::OnCancel();
    }
    bool WindowProc(UINT message, WPARAM, LPARAM, LRESULT& result) override {
        if (message == kWindowProcOnly) {
            log.push_back("WindowProc handles");
            result = 77;
            return true;
        }
        if (message == WM_MOUSEMOVE) log.push_back("WindowProc mousemove");
        return false;
    }
    const MessageMap& GetMessageMap() const override {
        static constexpr MessageEntry kEntries[] = {
            MapQueryDragIcon<&ProbeDialog::OnQueryDragIcon>(),
            MapMouse<WM_MOUSEMOVE, &ProbeDialog::OnMouseMove>(),
            MapMouse<WM_LBUTTONDOWN, &ProbeDialog::OnLButtonDown>(),
            MapMouse<WM_LBUTTONUP, &ProbeDialog::OnLButtonUp>(),
            MapSetCursor<&ProbeDialog::OnSetCursor>(),
            MapMessage<WM_SETTEXT, &ProbeDialog::OnSetText>(),
            MapMessage<kRaw, &ProbeDialog::OnRaw>(),
            MapMessage<kWindowProcOnly, &ProbeDialog::OnRaw>(),
            MapMessage<kNested, &ProbeDialog::OnNested>(),
            MapMessage<kEnd, &ProbeDialog::OnEnd>(),
        };
        static constexpr MessageMap kMap = MakeMessageMap(&kBaseMessageMap, kEntries);
        return kMap;
    }

private:
    HCURSOR OnQueryDragIcon() {
        log.push_back("QueryDragIcon");
        return dragIcon;
    }
    void OnMouseMove(UINT flags, POINT pt) { log.push_back("MouseMove " + std::to_string(flags) + " " + Pt(pt)); }
    void OnLButtonDown(UINT flags, POINT pt) { log.push_back("LButtonDown " + std::to_string(flags) + " " + Pt(pt)); }
    void OnLButtonUp(UINT flags, POINT pt) { log.push_back("LButtonUp " + std::to_string(flags) + " " + Pt(pt)); }
    BOOL OnSetCursor(HWND window, UINT hitTest, UINT message) {
        log.push_back(std::string("SetCursor ") + (window == Handle() ? "self " : "other ") + std::to_string(hitTest) +
                      " " + std::to_string(message));
        return setCursorResult;
    }
    LRESULT OnSetText(WPARAM, LPARAM) {
        log.push_back("SetText");
        if (!setTextCallsDefault) return TRUE;
        // A message handled in between must not change what Default() runs.
        SendMessageW(Handle(), kNested, 0, 0);
        const LRESULT result = Default();
        textSeenAfterDefault = WindowText(Handle());
        return result;
    }
    LRESULT OnRaw(WPARAM wParam, LPARAM lParam) {
        log.push_back("Raw " + std::to_string(wParam) + " " + std::to_string(lParam));
        return rawResult;
    }
    LRESULT OnNested(WPARAM, LPARAM) {
        log.push_back("Nested");
        return 0;
    }
    LRESULT OnEnd(WPARAM wParam, LPARAM) {
        log.push_back("End");
        EndDialog(static_cast<INT_PTR>(wParam));
        return 0;
    }
};

// A further derived dialog: its own table is walked before ProbeDialog's.
class DerivedDialog : public ProbeDialog {
protected:
    const MessageMap& GetMessageMap() const override {
        static constexpr MessageEntry kEntries[] = {
            MapCommand<IDNO, &DerivedDialog::OnNo>(),  // declines IDOK
            MapCommand<IDOK, &DerivedDialog::OwnOk>(),
            MapMouse<WM_MOUSEMOVE, &DerivedDialog::OwnMouseMove>(),
        };
        static const MessageMap kMap = MakeMessageMap(&ProbeDialog::GetMessageMap(), kEntries);
        return kMap;
    }

private:
    void OnNo() { log.push_back("OnNo"); }
    void OwnOk() {
        log.push_back("OwnOk");
        EndDialog(IDOK);
    }
    void OwnMouseMove(UINT, POINT pt) { log.push_back("OwnMouseMove " + Pt(pt)); }
};

using Log = std::vector<std::string>;

// Every window test needs Wine's desktop on an X display; say so once,
// plainly, instead of failing each test on its own.
class DisplayCheck : public ::testing::Environment {
public:
    void SetUp() override {
        HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(probe, nullptr) << "no window can be created: start the wineserver with DISPLAY set (Xvfb)";
        DestroyWindow(probe);
    }
};
const auto* const kDisplayCheck = ::testing::AddGlobalTestEnvironment(new DisplayCheck);

// Runs `body` on the open dialog from its WM_INITDIALOG, then closes it.
void RunInside(ProbeDialog& dialog, const std::function<void(HWND)>& body) {
    dialog.onInit = [&](ProbeDialog& d) {
        body(d.Handle());
        d.EndDialog(0);
    };
    dialog.DoModal();
}

TEST(Dialog, InitDialogFindsItsObjectAndEndDialogEndsTheModalLoop) {
    ProbeDialog dialog;
    HWND seen = nullptr;
    dialog.onInit = [&](ProbeDialog& d) {
        seen = d.Handle();
        d.EndDialog(42);
    };
    EXPECT_EQ(dialog.DoModal(), 42);
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(dialog.Handle(), nullptr);  // cleared when the window went
    EXPECT_EQ(dialog.log, (Log{"init"}));
}

TEST(Dialog, MissingTemplateFails) {
    class Missing : public Dialog {
    public:
        Missing() : Dialog(9999) {}
    } dialog;
    EXPECT_EQ(dialog.DoModal(), -1);
}

TEST(Dialog, TypedHandlersGetDecodedArguments) {
    ProbeDialog dialog;
    LRESULT dragIcon = 0, setCursor = 0;
    RunInside(dialog, [&](HWND h) {
        SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(290, 290));
        SendMessageW(h, WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT, MAKELPARAM(-5, 300));
        SendMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(7, -2));
        setCursor = SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        dragIcon = SendMessageW(h, WM_QUERYDRAGICON, 0, 0);
    });
    EXPECT_EQ(dialog.log, (Log{"init", "LButtonDown 1 (290,290)", "WindowProc mousemove", "MouseMove 5 (-5,300)",
                               "LButtonUp 0 (7,-2)", "SetCursor self 1 512", "QueryDragIcon"}));
    EXPECT_EQ(setCursor, TRUE);
    EXPECT_EQ(dragIcon, 0x1234);
}

TEST(Dialog, HandlerResultsReachTheSender) {
    ProbeDialog dialog;
    dialog.setCursorResult = FALSE;
    dialog.rawResult = -98765;
    LRESULT setCursor = -1, raw = 0, byWindowProc = 0;
    RunInside(dialog, [&](HWND h) {
        setCursor = SendMessageW(h, WM_SETCURSOR, 0, 0);
        raw = SendMessageW(h, kRaw, 3, 4);
        byWindowProc = SendMessageW(h, kWindowProcOnly, 0, 0);
    });
    EXPECT_EQ(setCursor, FALSE);
    EXPECT_EQ(raw, -98765);
    EXPECT_EQ(byWindowProc, 77);
    // WindowProc took kWindowProcOnly: the map entry for it never ran.
    EXPECT_EQ(dialog.log, (Log{"init", "SetCursor other 0 0", "Raw 3 4", "WindowProc handles"}));
}

// Reading the title back (GetWindowText) goes through the unmapped
// WM_GETTEXT, so it also shows that unmapped messages get the default
// processing.
TEST(Dialog, DefaultRunsTheDefaultProcessingInPlaceAndOnce_orNotAtAllWhenTheHandlerSkipsIt) {
    for (const bool callsDefault : {true, false}) {
        SCOPED_TRACE(callsDefault);
        ProbeDialog dialog;
        dialog.setTextCallsDefault = callsDefault;
        LRESULT result = 0;
        std::wstring after;
        RunInside(dialog, [&](HWND h) {
            result = SendMessageW(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Renamed"));
            after = WindowText(h);
        });
        EXPECT_EQ(result, TRUE);
        if (callsDefault) {
            EXPECT_EQ(dialog.textSeenAfterDefault, L"Renamed");  // already done inside the handler
            EXPECT_EQ(after, L"Renamed");
            EXPECT_EQ(dialog.log, (Log{"init", "SetText", "Nested"}));  // the handler ran once
        } else {
            EXPECT_EQ(after, L"Probe");
        }
    }
    ProbeDialog closed;
    EXPECT_EQ(closed.Default(), 0);  // outside a handler: nothing to run
}

TEST(Dialog, CancelFromTheDisabledCancelButtonIsDropped) {
    ProbeDialog dialog;
    dialog.onInit = [](ProbeDialog& d) {
        HWND cancel = GetDlgItem(d.Handle(), IDCANCEL);
        ASSERT_NE(cancel, nullptr);
        ASSERT_FALSE(IsWindowEnabled(cancel));
        SendMessageW(d.Handle(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
        d.log.push_back("still open");
        SendMessageW(d.Handle(), WM_COMMAND, IDCANCEL, 0);
    };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.log, (Log{"init", "still open", "OnCancel"}));
}

TEST(Dialog, TheMostDerivedTableIsWalkedFirstThenItsBases) {
    DerivedDialog dialog;
    dialog.onInit = [](ProbeDialog& d) {
        SendMessageW(d.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(1, 2));
        SendMessageW(d.Handle(), WM_LBUTTONDOWN, 0, MAKELPARAM(3, 4));
        SendMessageW(d.Handle(), WM_COMMAND, IDOK, 0);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.log,
              (Log{"init", "WindowProc mousemove", "OwnMouseMove (1,2)", "LButtonDown 0 (3,4)", "OwnOk"}));
}

TEST(Dialog, PostedMessagesAreDispatchedByTheModalLoopInOrder) {
    ProbeDialog dialog;
    dialog.onInit = [](ProbeDialog& d) {
        PostMessageW(d.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 300));
        PostMessageW(d.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(101, 301));
        PostMessageW(d.Handle(), kRaw, 1, 2);
        PostMessageW(d.Handle(), kEnd, 7, 0);
    };
    EXPECT_EQ(dialog.DoModal(), 7);
    EXPECT_EQ(dialog.log, (Log{"init", "LButtonDown 1 (100,300)", "LButtonUp 0 (101,301)", "Raw 1 2", "End"}));
}

void CALLBACK PressF5ThenReturnInTheActiveWindow(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    HWND box = GetActiveWindow();
    PostMessageW(box, WM_KEYDOWN, VK_F5, 0);
    PostMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
}

// Takes F5 before the dialog manager; lets every other key go on.
class KeyDialog : public ProbeDialog {
public:
    std::vector<std::string> keys;
    std::function<void()> onF5;

protected:
    bool PreTranslateMessage(const MSG& msg) override {
        if (msg.message != WM_KEYDOWN) return false;
        keys.push_back(std::to_string(msg.wParam) + (msg.hwnd == Handle() ? "" : " child"));
        if (msg.wParam != VK_F5) return false;
        if (onF5) onF5();
        return true;
    }
};

TEST(Dialog, PreTranslateMessageSeesTheDialogsKeysFirst_andWhatItLeavesReachesTheDialogManager) {
    KeyDialog dialog;
    std::string boxKeys;
    dialog.onF5 = [&] {
        dialog.log.push_back("F5");
        // A box opened from the handler runs its own loop: its keys are
        // not the dialog's.
        SetTimer(nullptr, 0, 200, &PressF5ThenReturnInTheActiveWindow);
        MessageBoxW(dialog.Handle(), L"box", L"box", MB_OK);
        boxKeys = std::to_string(dialog.keys.size());
        // Back in the dialog's own loop:
        PostMessageW(GetDlgItem(dialog.Handle(), IDOK), WM_KEYDOWN, 'X', 0);  // a child's key
        PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);  // Cancel is disabled: nothing
        PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_RETURN, 0);  // the default OK button
    };
    dialog.onInit = [](ProbeDialog& d) { PostMessageW(d.Handle(), WM_KEYDOWN, VK_F5, 0); };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.keys, (Log{"116", "88 child", "27", "13"}));
    EXPECT_EQ(boxKeys, "1");
    EXPECT_EQ(dialog.log, (Log{"init", "F5", "OnOK"}));
}

// The system refused the message filter: the keys still reach
// PreTranslateMessage as they are dispatched, the dialog's own and its
// children's; the dialog manager's navigation keys stay its own.
TEST(Dialog, WithoutTheMessageFilter_keysReachPreTranslateMessageAsTheyAreDispatched) {
    Dialog::RefuseMessageFilterForTesting(true);
    KeyDialog dialog;
    dialog.onF5 = [&] {
        dialog.log.push_back("F5");
        PostMessageW(GetDlgItem(dialog.Handle(), IDOK), WM_KEYDOWN, 'X', 0);
        PostMessageW(dialog.Handle(), WM_KEYDOWN, VK_RETURN, 0);
    };
    dialog.onInit = [](ProbeDialog& d) { PostMessageW(d.Handle(), WM_KEYDOWN, VK_F5, 0); };
    const INT_PTR result = dialog.DoModal();
    Dialog::RefuseMessageFilterForTesting(false);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.keys, (Log{"116", "88 child"}));
    EXPECT_EQ(dialog.log, (Log{"init", "F5", "OnOK"}));
}

// WM_NCACTIVATE answered from WindowProc: the result goes back through
// DWLP_MSGRESULT and the activation change follows it.
class ActivationDialog : public ProbeDialog {
public:
    LRESULT deactivateResult = WM_NCACTIVATE;
    std::vector<WPARAM> ncActivate;

protected:
    bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message != WM_NCACTIVATE) return ProbeDialog::WindowProc(message, wParam, lParam, result);
        DefWindowProcW(Handle(), message, wParam, lParam);
        ncActivate.push_back(wParam);
        result = wParam ? message : deactivateResult;
        return true;
    }
};

HWND MakeOtherWindow() {
    return CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

TEST(Dialog, NcActivateResultFromWindowProcReachesTheSystem) {
    ActivationDialog dialog;
    HWND other = nullptr, activeAfter = nullptr;
    LRESULT sent = 0, sentZero = -1;
    RunInside(dialog, [&](HWND h) {
        ShowWindow(h, SW_SHOW);
        SetActiveWindow(h);
        other = MakeOtherWindow();
        SetActiveWindow(other);
        activeAfter = GetActiveWindow();
        DestroyWindow(other);
        sent = SendMessageW(h, WM_NCACTIVATE, FALSE, 0);
        dialog.deactivateResult = FALSE;
        sentZero = SendMessageW(h, WM_NCACTIVATE, FALSE, 0);
    });
    EXPECT_EQ(activeAfter, other);
    ASSERT_GE(dialog.ncActivate.size(), 2u);
    EXPECT_EQ(dialog.ncActivate[0], static_cast<WPARAM>(TRUE));
    EXPECT_EQ(dialog.ncActivate.back(), static_cast<WPARAM>(FALSE));
    // Through DWLP_MSGRESULT, not the procedure's TRUE; zero included.
    EXPECT_EQ(sent, WM_NCACTIVATE);
    EXPECT_EQ(sentZero, FALSE);
}

// --- Application object and entry -------------------------------------------

struct ProbeApp : WinApp {
    int calls = 0;
    BOOL result = FALSE;
    HINSTANCE seenResources = nullptr;
    BOOL InitInstance() override {
        ++calls;
        seenResources = ResourceHandle();
        if (result) PostQuitMessage(5);
        return result;
    }
};

TEST(WinApp, TheEntryRunsInitInstanceOnce_thenTheMessageLoopUntilQuitOnlyIfItSucceeded) {
    ProbeApp app;
    ASSERT_EQ(WinApp::Current(), &app);
    // Resources come from the module the entry was given, not this program.
    const HINSTANCE module = GetModuleHandleW(L"user32.dll");
    ASSERT_NE(module, GetModuleHandleW(nullptr));
    EXPECT_EQ(WinAppMain(module), 0);
    EXPECT_EQ(app.calls, 1);
    EXPECT_EQ(app.seenResources, module);
    app.result = TRUE;
    EXPECT_EQ(WinAppMain(GetModuleHandleW(nullptr)), 5);  // the quit message's code
    EXPECT_EQ(app.calls, 2);
}

TEST(WinApp, OnlyTheFirstApplicationObjectCounts) {
    EXPECT_EQ(WinApp::Current(), nullptr);
    {
        ProbeApp first;
        ProbeApp second;
        EXPECT_EQ(WinApp::Current(), &first);
        EXPECT_EQ(WinAppMain(nullptr), 0);
        EXPECT_EQ(first.calls, 1);
        EXPECT_EQ(second.calls, 0);
    }
    EXPECT_EQ(WinApp::Current(), nullptr);
    EXPECT_EQ(ResourceHandle(), GetModuleHandleW(nullptr));
}

// --- GDI owners and GdiCanvas ------------------------------------------------

// A 32-bit top-down DIB selected into a memory DC.
class Surface {
public:
    Surface(int width, int height) : width_(width), height_(height), dc_(CreateCompatibleDC(nullptr)) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<DWORD*>(bits);
        old_ = SelectObject(dc_, bitmap_);
        Fill(0x00FF00FF);
    }
    ~Surface() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    HDC Dc() const { return dc_; }
    DWORD At(int x, int y) const {
        GdiFlush();
        return bits_[y * width_ + x] & 0xFFFFFF;
    }
    void Fill(DWORD colour) {
        GdiFlush();
        for (int i = 0; i < width_ * height_; ++i) bits_[i] = colour;
    }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    DWORD* bits_ = nullptr;
};

GdiCanvas::Art ProbeArt(HWND window = nullptr) {
    return {GetModuleHandleW(nullptr), IDB_PROBE_SKIN, window, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROBE))};
}

TEST(GdiCanvas, CopySkinCopiesTheBitmapBlock) {
    Surface surface(816, 418), reference(816, 418);
    {
        GdiCanvas canvas(surface.Dc(), ProbeArt());
        canvas.CopySkin(0, 0, 817, 418, 3, 30);
    }
    {
        Bitmap skin(LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_PROBE_SKIN)));
        ASSERT_TRUE(skin);
        MemoryDC memory(reference.Dc());
        ASSERT_TRUE(memory.Select(skin.Get()));
        BitBlt(reference.Dc(), 0, 0, 817, 418, memory.Get(), 3, 30, SRCCOPY);
    }
    int differing = 0;
    for (int y = 0; y < 418 - 30; ++y)
        for (int x = 0; x < 817 - 3; ++x) differing += surface.At(x, y) != reference.At(x, y);
    EXPECT_EQ(differing, 0);
}

TEST(GdiCanvas, CopySkinWithAMissingBitmapDrawsNothing) {
    Surface surface(40, 40);
    GdiCanvas::Art art = ProbeArt();
    art.skinBitmap = 9999;
    GdiCanvas canvas(surface.Dc(), art);
    canvas.CopySkin(0, 0, 40, 40, 0, 0);
    EXPECT_EQ(surface.At(10, 10), 0xFF00FFu);
}

// A stored bitmap is drawn from only when its pixels all lie within its
// bytes: a header that promises more (or a compressed or odd one) gives none.
TEST(SkinPicture, aStoredBitmapIsTakenOnlyWhenItsPixelsFitItsBytes) {
    struct Row {
        LONG width, height;
        WORD bits;
        DWORD compression;
        std::size_t pixelBytes;  // after the header
        int rows;                // 0: refused
    };
    const Row rows[] = {
        {3, 2, 24, BI_RGB, 2 * 12, 2},        // rows padded to 4 bytes
        {3, -2, 24, BI_RGB, 2 * 12, 2},       // top-down
        {3, 2, 24, BI_RGB, 2 * 12 - 1, 0},    // one byte short
        {3, 2, 24, BI_RLE8, 2 * 12, 0},       // compressed
        {0x8000, 1, 24, BI_RGB, 1 << 20, 0},  // wider than any skin
        {2, 2, 8, BI_RGB, 256 * 4 + 8, 2},    // a full colour table first
        {2, 2, 8, BI_RGB, 256 * 4 + 7, 0},
    };
    for (const Row& r : rows) {
        std::vector<std::uint8_t> bytes(sizeof(BITMAPINFOHEADER) + r.pixelBytes);
        auto& h = *reinterpret_cast<BITMAPINFOHEADER*>(bytes.data());
        h = {sizeof h, r.width, r.height, 1, r.bits, r.compression, 0, 0, 0, 0, 0};
        const StoredDib dib = DibOf(bytes.data(), bytes.size());
        EXPECT_EQ(dib.info != nullptr, r.rows != 0) << r.width << " " << r.pixelBytes;
        EXPECT_EQ(dib.rows, r.rows);
    }
}

// Every field of the FontSpec reaches its place in the font (the values are
// all different, so a swap shows), the background turns transparent, and
// the font is deselected and deleted with the canvas.
TEST(GdiCanvas, SetTextFontSelectsTheFontTransparentlyAndReleasesItAfterwards) {
    const FontSpec given = {-21, 9, 30, 40, 700, true, false, true, 2, 3, 2, 4, 0x22, u"Arial"};
    const LOGFONTW want = {-21, 9, 30, 40, 700, 1, 0, 1, 2, 3, 2, 4, 0x22, L"Arial"};
    Surface surface(100, 40);
    const HGDIOBJ original = GetCurrentObject(surface.Dc(), OBJ_FONT);
    HGDIOBJ made = nullptr;
    {
        GdiCanvas canvas(surface.Dc(), ProbeArt());
        canvas.SetTextFont(given);
        made = GetCurrentObject(surface.Dc(), OBJ_FONT);
        ASSERT_NE(made, original);
        LOGFONTW font = {};
        ASSERT_EQ(GetObjectW(made, sizeof(font), &font), static_cast<int>(sizeof(font)));
        EXPECT_EQ(std::memcmp(&font, &want, offsetof(LOGFONTW, lfFaceName)), 0)
            << font.lfHeight << " " << font.lfWidth << " " << font.lfEscapement << " " << font.lfOrientation << " "
            << font.lfWeight << " " << int(font.lfItalic) << int(font.lfUnderline) << int(font.lfStrikeOut) << " "
            << int(font.lfCharSet) << int(font.lfOutPrecision) << int(font.lfClipPrecision) << int(font.lfQuality)
            << " " << int(font.lfPitchAndFamily);
        EXPECT_STREQ(font.lfFaceName, want.lfFaceName);
        EXPECT_EQ(GetBkMode(surface.Dc()), TRANSPARENT);
    }
    EXPECT_EQ(GetCurrentObject(surface.Dc(), OBJ_FONT), original);
    EXPECT_EQ(GetObjectType(made), 0u);  // deleted
}

TEST(GdiCanvas, ASecondSetTextFontReplacesAndDeletesTheFirst) {
    Surface surface(10, 10);
    const HGDIOBJ original = GetCurrentObject(surface.Dc(), OBJ_FONT);
    {
        GdiCanvas canvas(surface.Dc(), ProbeArt());
        canvas.SetTextFont(kTextFont);
        const HGDIOBJ first = GetCurrentObject(surface.Dc(), OBJ_FONT);
        canvas.SetTextFont(kTextFont);
        EXPECT_NE(GetCurrentObject(surface.Dc(), OBJ_FONT), first);
        EXPECT_EQ(GetObjectType(first), 0u);
    }
    EXPECT_EQ(GetCurrentObject(surface.Dc(), OBJ_FONT), original);
}

int Changed(const Surface& s, const RECT& inside, bool wantInside) {
    int n = 0;
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x) {
            const bool in = x >= inside.left && x < inside.right && y >= inside.top && y < inside.bottom;
            if (in == wantInside && s.At(x, y) != 0xFFFFFFu) ++n;
        }
    return n;
}

// Text is clipped to its rectangle; an empty string draws nothing at all.
TEST(GdiCanvas, DrawStringDrawsOnlyInsideItsRectangle) {
    Surface surface(200, 60);
    surface.Fill(0xFFFFFF);
    GdiCanvas canvas(surface.Dc(), ProbeArt());
    canvas.SetTextFont(kTextFont);
    canvas.DrawString({0, 0, 200, 60}, u"", kDtCenter);
    canvas.DrawString({20, 10, 70, 30}, u"WWWWWWWWWW", kDtCenter);
    EXPECT_GT(Changed(surface, {20, 10, 70, 30}, true), 20);
    EXPECT_EQ(Changed(surface, {20, 10, 70, 30}, false), 0);
}

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ICONERASEBKGND) {
        SetPropW(hwnd, L"erase", reinterpret_cast<HANDLE>(wParam));
        return 1;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST(GdiCanvas, DrawAppIconErasesTheIconBackgroundThenDrawsTheIcon) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"LdtIconProbe";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(L"LdtIconProbe", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);

    Surface surface(64, 64);
    surface.Fill(0xFFFFFF);
    {
        GdiCanvas canvas(surface.Dc(), ProbeArt(window));
        canvas.DrawAppIcon(16, 16);
    }
    EXPECT_EQ(GetPropW(window, L"erase"), reinterpret_cast<HANDLE>(surface.Dc()));
    EXPECT_GT(Changed(surface, {16, 16, 48, 48}, true), 50);
    EXPECT_EQ(Changed(surface, {16, 16, 48, 48}, false), 0);
    RemovePropW(window, L"erase");
    DestroyWindow(window);
}

// --- Owners -------------------------------------------------------------------

TEST(GdiObject, OwnsReleasesAndMoves) {
    HBITMAP raw = CreateBitmap(4, 4, 1, 32, nullptr);
    {
        Bitmap a(raw);
        Bitmap b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.Get(), raw);
        EXPECT_EQ(b.Release(), raw);
    }
    EXPECT_EQ(GetObjectType(raw), static_cast<DWORD>(OBJ_BITMAP));  // released, so still alive
    {
        Bitmap owner(raw);
    }
    EXPECT_EQ(GetObjectType(raw), 0u);

    HRGN region = CreateRectRgn(0, 0, 4, 4);
    Region r(region);
    r.Reset();
    EXPECT_EQ(GetObjectType(region), 0u);
}

TEST(MemoryDC, SelectRefusesNothing) {
    MemoryDC memory(nullptr);
    ASSERT_NE(memory.Get(), nullptr);
    EXPECT_FALSE(memory.Select(nullptr));
}

// --- The skin at other scales -------------------------------------------------

// One row of grey levels (B = G = R) as a Pixels picture.
Pixels GreyRow(const std::vector<int>& levels) {
    Pixels p{static_cast<int>(levels.size()), 1, static_cast<int>((levels.size() * 3 + 3) / 4 * 4), {}};
    p.bytes.assign(static_cast<std::size_t>(p.stride), 0);
    for (std::size_t i = 0; i < levels.size(); ++i)
        for (int c = 0; c < 3; ++c) p.bytes[i * 3 + c] = static_cast<std::uint8_t>(levels[i]);
    return p;
}

std::vector<int> Greys(const Pixels& p) {
    std::vector<int> out;
    for (int x = 0; x < p.width; ++x) out.push_back(p.bytes[static_cast<std::size_t>(x) * 3]);
    return out;
}

// Each new pixel is the mean of the source area it covers.
TEST(AreaResample, eachPixelIsTheMeanOfTheAreaItCovers) {
    const struct {
        std::vector<int> source;
        int width;
        std::vector<int> expected;
    } cases[] = {
        {{0, 120, 240, 60}, 3, {30, 180, 105}},  // 4 -> 3: shares 3/4 + 1/4, 1/2 + 1/2, 1/4 + 3/4
        {{10, 30, 50, 70}, 2, {20, 60}},         // halved
        {{0, 200}, 3, {0, 100, 200}},            // 2 -> 3: the middle one straddles
        {{7, 8, 9}, 3, {7, 8, 9}},               // same size: a copy
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        EXPECT_EQ(Greys(AreaResample(GreyRow(c.source), c.width, 1)), c.expected);
    }
    // Down: two rows averaged, with the row stride kept to whole words.
    Pixels two = GreyRow({100, 100, 100});
    two.height = 2;
    two.bytes.resize(static_cast<std::size_t>(two.stride) * 2, 200);
    const Pixels one = AreaResample(two, 1, 1);
    EXPECT_EQ(one.stride, 4);
    EXPECT_EQ(Greys(one), std::vector<int>{150});
}

// The large skin is the small one drawn twice the size: brought back to
// 817 x 418 it matches the bitmap nearly everywhere (both are rendered from
// the same drawing; edges of text may differ by a shade).
TEST(SkinPicture, theLargeSkinDecodes_andMatchesTheSmallOneBroughtDown) {
    const Pixels large = DecodeSkinRunsResource(GetModuleHandleW(nullptr), IDR_PROBE_SKIN_2X);
    EXPECT_EQ(DecodeSkinRunsResource(GetModuleHandleW(nullptr), 9999).width, 0);
    ASSERT_EQ(large.width, 1634);
    ASSERT_EQ(large.height, 836);
    const Pixels down = AreaResample(large, 817, 418);

    Surface small(817, 418);
    Bitmap skin(LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_PROBE_SKIN)));
    MemoryDC memory(small.Dc());
    ASSERT_TRUE(memory.Select(skin.Get()));
    BitBlt(small.Dc(), 0, 0, 817, 418, memory.Get(), 0, 0, SRCCOPY);
    int distant = 0, total = 0;
    for (int y = 0; y < 418; y += 2)
        for (int x = 0; x < 817; x += 2, ++total) {
            const DWORD want = small.At(x, y);
            const std::uint8_t* got = &down.bytes[static_cast<std::size_t>(y) * down.stride + x * 3];
            for (int c = 0; c < 3; ++c)
                if (std::abs(int(got[c]) - int((want >> (8 * c)) & 0xFF)) > 24) {
                    ++distant;
                    break;
                }
        }
    EXPECT_LT(distant * 50, total) << distant << " of " << total << " points differ";
}

// The run format: runs of a colour, runs of the pixels above, across row
// ends (a 2 x 2 picture; rows padded to 8 bytes); anything that does not
// cover the picture exactly, or names a colour or a row that is not there,
// gives no picture.
TEST(SkinPicture, runsDecodeExactly_andBadDataGivesNoPicture) {
    auto picture = [](const std::vector<std::uint8_t>& tokens) {
        std::vector<std::uint8_t> data = {'S', 'K', 'R', '1', 2, 0, 2, 0, 2, 0, 10, 20, 30, 11, 20, 30};
        data.insert(data.end(), tokens.begin(), tokens.end());
        return DecodeSkinRuns(data.data(), data.size());
    };
    const Pixels p = picture({0x01, 0x20, 0x00, 0x00});  // colour 1 twice, colour 0 once, ...
    EXPECT_EQ(p.width, 0);                                 // ... one pixel short
    const Pixels q = picture({0x01, 0x20, 0x00, 0x00, 0x00, 0xE0});  // ... and one pixel from above
    ASSERT_EQ(q.width, 2);
    ASSERT_EQ(q.stride, 8);
    EXPECT_EQ(q.bytes, (std::vector<std::uint8_t>{11, 20, 30, 11, 20, 30, 0, 0, 10, 20, 30, 11, 20, 30, 0, 0}));
    const struct {
        const char* why;
        std::vector<std::uint8_t> tokens;
    } bad[] = {
        {"a colour that is not there", {0x02, 0x60}},
        {"pixels above the first row", {0x03, 0xE0}},
        {"more pixels than the picture", {0x00, 0x80}},
        {"a long run past the end", {0x00, 0xC0, 0x00, 0x00}},
        {"a token cut short", {0x00}},
        {"a long run without its length", {0x00, 0xC0}},
        {"bytes after the last pixel", {0x00, 0x60, 0x00}},
    };
    for (const auto& b : bad) EXPECT_EQ(picture(b.tokens).width, 0) << b.why;
    const std::uint8_t shortHeader[] = {'S', 'K', 'R', '1', 2, 0};
    EXPECT_EQ(DecodeSkinRuns(shortHeader, sizeof shortHeader).width, 0);
    // 65535 x 65535 pixels: refused before any memory is asked for.
    const std::uint8_t huge[] = {'S', 'K', 'R', '1', 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 1, 2, 3, 0xFE, 0xDF};
    EXPECT_EQ(DecodeSkinRuns(huge, sizeof huge).width, 0);
}

}  // namespace

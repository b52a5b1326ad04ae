#include "app/win32/DiagnosticDialog.h"

#include "platform/Platform.h"
#include "platform/win32/gui/WinApp.h"
#include "ui/WindowGeometry.h"

#include "resource.h"

#include <commctrl.h>

#include <optional>

namespace ldt {

namespace {

// The command key a key press makes, judged with the modifier keys as they
// were when the press was queued.
std::optional<Key> CommandKey(WPARAM virtualKey) {
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const bool others = GetKeyState(VK_MENU) < 0 || GetKeyState(VK_LWIN) < 0 || GetKeyState(VK_RWIN) < 0;
    if (others) return std::nullopt;
    if (virtualKey == 'C' && ctrl && shift) return Key::CtrlShiftC;
    if (shift) return std::nullopt;
    if (virtualKey == VK_F5 && !ctrl) return Key::F5;
    if (virtualKey == 'S' && ctrl) return Key::CtrlS;
    if (virtualKey == 'C' && ctrl) return Key::CtrlC;
    return std::nullopt;
}

}  // namespace

DiagnosticDialog::DiagnosticDialog(HWND parent)
    : gui::Dialog(IDD_DIAGNOSTIC, parent),
      icon_(LoadIconW(gui::ResourceHandle(), MAKEINTRESOURCEW(IDI_APP))),
      bus_(platform::MakeDeviceBus()),
      clock_(platform::MakeClock()),
      codePage_(platform::MakeCodePage()),
      files_(platform::MakeReportFileSystem()),
      core_({{*bus_, *clock_, *codePage_, prompts_}, *files_, clipboard_, false, platform::DescribeSystem()}) {}

const gui::MessageMap& DiagnosticDialog::GetMessageMap() const {
    static constexpr gui::MessageEntry kEntries[] = {
        gui::MapPaint<&DiagnosticDialog::PaintDataPanel>(),
        gui::MapQueryDragIcon<&DiagnosticDialog::OnQueryDragIcon>(),
        gui::MapLButtonDown<&DiagnosticDialog::OnLButtonDown>(),
        gui::MapLButtonUp<&DiagnosticDialog::OnLButtonUp>(),
        gui::MapMouseMove<&DiagnosticDialog::OnMouseMove>(),
        gui::MapSetCursor<&DiagnosticDialog::OnSetCursor>(),
        gui::MapMessage<WM_DEVICECHANGE, &DiagnosticDialog::OnDeviceChange>(),
        gui::MapMessage<WM_TIMER, &DiagnosticDialog::OnTimer>(),
        gui::MapMessage<WM_NOTIFY, &DiagnosticDialog::OnNotify>(),
    };
    static constexpr gui::MessageMap kMap = gui::MakeMessageMap(&kBaseMessageMap, kEntries);
    return kMap;
}

BOOL DiagnosticDialog::OnInitDialog() {
    gui::Dialog::OnInitDialog();
    prompts_.SetOwner(Handle());
    clipboard_.SetOwner(Handle());

    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    ShapeWindow();
    AddEmptyBoxesTip();

    WatchPrinterInterfaces();
    core_.RefreshMachineData();
    return TRUE;
}

void DiagnosticDialog::WatchPrinterInterfaces() {
    // Before the first refresh, so that a machine plugged in while it runs
    // still brings a refresh of its own.
    GUID printers;
    printers.Data1 = kUsbPrintInterfaceClass.data1;
    printers.Data2 = kUsbPrintInterfaceClass.data2;
    printers.Data3 = kUsbPrintInterfaceClass.data3;
    for (int i = 0; i < 8; ++i) printers.Data4[i] = kUsbPrintInterfaceClass.data4[i];
    printerInterfaces_ = gui::DeviceNotification(Handle(), printers);
}

void DiagnosticDialog::AddEmptyBoxesTip() {
    // A tool over each value box whose text is asked for each time it is
    // about to show: the core's hint, empty (no tip) while values show.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    emptyBoxesTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                                     gui::ResourceHandle(), nullptr);
    if (!emptyBoxesTip_) return;  // the window works on without it
    UINT_PTR id = 0;
    for (const Rect& box : DiagnosticCore::ValueBoxes()) {
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every version of the control
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = Handle();
        tool.uId = ++id;
        tool.rect = {box.left, box.top, box.right, box.bottom};
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(emptyBoxesTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    // Several lines (the hint's line break, long sentences wrapped).
    SendMessageW(emptyBoxesTip_, TTM_SETMAXTIPWIDTH, 0, 480);
}

LRESULT DiagnosticDialog::OnNotify(WPARAM, LPARAM data) {
    auto* header = reinterpret_cast<NMHDR*>(data);
    if (!emptyBoxesTip_ || header->hwndFrom != emptyBoxesTip_ || header->code != TTN_GETDISPINFOW) return Default();
    const WString hint = core_.EmptyBoxesHint();
    emptyBoxesText_.assign(hint.begin(), hint.end());
    reinterpret_cast<NMTTDISPINFOW*>(data)->lpszText = emptyBoxesText_.data();
    return 0;
}

LRESULT DiagnosticDialog::OnDeviceChange(WPARAM event, LPARAM data) {
    if (gui::IsInterfaceArrivalOrRemoval(event, data)) SetTimer(Handle(), kDeviceTimer, core_.OnDevicesChanged(), nullptr);
    return TRUE;
}

LRESULT DiagnosticDialog::OnTimer(WPARAM id, LPARAM) {
    if (id != kDeviceTimer) return Default();
    KillTimer(Handle(), kDeviceTimer);
    const DeviceTimerAction action = core_.OnDeviceTimer();
    if (action.repaint) InvalidateRect(Handle(), nullptr, TRUE);
    if (action.armMs) SetTimer(Handle(), kDeviceTimer, action.armMs, nullptr);
    return 0;
}

void DiagnosticDialog::ShapeWindow() {
    POINT points[kWindowRegion.size()];
    for (std::size_t i = 0; i < kWindowRegion.size(); ++i) points[i] = {kWindowRegion[i].x, kWindowRegion[i].y};
    gui::Region region(CreatePolygonRgn(points, static_cast<int>(kWindowRegion.size()), kWindingFill));
    // From a successful SetWindowRgn on, the window owns the region.
    if (region && SetWindowRgn(Handle(), region.Get(), TRUE)) region.Release();

    const WindowPlacement place = PlaceWindow(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    MoveWindow(Handle(), place.left, place.top, place.width, place.height, TRUE);
    InvalidateRect(Handle(), nullptr, TRUE);
}

gui::GdiCanvas::Art DiagnosticDialog::Art() const {
    return {gui::ResourceHandle(), IDB_SKIN, Handle(), icon_};
}

void DiagnosticDialog::PaintDataPanel() {
    gui::PaintDC dc(Handle());
    RECT client{};
    GetClientRect(Handle(), &client);
    const PaintState state = {IsIconic(Handle()) != FALSE, client.right - client.left, client.bottom - client.top,
                              GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
    gui::GdiCanvas canvas(dc.Get(), Art());
    core_.PaintDataPanel(canvas, state);
    if (!state.iconic) Default();
}

bool DiagnosticDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message != WM_NCPAINT && message != WM_NCACTIVATE) return false;
    // The platform draws its frame and caption first; the skin's title strip
    // then covers the caption.
    DefWindowProcW(Handle(), message, wParam, lParam);
    PaintCaptionStrip();
    // Non-zero for WM_NCACTIVATE: the activation change goes ahead.
    result = message;
    return true;
}

void DiagnosticDialog::PaintCaptionStrip() {
    gui::WindowDC dc(Handle());
    gui::GdiCanvas canvas(dc.Get(), Art());
    core_.PaintCaptionStrip(canvas);
}

HCURSOR DiagnosticDialog::OnQueryDragIcon() { return static_cast<HCURSOR>(icon_); }

void DiagnosticDialog::OnLButtonDown(UINT, POINT) {
    core_.OnLButtonDown();
    Default();
}

void DiagnosticDialog::OnLButtonUp(UINT, POINT) {
    CarryOut(core_.OnLButtonUp());
    Default();
}

bool DiagnosticDialog::PreTranslateMessage(const MSG& message) {
    if (message.message != WM_KEYDOWN) return false;
    const std::optional<Key> key = CommandKey(message.wParam);
    if (!key) return false;
    // A held key runs its command once: a refresh blocks for a while, and
    // the repeats queued meanwhile would run it again and again.
    const bool repeat = (message.lParam & (1 << 30)) != 0;
    if (!repeat) CarryOut(core_.OnKey(*key));
    return true;
}

void DiagnosticDialog::CarryOut(ClickAction action) {
    switch (action) {
    case ClickAction::EndDialog:
        gui::Dialog::OnCancel();
        break;
    case ClickAction::RepaintErased:
        InvalidateRect(Handle(), nullptr, TRUE);
        break;
    case ClickAction::None:
        break;
    }
}

void DiagnosticDialog::OnMouseMove(UINT, POINT point) {
    core_.OnMouseMove(point.x, point.y);
    Default();
}

BOOL DiagnosticDialog::OnSetCursor(HWND, UINT, UINT) {
    if (core_.OnSetCursor()) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    }
    return static_cast<BOOL>(Default());
}

}  // namespace ldt

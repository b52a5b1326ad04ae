#include "app/win32/DiagnosticDialog.h"

#include "platform/Platform.h"
#include "platform/win32/CommonControls.h"
#include "platform/win32/gui/SkinPicture.h"
#include "platform/win32/gui/WinApp.h"
#include "platform/win32/gui/WindowDpi.h"
#include "ui/Scale.h"
#include "ui/WindowGeometry.h"

#include "resource.h"

#include <commctrl.h>
#include <windowsx.h>

#include <optional>
#include <utility>

namespace ldt {

namespace {

// The command key a key press makes, judged with the modifier keys as they
// were when the press was queued.
std::optional<Key> CommandKey(WPARAM virtualKey) {
    if (GetKeyState(VK_MENU) < 0 || GetKeyState(VK_LWIN) < 0 || GetKeyState(VK_RWIN) < 0) return std::nullopt;
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    if (virtualKey == 'C' && ctrl && shift) return Key::CtrlShiftC;
    if (virtualKey == VK_TAB && !ctrl) return shift ? Key::ShiftTab : Key::Tab;
    if (shift) return std::nullopt;
    if (virtualKey == VK_F5 && !ctrl) return Key::F5;
    if (virtualKey == VK_SPACE && !ctrl) return Key::Space;
    if (virtualKey == 'S' && ctrl) return Key::CtrlS;
    if (virtualKey == 'C' && ctrl) return Key::CtrlC;
    return std::nullopt;
}

}  // namespace

DiagnosticDialog::DiagnosticDialog()
    : gui::Dialog(IDD_DIAGNOSTIC),
      icon_(LoadIconW(gui::ResourceHandle(), MAKEINTRESOURCEW(IDI_APP))),
      bus_(platform::MakeDeviceBus()),
      clock_(platform::MakeClock()),
      idleClock_(*clock_, [this] { PrepareFirstPaint(); }),
      codePage_(platform::MakeCodePage()),
      files_(platform::MakeReportFileSystem()),
      history_(platform::MakeHistoryFile()),
      core_({{*bus_, idleClock_, *codePage_, prompts_}, *files_, clipboard_, false, platform::DescribeSystem(),
             history_.get()}) {}

DiagnosticDialog::~DiagnosticDialog() {
    if (accessible_) {
        accessible_->Disconnect();
        accessible_->Release();
    }
}

const gui::MessageMap& DiagnosticDialog::GetMessageMap() const {
    static constexpr gui::MessageEntry kEntries[] = {
        gui::MapMessage<WM_PAINT, &DiagnosticDialog::PaintDataPanel>(),
        gui::MapQueryDragIcon<&DiagnosticDialog::OnQueryDragIcon>(),
        gui::MapMouse<WM_LBUTTONDOWN, &DiagnosticDialog::OnLButtonDown>(),
        gui::MapMouse<WM_LBUTTONUP, &DiagnosticDialog::OnLButtonUp>(),
        gui::MapMouse<WM_MOUSEMOVE, &DiagnosticDialog::OnMouseMove>(),
        gui::MapSetCursor<&DiagnosticDialog::OnSetCursor>(),
        gui::MapMessage<WM_DEVICECHANGE, &DiagnosticDialog::OnDeviceChange>(),
        gui::MapMessage<WM_TIMER, &DiagnosticDialog::OnTimer>(),
        gui::MapMessage<WM_DPICHANGED, &DiagnosticDialog::OnDpiChanged>(),
        gui::MapMessage<WM_GETOBJECT, &DiagnosticDialog::OnGetObject>(),
        gui::MapMessage<kPressMessage, &DiagnosticDialog::OnPress>(),
        gui::MapMessage<WM_UPDATEUISTATE, &DiagnosticDialog::OnUpdateUiState>(),
        gui::MapMessage<WM_DESTROY, &DiagnosticDialog::OnDestroy>(),
        gui::MapMessage<WM_NOTIFY, &DiagnosticDialog::OnNotify>(),
        gui::MapMessage<WM_MOUSEHOVER, &DiagnosticDialog::OnMouseHover>(),
    };
    static constexpr gui::MessageMap kMap = gui::MakeMessageMap(&kBaseMessageMap, kEntries);
    return kMap;
}

BOOL DiagnosticDialog::OnInitDialog() {
    prompts_.SetOwner(Handle());
    clipboard_.SetOwner(Handle());

    gui::KeepDialogFromRescaling(Handle());
    core_.SetDpi(gui::WindowDpi(Handle()));

    // Before the first refresh, so that a machine plugged in while it runs
    // still brings a refresh of its own.
    printerInterfaces_ = gui::NotifyInterfaceChanges(Handle(), win32::ToWinGuid(kUsbPrintInterfaceClass));
    // The icons, the shape, the place and the skin above 100 % are set up
    // while the machine works on the first query; without a query, here.
    // The window is not shown before this returns either way.
    core_.RefreshMachineData();
    PrepareFirstPaint();
    AfterCommand();
    return TRUE;
}

void DiagnosticDialog::PlaceEmptyBoxesTip(UINT message) {
    if (!emptyBoxesTip_) return;
    UINT_PTR id = 0;
    for (const Rect& box : DiagnosticCore::ValueBoxes()) {
        const Rect at = ScaleRect(box, core_.Dpi());
        TOOLINFOW tool{};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every version of the control
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = Handle();
        tool.uId = ++id;
        tool.rect = {at.left, at.top, at.right, at.bottom};
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(emptyBoxesTip_, message, 0, reinterpret_cast<LPARAM>(&tool));
    }
    // Several lines (the hint's line break, long sentences wrapped).
    SendMessageW(emptyBoxesTip_, TTM_SETMAXTIPWIDTH, 0, ScalePx(480, core_.Dpi()));
}

LRESULT DiagnosticDialog::OnNotify(WPARAM, LPARAM data) {
    auto* header = reinterpret_cast<NMHDR*>(data);
    if (!emptyBoxesTip_ || header->hwndFrom != emptyBoxesTip_ || header->code != TTN_GETDISPINFOW) return Default();
    // Tool i + 1 is value box i.
    const WString hint = core_.BoxTip(static_cast<std::size_t>(header->idFrom) - 1);
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
    AfterCommand();
    if (action.armMs) SetTimer(Handle(), kDeviceTimer, action.armMs, nullptr);
    return 0;
}

void DiagnosticDialog::PrepareSkin() {
    const int dpi = core_.Dpi();
    scaledSkin_.Reset();  // never the picture of the DPI before
    if (dpi == kBaseDpi) return;
    // Without the picture the skin would not match the scaled layout; the
    // 100 % bitmap at least shows the values.
    scaledSkin_ = gui::ScaledSkin(gui::ResourceHandle(), IDR_SKIN_2X, ScalePx(kSkinBlockWidth, dpi),
                                  ScalePx(kSkinBlockHeight, dpi));
}

void DiagnosticDialog::PrepareFirstPaint() {
    if (std::exchange(firstPaintPrepared_, true)) return;
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    gui::ClipWindow(Handle(), WindowRegion(core_.Dpi()));
    const WindowPlacement place =
        PlaceWindow(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), core_.Dpi());
    MoveWindow(Handle(), place.left, place.top, place.width, place.height, TRUE);
    InvalidateRect(Handle(), nullptr, TRUE);
    PrepareSkin();
}

LRESULT DiagnosticDialog::OnDpiChanged(WPARAM dpi, LPARAM suggested) {
    core_.SetDpi(LOWORD(dpi));
    PrepareSkin();
    PlaceEmptyBoxesTip(TTM_NEWTOOLRECTW);
    gui::ClipWindow(Handle(), WindowRegion(core_.Dpi()));
    // The system's suggestion keeps the window on the monitor it moved to.
    if (const auto* r = reinterpret_cast<const RECT*>(suggested))
        SetWindowPos(Handle(), nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    return 0;
}

gui::GdiCanvas::Art DiagnosticDialog::Art() const {
    return {gui::ResourceHandle(), IDB_SKIN, Handle(), icon_, scaledSkin_.Get()};
}

LRESULT DiagnosticDialog::PaintDataPanel(WPARAM, LPARAM) {
    gui::PaintDC dc(Handle());
    RECT client{};
    GetClientRect(Handle(), &client);
    const PaintState state = {IsIconic(Handle()) != FALSE,   client.right - client.left,
                              client.bottom - client.top,    GetSystemMetrics(SM_CXICON),
                              GetSystemMetrics(SM_CYICON),   core_.Dpi()};
    gui::GdiCanvas canvas(dc.Get(), Art());
    core_.PaintDataPanel(canvas, state);
    if (!state.iconic) Default();
    return 0;
}

bool DiagnosticDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message != WM_NCPAINT && message != WM_NCACTIVATE) return false;
    // The platform draws its frame and caption first; the skin's title strip
    // then covers the caption.
    DefWindowProcW(Handle(), message, wParam, lParam);
    gui::WindowDC dc(Handle());
    gui::GdiCanvas canvas(dc.Get(), Art());
    core_.PaintCaptionStrip(canvas, core_.Dpi());
    // Non-zero for WM_NCACTIVATE: the activation change goes ahead.
    result = message;
    return true;
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
    // Space is ours, up and down: the template's hidden default button must
    // never see it.
    if ((message.message == WM_KEYUP || message.message == WM_CHAR) && message.wParam == VK_SPACE) return true;
    if (message.message != WM_KEYDOWN) return false;
    const std::optional<Key> key = CommandKey(message.wParam);
    if (!key) return false;
    // A held key runs its command once: a refresh blocks for a while, and
    // the repeats queued meanwhile would run it again and again.
    if (message.lParam & (1 << 30)) return true;
    CarryOut(core_.OnKey(*key));
    // The keyboard is in use: the platform's cue state says so too.
    if (*key == Key::Tab || *key == Key::ShiftTab)
        SendMessageW(Handle(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    return true;
}

void DiagnosticDialog::CarryOut(ClickAction action) {
    if (action == ClickAction::EndDialog) gui::Dialog::OnCancel();
    else if (action != ClickAction::None) InvalidateRect(Handle(), nullptr, action == ClickAction::RepaintErased);
    AfterCommand();
}

void DiagnosticDialog::AfterCommand() {
    for (const DiagnosticCore::Announcement& told : core_.TakeAnnouncements()) {
        const DWORD event =
            told.kind == DiagnosticCore::Announcement::Focus ? EVENT_OBJECT_FOCUS : EVENT_OBJECT_VALUECHANGE;
        NotifyWinEvent(event, Handle(), OBJID_CLIENT, static_cast<LONG>(told.item) + 1);
    }
    if (core_.PressesWaiting()) PostMessageW(Handle(), kPressMessage, 0, 0);
}

void DiagnosticDialog::Press(HotButton button) {
    // The caller (another process) must not wait for a refresh or a box.
    if (core_.QueuePress(button)) PostMessageW(Handle(), kPressMessage, 0, 0);
}

LRESULT DiagnosticDialog::OnPress(WPARAM, LPARAM) {
    CarryOut(core_.RunPresses());
    return 0;
}

LRESULT DiagnosticDialog::OnGetObject(WPARAM flags, LPARAM objectId) {
    if (static_cast<LONG>(static_cast<DWORD>(objectId)) != OBJID_CLIENT) return Default();
    if (!accessible_) accessible_ = new WindowAccessible(Handle(), *this);
    return LresultFromObject(IID_IAccessible, flags, accessible_);
}

LRESULT DiagnosticDialog::OnDestroy(WPARAM, LPARAM) {
    if (accessible_) accessible_->Disconnect();
    return Default();
}

LRESULT DiagnosticDialog::OnUpdateUiState(WPARAM, LPARAM) {
    const LRESULT result = Default();
    const auto state = static_cast<UINT>(SendMessageW(Handle(), WM_QUERYUISTATE, 0, 0));
    if (core_.ShowFocusCue((state & UISF_HIDEFOCUS) == 0)) InvalidateRect(Handle(), nullptr, FALSE);
    return result;
}

void DiagnosticDialog::OnMouseMove(UINT, POINT point) {
    // The tooltip is made once the pointer first rests over the window.
    if (!tipTried_) {
        TRACKMOUSEEVENT hover = {sizeof hover, TME_HOVER, Handle(), HOVER_DEFAULT};
        TrackMouseEvent(&hover);
    }
    core_.OnMouseMove(point.x, point.y);
    Default();
}

LRESULT DiagnosticDialog::OnMouseHover(WPARAM flags, LPARAM at) {
    if (tipTried_) return Default();
    // Made when the pointer first rests over the window, not at start-up:
    // the common controls library is loaded then, if ever.
    tipTried_ = true;
    const win32::CommonControlsScope version6;
    const auto initControls = win32::LateLoad<BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*)>(L"comctl32.dll",
                                                                                        "InitCommonControlsEx");
    const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    if (!initControls || !initControls(&controls)) return 0;  // the window works on without it
    // A tool over each value box whose text is asked for each time it is
    // about to show: the core's hint, empty (no tip) while values show.
    emptyBoxesTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                                     gui::ResourceHandle(), nullptr);
    if (!emptyBoxesTip_) return 0;  // the window works on without it
    PlaceEmptyBoxesTip(TTM_ADDTOOLW);
    // The tooltip sees the pointer's moves from the next one on; it starts
    // from where the pointer rests.
    MSG move = {Handle(), WM_MOUSEMOVE, flags, at, static_cast<DWORD>(GetMessageTime()),
                {GET_X_LPARAM(at), GET_Y_LPARAM(at)}};
    ClientToScreen(Handle(), &move.pt);
    SendMessageW(emptyBoxesTip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&move));
    return 0;
}

BOOL DiagnosticDialog::OnSetCursor(HWND, UINT, UINT) {
    if (!core_.OnSetCursor()) return static_cast<BOOL>(Default());
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return TRUE;
}

}  // namespace ldt

#pragma once
// The diagnostic window: a skinned modal dialog whose behaviour lives in
// ldt::DiagnosticCore; this class carries it out on Win32. F5, Ctrl+S,
// Ctrl+C, Ctrl+Shift+C, Tab, Shift+Tab and Space are taken before the dialog
// manager; Return and Escape stay the template's invisible OK and (disabled)
// Cancel buttons': Return ends the dialog, Escape does nothing. The window is
// drawn at the DPI of its monitor and answers screen readers (WindowAccessible).

#include "platform/win32/Win32Clipboard.h"
#include "platform/win32/Win32Prompts.h"
#include "platform/win32/gui/DeviceNotification.h"
#include "platform/win32/gui/Dialog.h"
#include "platform/win32/gui/GdiCanvas.h"
#include "seams/Clock.h"
#include "seams/CodePage.h"
#include "seams/DeviceBus.h"
#include "seams/ReportFile.h"
#include "app/IdleWorkClock.h"
#include "app/win32/WindowAccessible.h"
#include "ui/DiagnosticCore.h"

#include <memory>
#include <string>

namespace ldt {

class DiagnosticDialog final : public gui::Dialog, private WindowAccessible::Source {
public:
    // The timer of the refresh of the dialog's own when printer-class
    // interfaces come and go; the core says when it fires.
    static constexpr UINT_PTR kDeviceTimer = 1;

    // Posted to run the presses of assistive technology that wait in the
    // core (DiagnosticCore::RunPresses).
    static constexpr UINT kPressMessage = WM_APP + 1;

    DiagnosticDialog();
    ~DiagnosticDialog() override;

protected:
    BOOL OnInitDialog() override;
    bool PreTranslateMessage(const MSG& message) override;
    bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    const gui::MessageMap& GetMessageMap() const override;

private:
    LRESULT PaintDataPanel(WPARAM, LPARAM);
    HCURSOR OnQueryDragIcon();
    void OnLButtonDown(UINT flags, POINT point);
    void OnLButtonUp(UINT flags, POINT point);
    void OnMouseMove(UINT flags, POINT point);
    LRESULT OnMouseHover(WPARAM flags, LPARAM at);
    BOOL OnSetCursor(HWND window, UINT hitTest, UINT message);
    LRESULT OnDeviceChange(WPARAM event, LPARAM data);
    LRESULT OnTimer(WPARAM id, LPARAM);
    void CarryOut(ClickAction action);
    LRESULT OnDpiChanged(WPARAM dpi, LPARAM suggested);
    LRESULT OnGetObject(WPARAM flags, LPARAM objectId);
    LRESULT OnPress(WPARAM button, LPARAM);
    LRESULT OnUpdateUiState(WPARAM, LPARAM);
    LRESULT OnDestroy(WPARAM, LPARAM);
    // The skin picture for the core's DPI (none at 96: the bitmap resource).
    void PrepareSkin();
    // Raises the events the core says are due and queues the presses
    // that wait.
    void AfterCommand();
    // Sets the window's icons, shapes and centres it, and PrepareSkin: once,
    // before the window first shows.
    void PrepareFirstPaint();
    // Adds (TTM_ADDTOOLW) or moves (TTM_NEWTOOLRECTW) the tooltip's tools
    // over the value boxes at the core's DPI.
    void PlaceEmptyBoxesTip(UINT message);
    LRESULT OnNotify(WPARAM, LPARAM data);

    // WindowAccessible::Source
    std::vector<AccessibleItem> Items() const override { return core_.Describe(); }
    int Dpi() const override { return core_.Dpi(); }
    HotButton Focused() const override { return core_.Focused(); }
    void Press(HotButton button) override;

    gui::GdiCanvas::Art Art() const;

    HICON icon_;
    std::unique_ptr<DeviceBus> bus_;
    std::unique_ptr<Clock> clock_;
    IdleWorkClock idleClock_;  // sets the window up in the first query's pause
    std::unique_ptr<CodePage> codePage_;
    std::unique_ptr<ReportFileSystem> files_;
    std::unique_ptr<HistoryFile> history_;
    Win32Prompts prompts_;
    Win32Clipboard clipboard_;
    DiagnosticCore core_;
    win32::UniqueDeviceNotification printerInterfaces_;
    gui::Bitmap scaledSkin_;
    WindowAccessible* accessible_ = nullptr;  // one reference, made on the first request
    HWND emptyBoxesTip_ = nullptr;  // a tooltip control over the value area, owned by the dialog
    std::wstring emptyBoxesText_;   // what it shows, while it shows it
    bool tipTried_ = false;         // OnMouseHover has tried to make the tooltip
    bool firstPaintPrepared_ = false;
};

}  // namespace ldt

#pragma once
// The diagnostic window: a skinned modal dialog whose behaviour lives in
// ldt::DiagnosticCore; this class carries it out on Win32. F5, Ctrl+S,
// Ctrl+C and Ctrl+Shift+C are taken before the dialog manager; Return and Escape stay the
// template's invisible OK and (disabled) Cancel buttons': Return ends the
// dialog, Escape does nothing.

#include "platform/win32/Win32Clipboard.h"
#include "platform/win32/Win32Prompts.h"
#include "platform/win32/gui/DeviceNotification.h"
#include "platform/win32/gui/Dialog.h"
#include "platform/win32/gui/GdiCanvas.h"
#include "seams/Clock.h"
#include "seams/CodePage.h"
#include "seams/DeviceBus.h"
#include "seams/ReportFile.h"
#include "ui/DiagnosticCore.h"

#include <memory>
#include <string>

namespace ldt {

class DiagnosticDialog final : public gui::Dialog {
public:
    // The timer of the refresh of the dialog's own when printer-class
    // interfaces come and go; the core says when it fires.
    static constexpr UINT_PTR kDeviceTimer = 1;

    explicit DiagnosticDialog(HWND parent = nullptr);

    const DiagnosticCore& Core() const { return core_; }

protected:
    BOOL OnInitDialog() override;
    bool PreTranslateMessage(const MSG& message) override;
    bool WindowProc(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    const gui::MessageMap& GetMessageMap() const override;

private:
    void ShapeWindow();
    void PaintDataPanel();
    void PaintCaptionStrip();
    HCURSOR OnQueryDragIcon();
    void OnLButtonDown(UINT flags, POINT point);
    void OnLButtonUp(UINT flags, POINT point);
    void OnMouseMove(UINT flags, POINT point);
    BOOL OnSetCursor(HWND window, UINT hitTest, UINT message);
    LRESULT OnDeviceChange(WPARAM event, LPARAM data);
    LRESULT OnTimer(WPARAM id, LPARAM);
    void CarryOut(ClickAction action);
    void WatchPrinterInterfaces();
    void AddEmptyBoxesTip();
    LRESULT OnNotify(WPARAM, LPARAM data);

    gui::GdiCanvas::Art Art() const;

    HICON icon_;
    std::unique_ptr<DeviceBus> bus_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<CodePage> codePage_;
    std::unique_ptr<ReportFileSystem> files_;
    Win32Prompts prompts_;
    Win32Clipboard clipboard_;
    DiagnosticCore core_;
    gui::DeviceNotification printerInterfaces_;
    HWND emptyBoxesTip_ = nullptr;  // a tooltip control over the value area, owned by the dialog
    std::wstring emptyBoxesText_;   // what it shows, while it shows it
};

}  // namespace ldt

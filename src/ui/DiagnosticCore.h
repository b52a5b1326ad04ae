#pragma once
// The diagnostic dialog's state and behaviour, free of any window system:
// the platform shells (Win32 dialog, Qt widget) forward messages here and
// carry out what comes back.

#include "link/Refresh.h"
#include "machine/MachineData.h"
#include "seams/Canvas.h"
#include "seams/Clipboard.h"
#include "seams/ReportFile.h"
#include "ui/AccessibleModel.h"
#include "ui/DataPanel.h"
#include "ui/HotButtons.h"

namespace ldt {

struct DialogServices {
    DeviceBus& bus;
    Clock& clock;
    const CodePage& codePage;
    Prompts& prompts;
    ReportFileSystem& files;
    Clipboard& clipboard;
    // Whether a requested refresh that found ports but could open none of
    // them says why in an "Error" box (the Linux window does; the Windows
    // one skips such ports silently).
    bool explainUnopenedPorts = false;
};

// What the shell must do after a button release or a command key.
enum class ClickAction {
    None,
    EndDialog,      // Close was clicked
    RepaintErased,  // Refresh ran: invalidate the whole client area, erasing
    Repaint,        // the keyboard focus or its cue changed: repaint the client area
};

// The dialog's command keys, as the shells recognise them: the key alone
// (F5, Tab, Space), with Shift alone (Tab) or with Ctrl alone (S, C); other
// modifiers make no command key.
enum class Key {
    F5,        // Refresh
    CtrlS,     // Save as
    CtrlC,     // the report onto the clipboard
    Tab,       // focus to the next button: Refresh, Save as, Close and round
    ShiftTab,  // focus to the previous button
    Space,     // presses the focused button, as a click on it
};

class DiagnosticCore {
public:
    explicit DiagnosticCore(const DialogServices& services) : services_(services) {}

    // A refresh the user asked for (at start and with the Refresh button).
    void RefreshMachineData();
    // A refresh of the program's own, when a device came or went: never
    // shows a box. Returns false, doing nothing, while a refresh or a box of
    // this dialog is under way (a modal box runs a nested message loop); the
    // shell then tries again later.
    bool AutoRefresh();
    void SaveReport();
    // Puts the report's sixteen lines on the clipboard, exactly the text
    // of the report file (each line ending "\r\n"). No data: the same
    // no-data box as Save as. A clipboard that cannot be taken: an "Error"
    // box saying so, with the cause.
    void CopyReport();

    // A command key pressed in the dialog (auto-repeats are the shell's to
    // drop): runs the command as its button would and returns what the
    // shell must then do, the same as after that button's click (Repaint
    // when only the focus or its cue changed). Tab and Shift+Tab show the
    // focus cue; Space without a focused button does nothing. Does nothing
    // while a refresh, Save as or a box of this dialog is under way.
    ClickAction OnKey(Key key);

    // Exactly what a click on `button` does (Space, and an assistive
    // technology's default action); nothing for HotNone or while a
    // refresh, Save as or a box of this dialog is under way.
    ClickAction Press(HotButton button);

    // The button with the keyboard focus: HotNone until the first Tab or
    // Shift+Tab. Clicks do not move it.
    HotButton Focused() const { return focused_; }
    // Whether the focus cue is painted: hidden until the keyboard is used,
    // then shown (the shell may also set it from the platform's own rule).
    bool FocusCueShown() const { return focusCueShown_; }
    // Returns true when this changed what is painted.
    bool ShowFocusCue(bool shown);

    // The window as a screen reader reads it (DescribeWindow of Data()).
    std::vector<AccessibleItem> Describe() const { return DescribeWindow(data_); }

    // The DPI mouse positions are given at (96 until the shell says).
    void SetDpi(int dpi) { dpi_ = dpi; }
    int Dpi() const { return dpi_; }

    // (x, y): client pixels at Dpi().
    void OnMouseMove(int x, int y) { buttons_.OnMouseMove(x, y, dpi_); }
    // True when the shell should show the hand cursor (and skip default
    // processing).
    bool OnSetCursor() const { return buttons_.WantsHandCursor(); }
    void OnLButtonDown() { buttons_.OnLButtonDown(); }
    // Runs Save as or Refresh to completion when a button is clicked.
    ClickAction OnLButtonUp();

    // Paints at state.dpi, the focus cue included while it is shown.
    void PaintDataPanel(Canvas& canvas, const PaintState& state) const;
    void PaintCaptionStrip(Canvas& windowCanvas, int dpi = kBaseDpi) const;

    const MachineData& Data() const { return data_; }
    const MachineLink& Link() const { return link_; }
    const ButtonTracker& Buttons() const { return buttons_; }

private:
    DialogServices services_;
    MachineLink link_;
    MachineData data_;
    ButtonTracker buttons_;
    bool busy_ = false;  // a refresh, Save as or a box is under way
    HotButton focused_ = HotNone;
    bool focusCueShown_ = false;
    int dpi_ = kBaseDpi;
};

}  // namespace ldt

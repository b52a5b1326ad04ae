#pragma once
// The diagnostic dialog's state and behaviour, free of any window system:
// the platform shells (Win32 dialog, Qt widget) forward messages here and
// carry out what comes back.

#include "link/Diagnosis.h"
#include "link/History.h"
#include "link/Refresh.h"
#include "machine/MachineData.h"
#include "seams/Canvas.h"
#include "seams/Clipboard.h"
#include "seams/ReportFile.h"
#include "ui/AccessibleModel.h"
#include "ui/DataPanel.h"
#include "ui/HotButtons.h"

#include <vector>

namespace ldt {

struct DialogServices {
    LinkServices link;
    ReportFileSystem& files;
    Clipboard& clipboard;
    // Whether a requested refresh that found ports but could open none of
    // them says why in an "Error" box (the Linux window does; the Windows
    // one skips such ports silently).
    bool explainUnopenedPorts = false;
    // The operating system, as the diagnosis names it.
    WString system = {};
    // Where each machine read is recorded and compared with its previous
    // reading (none: neither; LDT_NO_HISTORY: compared, not recorded). A
    // history that cannot be written only adds a line to the diagnosis.
    HistoryFile* history = nullptr;
};

// The refresh of the dialog's own when printer-class ports come and go.
// Quiet time after the last device event before it runs:
constexpr unsigned kDeviceSettleMs = 500;
// When it finds a port gone that may come back by itself (a printing
// service took it away for a moment), the values stay and it looks again
// this much later:
constexpr unsigned kPortReturnMs = 2000;

// What the shell does after the device timer fired: repaint (erasing) or
// not, and arm the timer again for `armMs` (0: leave it stopped).
struct DeviceTimerAction {
    bool repaint = false;
    unsigned armMs = 0;
};

// What the shell must do after a button release or a command key.
enum class ClickAction {
    None,
    EndDialog,      // Close was clicked
    RepaintErased,  // Refresh ran: invalidate the whole client area, erasing
    Repaint,        // the keyboard focus or its cue changed: repaint the client area
};

// The dialog's command keys, as the shells recognise them: the key alone
// (F5, Tab, Space), with Shift alone (Tab), with Ctrl alone (S, C) or with
// Ctrl and Shift (C); other modifiers make no command key.
enum class Key {
    F5,        // Refresh
    CtrlS,     // Save as
    CtrlC,     // the report onto the clipboard
    Tab,       // focus to the next button: Refresh, Save as, Close and round
    ShiftTab,  // focus to the previous button
    Space,     // presses the focused button, as a click on it
    CtrlShiftC,  // the diagnosis onto the clipboard
};

class DiagnosticCore {
public:
    explicit DiagnosticCore(const DialogServices& services) : services_(services) {}

    // A refresh the user asked for (at start and with the Refresh button).
    void RefreshMachineData();
    // A printer-class port came or went: returns after how many
    // milliseconds the shell fires its one device timer, restarting it if
    // it runs (so a burst of events brings one refresh, after the last).
    unsigned OnDevicesChanged() const { return kDeviceSettleMs; }
    // The device timer fired (the shell has stopped it): a refresh of the
    // program's own, which never shows a box. While a refresh or a box of
    // this dialog is under way (a modal box runs a nested message loop) it
    // does nothing and asks to be fired again after kDeviceSettleMs. When
    // it finds a port gone that had answered and whose device may bring it
    // back (DeviceBus::PortMayReturn), the values stay and it asks to be
    // fired again after kPortReturnMs; that look takes what it finds.
    DeviceTimerAction OnDeviceTimer();
    void SaveReport();
    // Puts the report's sixteen lines on the clipboard, exactly the text
    // of the report file (each line ending "\r\n"). No data: the same
    // no-data box as Save as. A clipboard that cannot be taken: an "Error"
    // box saying so, with the cause.
    void CopyReport();
    // Puts the diagnosis of the last refresh on the clipboard as text (lines
    // ending "\r\n"), with data or without. A clipboard that cannot be
    // taken: the same "Error" box as CopyReport.
    void CopyDiagnosis();

    // What the empty boxes' tooltip says: one or two sentences about the
    // last refresh; empty while the boxes show values (or before any
    // refresh), when there is no tooltip.
    WString EmptyBoxesHint() const;
    // The boxes that show values, in client coordinates (96-DPI units):
    // where the shells show EmptyBoxesHint as a tooltip, the same places a
    // screen reader gives those boxes.
    static std::vector<Rect> ValueBoxes();
    // The tooltip of ValueBoxes()[box]: EmptyBoxesHint while the boxes are
    // empty; else, when its value differs from the machine's previous
    // reading, what it was and when ("Power was 62 on 2026-12-01 10:12");
    // else empty (no tooltip).
    WString BoxTip(std::size_t box) const;
    const Diagnosis& LastDiagnosis() const { return diagnosis_; }
    // The values of the machine the window shows that differ from its
    // previous reading; empty on its first reading or when nothing changed.
    const std::vector<FieldChange>& Changes() const { return changes_; }

    // A command key pressed in the dialog (auto-repeats are the shell's to
    // drop): runs the command as its button would and returns what the
    // shell must then do, the same as after that button's click (Repaint
    // when only the focus or its cue changed). Tab and Shift+Tab show the
    // focus cue; Space without a focused button does nothing. Does nothing
    // while a refresh, Save as or a box of this dialog is under way.
    ClickAction OnKey(Key key);

    // Exactly what a click on `button` does (Space); nothing for HotNone or
    // while a refresh, Save as or a box of this dialog is under way.
    ClickAction Press(HotButton button);

    // A press from assistive technology, which the shell runs later from
    // its event loop (RunPresses), never inside the client's request.
    // Returns whether the shell must queue that run: a press of a button
    // already waiting, and a Refresh press while a refresh runs, fold into
    // it. Nothing for HotNone.
    bool QueuePress(HotButton button);
    // Runs the waiting presses (Close first, then Refresh, then Save as)
    // and returns what the shell must then do. While a refresh, Save as or
    // a box is under way they keep waiting: the shell asks again once that
    // has ended, so that a Close pressed under the Save As box closes the
    // window when the box closes.
    ClickAction RunPresses();
    // Whether presses wait that could run now: the shell queues a run.
    bool PressesWaiting() const { return waiting_ != 0 && !busy_; }

    // The button with the keyboard focus: HotNone until the first Tab or
    // Shift+Tab. Clicks do not move it.
    HotButton Focused() const { return focused_; }
    // Whether the focus cue is painted: hidden until the keyboard is used,
    // then shown (the shell may also set it from the platform's own rule).
    bool FocusCueShown() const { return focusCueShown_; }
    // Returns true when this changed what is painted.
    bool ShowFocusCue(bool shown);

    // The window as a screen reader reads it (DescribeWindow of Data()).
    // A box whose value changed carries the sentence of its tooltip as its
    // description.
    std::vector<AccessibleItem> Describe() const;

    // What assistive technology is to be told, in order: a value change
    // for each item whose text changed since the last call, then the focus
    // when the keyboard focus moved to another button. The shells call it
    // after the first refresh (which sets what was told: it returns
    // nothing), after carrying out each click, key and press, and after an
    // automatic refresh.
    struct Announcement {
        enum Kind { ValueChanged, Focus } kind;
        std::size_t item;     // position in Describe()
        WString before, now;  // the item's value (ValueChanged)
    };
    std::vector<Announcement> TakeAnnouncements();

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
    const ButtonTracker& Buttons() const { return buttons_; }

private:
    void PutOnClipboard(const WString& text);
    // What every refresh ends with: its diagnosis, its readings recorded
    // and the shown machine's changes taken.
    void TakeOutcome(RefreshOutcome outcome);

    DialogServices services_;
    MachineLink link_;
    MachineData data_;
    ButtonTracker buttons_;
    bool busy_ = false;  // a refresh, Save as or a box is under way
    HotButton focused_ = HotNone;
    bool focusCueShown_ = false;
    int dpi_ = kBaseDpi;
    Diagnosis diagnosis_;
    std::vector<FieldChange> changes_;
    bool awaitingReturn_ = false;   // values kept for a port that left; the next look takes what it finds
    bool refreshing_ = false;       // a refresh the user asked for runs
    unsigned waiting_ = 0;          // presses queued by assistive technology, one bit per HotButton
    std::vector<AccessibleItem> announced_;  // what assistive technology was last told
    HotButton announcedFocus_ = HotNone;
};

}  // namespace ldt

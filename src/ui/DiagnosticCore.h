#pragma once
// The diagnostic dialog's state and behaviour, free of any window system:
// the platform shells (Win32 dialog, Qt widget) forward messages here and
// carry out what comes back.

#include "link/Refresh.h"
#include "machine/MachineData.h"
#include "seams/Canvas.h"
#include "seams/Clipboard.h"
#include "seams/ReportFile.h"
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
};

// The dialog's command keys, as the shells recognise them: the key alone
// (F5) or with Ctrl alone (S, C); other modifiers make no command key.
enum class Key {
    F5,     // Refresh
    CtrlS,  // Save as
    CtrlC,  // the report onto the clipboard
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
    // shell must then do, the same as after that button's click. Does
    // nothing while a refresh, Save as or a box of this dialog is under way.
    ClickAction OnKey(Key key);

    void OnMouseMove(int x, int y) { buttons_.OnMouseMove(x, y); }
    // True when the shell should show the hand cursor (and skip default
    // processing).
    bool OnSetCursor() const { return buttons_.WantsHandCursor(); }
    void OnLButtonDown() { buttons_.OnLButtonDown(); }
    // Runs Save as or Refresh to completion when a button is clicked.
    ClickAction OnLButtonUp();

    void PaintDataPanel(Canvas& canvas, const PaintState& state) const;
    void PaintCaptionStrip(Canvas& windowCanvas) const;

    const MachineData& Data() const { return data_; }
    const MachineLink& Link() const { return link_; }
    const ButtonTracker& Buttons() const { return buttons_; }

private:
    DialogServices services_;
    MachineLink link_;
    MachineData data_;
    ButtonTracker buttons_;
    bool busy_ = false;  // a refresh, Save as or a box is under way
};

}  // namespace ldt

#pragma once
// The diagnostic dialog's state and behaviour, free of any window system:
// the platform shells (Win32 dialog, Qt widget) forward messages here and
// carry out what comes back.

#include "link/Refresh.h"
#include "machine/MachineData.h"
#include "seams/Canvas.h"
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
    // Whether a requested refresh that found ports but could open none of
    // them says why in an "Error" box (the Linux window does; the Windows
    // one skips such ports silently).
    bool explainUnopenedPorts = false;
};

// What the shell must do after a button release.
enum class ClickAction {
    None,
    EndDialog,      // Close was clicked
    RepaintErased,  // Refresh ran: invalidate the whole client area, erasing
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

#include "ui/DiagnosticCore.h"

#include "machine/Report.h"
#include "seams/ProductText.h"

namespace ldt {

namespace {

// Marks the core busy for the life of the guard.
class BusyGuard {
public:
    explicit BusyGuard(bool& busy) : busy_(busy), was_(busy) { busy_ = true; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;
    ~BusyGuard() { busy_ = was_; }

private:
    bool& busy_;
    bool was_;
};

}  // namespace

void DiagnosticCore::RefreshMachineData() {
    BusyGuard guard(busy_);
    const RefreshOutcome outcome = ldt::RefreshMachineData(
        link_, data_, {services_.bus, services_.clock, services_.codePage, services_.prompts});
    if (services_.explainUnopenedPorts) {
        const WString why = UnopenedPortsText(outcome);
        if (!why.empty()) services_.prompts.ShowError(why);
    }
}

bool DiagnosticCore::AutoRefresh() {
    if (busy_) return false;
    BusyGuard guard(busy_);
    ldt::RefreshMachineData(link_, data_, {services_.bus, services_.clock, services_.codePage, services_.prompts},
                            RefreshKind::Automatic);
    return true;
}

void DiagnosticCore::SaveReport() {
    BusyGuard guard(busy_);
    ldt::SaveReport(data_, services_.prompts, services_.codePage, services_.files);
}

void DiagnosticCore::CopyReport() {
    BusyGuard guard(busy_);
    if (!data_.Available()) {
        services_.prompts.ShowError(kNoDataText);
        return;
    }
    const ClipboardResult result = services_.clipboard.PutText(ReportText(data_));
    if (result.copied) return;
    WString text = kCopyFailedText;
    if (!result.why.empty()) text += u"\n" + result.why;
    services_.prompts.ShowError(text);
}

ClickAction DiagnosticCore::OnKey(Key key) {
    if (busy_) return ClickAction::None;
    switch (key) {
    case Key::F5:
        RefreshMachineData();
        return ClickAction::RepaintErased;
    case Key::CtrlS:
        SaveReport();
        break;
    case Key::CtrlC:
        CopyReport();
        break;
    }
    return ClickAction::None;
}

ClickAction DiagnosticCore::OnLButtonUp() {
    ClickAction action = ClickAction::None;
    switch (buttons_.OnLButtonUp()) {
    case HotClose:
        action = ClickAction::EndDialog;
        break;
    case HotSaveAs:
        SaveReport();
        break;
    case HotRefresh:
        RefreshMachineData();
        action = ClickAction::RepaintErased;
        break;
    case HotNone:
        break;
    }
    buttons_.ReleaseDone();
    return action;
}

void DiagnosticCore::PaintDataPanel(Canvas& canvas, const PaintState& state) const {
    ldt::PaintDataPanel(canvas, state, data_);
}

void DiagnosticCore::PaintCaptionStrip(Canvas& windowCanvas) const {
    ldt::PaintCaptionStrip(windowCanvas);
}

}  // namespace ldt

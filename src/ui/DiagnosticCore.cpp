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

namespace {

// Tab order of the buttons.
constexpr HotButton kTabOrder[] = {HotRefresh, HotSaveAs, HotClose};
constexpr int kTabCount = 3;

HotButton NextInTabOrder(HotButton current, int step) {
    int at = step > 0 ? -1 : kTabCount;  // no focus yet: the first or the last
    for (int i = 0; i < kTabCount; ++i)
        if (kTabOrder[i] == current) at = i;
    return kTabOrder[((at + step) % kTabCount + kTabCount) % kTabCount];
}

}  // namespace

bool DiagnosticCore::ShowFocusCue(bool shown) {
    if (focusCueShown_ == shown) return false;
    focusCueShown_ = shown;
    return focused_ != HotNone;
}

ClickAction DiagnosticCore::OnKey(Key key) {
    if (busy_) return ClickAction::None;
    switch (key) {
    case Key::Tab:
    case Key::ShiftTab:
        focused_ = NextInTabOrder(focused_, key == Key::Tab ? 1 : -1);
        focusCueShown_ = true;
        return ClickAction::Repaint;
    case Key::Space:
        return Press(focused_);
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

ClickAction DiagnosticCore::Press(HotButton button) {
    if (busy_) return ClickAction::None;
    switch (button) {
    case HotClose:
        return ClickAction::EndDialog;
    case HotSaveAs:
        SaveReport();
        break;
    case HotRefresh:
        RefreshMachineData();
        return ClickAction::RepaintErased;
    case HotNone:
        break;
    }
    return ClickAction::None;
}

ClickAction DiagnosticCore::OnLButtonUp() {
    const ClickAction action = Press(buttons_.OnLButtonUp());
    buttons_.ReleaseDone();
    return action;
}

void DiagnosticCore::PaintDataPanel(Canvas& canvas, const PaintState& state) const {
    ldt::PaintDataPanel(canvas, state, data_, focusCueShown_ ? focused_ : HotNone);
}

void DiagnosticCore::PaintCaptionStrip(Canvas& windowCanvas, int dpi) const {
    ldt::PaintCaptionStrip(windowCanvas, dpi);
}

}  // namespace ldt

#include "ui/DiagnosticCore.h"

#include "machine/Report.h"
#include "seams/ProductText.h"

#include <algorithm>

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

// Whether a port that answered in `before` is missing from `after` and
// its device may bring it back.
bool AnsweredPortMayReturn(const RefreshOutcome& before, const RefreshOutcome& after, DeviceBus& bus) {
    for (const PortOutcome& old : before.ports) {
        if (!old.answered || old.path.empty()) continue;
        bool listed = false;
        for (const PortOutcome& now : after.ports) listed = listed || now.path == old.path;
        if (!listed && bus.PortMayReturn(old.path)) return true;
    }
    return false;
}

}  // namespace

void DiagnosticCore::RefreshMachineData() {
    BusyGuard guard(busy_);
    awaitingReturn_ = false;
    // The diagnosis is kept before any box, so a key pressed under it
    // already finds this refresh's.
    RefreshOutcome outcome = ldt::RefreshMachineData(link_, data_, services_.link);
    diagnosis_ = MakeDiagnosis(std::move(outcome), services_.system);
    KeepHistory();
    refreshed_ = true;
    if (services_.explainUnopenedPorts) {
        const WString why = UnopenedPortsText(diagnosis_.refresh);
        if (!why.empty()) services_.link.prompts.ShowError(why);
    }
}

DeviceTimerAction DiagnosticCore::OnDeviceTimer() {
    if (busy_) return {false, kDeviceSettleMs};
    BusyGuard guard(busy_);
    MachineLink link;
    MachineData data;
    RefreshOutcome outcome = ldt::RefreshMachineData(link, data, services_.link, RefreshKind::Automatic);
    if (!awaitingReturn_ && data_.Available() &&
        AnsweredPortMayReturn(diagnosis_.refresh, outcome, services_.link.bus)) {
        awaitingReturn_ = true;
        return {false, kPortReturnMs};
    }
    awaitingReturn_ = false;
    link_ = link;
    data_ = std::move(data);
    diagnosis_ = MakeDiagnosis(std::move(outcome), services_.system);
    KeepHistory();
    refreshed_ = true;
    return {true, 0};
}

void DiagnosticCore::KeepHistory() {
    HistoryOutcome history = UpdateHistory(services_.history, diagnosis_.refresh, services_.link.codePage,
                                           HistoryNow(), !HistoryOffByEnvironment());
    diagnosis_.history = std::move(history.problem);
    changes_.clear();
    // The window shows the values of the first port that brought any.
    for (PortHistory& port : history.ports)
        if (port.read) {
            changes_ = std::move(port.changes);
            break;
        }
}

void DiagnosticCore::SaveReport() {
    BusyGuard guard(busy_);
    ldt::SaveReport(data_, services_.link.prompts, services_.link.codePage, services_.files);
}

void DiagnosticCore::CopyReport() {
    BusyGuard guard(busy_);
    if (!data_.Available()) {
        services_.link.prompts.ShowError(kNoDataText);
        return;
    }
    PutOnClipboard(ReportText(data_));
}

void DiagnosticCore::CopyDiagnosis() {
    BusyGuard guard(busy_);
    WString text;
    for (char16_t c : DiagnosisText(diagnosis_)) text += c == u'\n' ? WString(u"\r\n") : WString(1, c);
    PutOnClipboard(text);
}

void DiagnosticCore::PutOnClipboard(const WString& text) {
    const ClipboardResult result = services_.clipboard.PutText(text);
    if (result.copied) return;
    WString why = kCopyFailedText;
    if (!result.why.empty()) why += u"\n" + result.why;
    services_.link.prompts.ShowError(why);
}

std::vector<Rect> DiagnosticCore::ValueBoxes() {
    // A line of text; the FPGA version's drawing rectangle runs far below
    // its box, over the buttons.
    constexpr int kLineHeight = 24;
    std::vector<Rect> boxes;
    const auto add = [&boxes](const Rect& r) {
        boxes.push_back({r.left, r.top, r.right, std::min(r.bottom, r.top + kLineHeight)});
    };
    for (const ValueSlot& slot : kValueSlots) add(slot.rect);
    for (const OffsetSlot& slot : kOffsetSlots) add({slot.label.left, slot.label.top, slot.value.right, slot.value.bottom});
    return boxes;
}

WString DiagnosticCore::EmptyBoxesHint() const {
    return refreshed_ ? ldt::EmptyBoxesHint(diagnosis_.refresh, data_.Available()) : WString();
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
    case Key::CtrlShiftC:
        CopyDiagnosis();
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

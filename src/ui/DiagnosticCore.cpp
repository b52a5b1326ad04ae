#include "ui/DiagnosticCore.h"

#include "machine/Report.h"
#include "seams/ProductText.h"

#include <algorithm>
#include <utility>

namespace ldt {

namespace {

// Marks the core busy for the life of the guard.
struct BusyGuard {
    bool& busy;
    const bool was = std::exchange(busy, true);
    ~BusyGuard() { busy = was; }
};

// Whether a port that answered in `before` is missing from `after` and
// its device may bring it back.
bool AnsweredPortMayReturn(const RefreshOutcome& before, const RefreshOutcome& after, DeviceBus& bus) {
    return std::any_of(before.ports.begin(), before.ports.end(), [&](const PortOutcome& old) {
        return old.answered && !old.path.empty() &&
               std::none_of(after.ports.begin(), after.ports.end(),
                            [&](const PortOutcome& now) { return now.path == old.path; }) &&
               bus.PortMayReturn(old.path);
    });
}

// The sentence for a box whose field changed; empty otherwise.
WString ChangeOf(const Box& box, const std::vector<FieldChange>& changes) {
    if (box.shows == BoxShows::Nothing) return {};
    for (const FieldChange& c : changes)
        if (c.field == static_cast<std::size_t>(box.field)) return ChangeSentence(c);
    return {};
}

}  // namespace

void DiagnosticCore::RefreshMachineData() {
    BusyGuard guard{busy_};
    BusyGuard refreshing{refreshing_};
    awaitingReturn_ = false;
    // The diagnosis is kept before any box, so a key pressed under it
    // already finds this refresh's.
    TakeOutcome(ldt::RefreshMachineData(link_, data_, services_.link));
    if (services_.explainUnopenedPorts) {
        const WString why = UnopenedPortsText(diagnosis_.refresh);
        if (!why.empty()) services_.link.prompts.ShowError(why);
    }
}

DeviceTimerAction DiagnosticCore::OnDeviceTimer() {
    if (busy_) return {false, kDeviceSettleMs};
    BusyGuard guard{busy_};
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
    TakeOutcome(std::move(outcome));
    return {true, 0};
}

void DiagnosticCore::TakeOutcome(RefreshOutcome outcome) {
    diagnosis_ = MakeDiagnosis(std::move(outcome), services_.system);
    HistoryOutcome history = UpdateHistory(services_.history, diagnosis_.refresh, services_.link.codePage,
                                           HistoryNow(), !HistoryOffByEnvironment());
    diagnosis_.history = std::move(history.problem);
    // The window shows the values of the first port that brought any.
    const auto shown =
        std::find_if(history.ports.begin(), history.ports.end(), [](const PortHistory& p) { return p.read; });
    changes_ = shown == history.ports.end() ? std::vector<FieldChange>() : std::move(shown->changes);
}

void DiagnosticCore::SaveReport() {
    BusyGuard guard{busy_};
    ldt::SaveReport(data_, services_.link.prompts, services_.link.codePage, services_.files);
}

void DiagnosticCore::CopyReport() {
    BusyGuard guard{busy_};
    if (data_.Available())
        PutOnClipboard(ReportText(data_));
    else
        services_.link.prompts.ShowError(kNoDataText);
}

void DiagnosticCore::CopyDiagnosis() {
    BusyGuard guard{busy_};
    WString text;
    for (char16_t c : DiagnosisText(diagnosis_)) text += c == u'\n' ? WString(u"\r\n") : WString(1, c);
    PutOnClipboard(text);
}

void DiagnosticCore::PutOnClipboard(const WString& text) {
    const ClipboardResult result = services_.clipboard.PutText(text);
    if (!result.copied)
        services_.link.prompts.ShowError(kCopyFailedText + (result.why.empty() ? WString() : u"\n" + result.why));
}

std::vector<Rect> DiagnosticCore::ValueBoxes() {
    std::vector<Rect> boxes;
    for (const Box& box : kBoxes)
        if (box.shows != BoxShows::Nothing) boxes.push_back(box.area);
    return boxes;
}

WString DiagnosticCore::BoxTip(std::size_t box) const {
    WString hint = EmptyBoxesHint();
    if (!hint.empty() || !data_.Available()) return hint;
    std::size_t at = 0;
    for (const Box& b : kBoxes)
        if (b.shows != BoxShows::Nothing && at++ == box) return ChangeOf(b, changes_);
    return {};
}

std::vector<AccessibleItem> DiagnosticCore::Describe() const {
    std::vector<AccessibleItem> items = DescribeWindow(data_);
    if (data_.Available())
        for (std::size_t i = 0; i < kBoxCount && i < items.size(); ++i) items[i].description = ChangeOf(kBoxes[i], changes_);
    return items;
}

WString DiagnosticCore::EmptyBoxesHint() const {
    // Every diagnosis is stamped with its time: none before the first refresh.
    return !diagnosis_.time.empty() ? ldt::EmptyBoxesHint(diagnosis_.refresh, data_.Available()) : WString();
}

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
        // The tab order, Refresh, Save as, Close and round, runs down the
        // buttons' numbers; with no focus yet Tab takes the first, Shift+Tab
        // the last.
        static_assert(HotRefresh == 3 && HotSaveAs == 2 && HotClose == 1 && HotNone == 0, "tab order by number");
        focused_ = key == Key::ShiftTab ? HotButton(focused_ % HotRefresh + 1)
                   : focused_ <= HotClose ? HotRefresh
                                          : HotButton(focused_ - 1);
        focusCueShown_ = true;
        return ClickAction::Repaint;
    case Key::Space: return Press(focused_);
    case Key::F5: return Press(HotRefresh);
    case Key::CtrlS: return Press(HotSaveAs);
    case Key::CtrlC: CopyReport(); break;
    case Key::CtrlShiftC: CopyDiagnosis(); break;
    }
    return ClickAction::None;
}

ClickAction DiagnosticCore::Press(HotButton button) {
    if (busy_) return ClickAction::None;
    if (button == HotClose) return ClickAction::EndDialog;
    if (button == HotSaveAs) SaveReport();
    if (button != HotRefresh) return ClickAction::None;
    RefreshMachineData();
    return ClickAction::RepaintErased;
}

bool DiagnosticCore::QueuePress(HotButton button) {
    const unsigned bit = 1u << button;
    if (button == HotNone || (waiting_ & bit) || (button == HotRefresh && refreshing_)) return false;
    const bool queued = waiting_ != 0;
    waiting_ |= bit;
    return !queued;
}

ClickAction DiagnosticCore::RunPresses() {
    ClickAction action = ClickAction::None;
    for (HotButton button : {HotClose, HotRefresh, HotSaveAs}) {
        if (busy_ || action == ClickAction::EndDialog) break;
        const unsigned bit = 1u << button;
        if (!(waiting_ & bit)) continue;
        waiting_ &= ~bit;
        const ClickAction done = Press(button);
        if (done != ClickAction::None) action = done;
    }
    return action;
}

std::vector<DiagnosticCore::Announcement> DiagnosticCore::TakeAnnouncements() {
    std::vector<AccessibleItem> now = Describe();
    std::vector<Announcement> told;
    // The first description is the baseline: nothing was said before it.
    if (!announced_.empty()) {
        for (std::size_t i : ChangedValues(announced_, now))
            told.push_back({Announcement::ValueChanged, i, i < announced_.size() ? announced_[i].value : WString(),
                            now[i].value});
        const std::size_t focused = IndexOfButton(now, focused_);
        if (focused_ != announcedFocus_ && focused < now.size())
            told.push_back({Announcement::Focus, focused, {}, {}});
    }
    announced_ = std::move(now);
    announcedFocus_ = focused_;
    return told;
}

ClickAction DiagnosticCore::OnLButtonUp() {
    const ClickAction action = Press(buttons_.OnLButtonUp());
    buttons_.ReleaseDone();
    return action;
}

void DiagnosticCore::PaintDataPanel(Canvas& canvas, const PaintState& state) const {
    std::vector<std::size_t> changed;
    for (const FieldChange& c : changes_) changed.push_back(c.field);
    ldt::PaintDataPanel(canvas, state, data_, focusCueShown_ ? focused_ : HotNone, changed);
}

void DiagnosticCore::PaintCaptionStrip(Canvas& windowCanvas, int dpi) const {
    ldt::PaintCaptionStrip(windowCanvas, dpi);
}

}  // namespace ldt

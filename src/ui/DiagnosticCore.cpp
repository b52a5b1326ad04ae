#include "ui/DiagnosticCore.h"

#include "machine/Report.h"

namespace ldt {

void DiagnosticCore::RefreshMachineData() {
    ldt::RefreshMachineData(link_, data_,
                            {services_.bus, services_.clock, services_.codePage, services_.prompts});
}

void DiagnosticCore::SaveReport() {
    ldt::SaveReport(data_, services_.prompts, services_.codePage, services_.files);
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

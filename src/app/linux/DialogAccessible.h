#pragma once
// What assistive technology sees of the diagnostic window: the dialog with
// one child per entry of the core's description (DiagnosticCore::Describe),
// the white boxes and the version text as static text whose value is also
// readable as text, the three buttons with a press action.

#include "ui/AccessibleModel.h"
#include "ui/HotButtons.h"

#include <vector>

namespace ldt {

class DiagnosticDialog;

// Makes every DiagnosticDialog answer accessibility queries with the tree
// above. Idempotent; called by the dialog itself.
void InstallDialogAccessibility();

// What a client was last told about a dialog: the described items and the
// button with the keyboard focus.
struct AnnouncedState {
    std::vector<AccessibleItem> items;
    HotButton focus = HotNone;
};

// Tells assistive technology what changed in `dialog` since `announced`
// (a value change for each item whose text changed, a focus event
// when the keyboard focus moved to a button) and makes `announced` the
// dialog's current state. Qt passes the events on only while a client
// listens.
void AnnounceChanges(const DiagnosticDialog& dialog, AnnouncedState& announced);

}  // namespace ldt

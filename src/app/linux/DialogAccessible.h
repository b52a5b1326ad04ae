#pragma once
// What assistive technology sees of the diagnostic window: the dialog with
// one child per entry of the core's description (DiagnosticCore::Describe),
// the white boxes and the version text as static text whose value is also
// readable as text, the three buttons with a press action. Line edits (in
// Qt's own Save As dialog) have their text read the same way.

#include "ui/DiagnosticCore.h"

#include <vector>

namespace ldt {

class DiagnosticDialog;

// Makes every DiagnosticDialog answer accessibility queries with the tree
// above. Idempotent; called by the dialog itself.
void InstallDialogAccessibility();

// Tells assistive technology what the core says changed in `dialog`
// (DiagnosticCore::TakeAnnouncements). Qt passes the events on only while a
// client listens.
void Announce(const DiagnosticDialog& dialog, const std::vector<DiagnosticCore::Announcement>& news);

}  // namespace ldt

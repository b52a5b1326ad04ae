// Laser Diagnostic Tool on Linux: the diagnostic dialog over the machines
// that the usblp driver presents as /dev/usb/lpN.

#include "app/linux/DiagnosticDialog.h"
#include "platform/Platform.h"
#include "platform/linux/qt/QtPrompts.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const auto bus = ldt::platform::MakeDeviceBus();
    const auto clock = ldt::platform::MakeClock();
    const auto codePage = ldt::platform::MakeCodePage();
    const auto files = ldt::platform::MakeReportFileSystem();
    ldt::QtPrompts prompts;
    ldt::DiagnosticDialog dialog({*bus, *clock, *codePage, prompts, *files});
    prompts.SetOwner(&dialog);
    dialog.DoModal();
    return 0;
}

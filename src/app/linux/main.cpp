// Laser Diagnostic Tool on Linux: the diagnostic dialog over the machines
// that the usblp driver presents as /dev/usb/lpN.

#include "app/linux/DiagnosticDialog.h"
#include "app/IdleWorkClock.h"
#include "platform/Platform.h"
#include "platform/linux/UsblpWatch.h"
#include "platform/linux/qt/QtClipboard.h"
#include "platform/linux/qt/QtPrompts.h"

#include <QApplication>
#include <QSocketNotifier>

#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Lets the desktop match the window to its launcher entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("laser-diagnostic-tool"));
    const auto bus = ldt::platform::MakeDeviceBus();
    const auto sleeper = ldt::platform::MakeClock();
    const auto codePage = ldt::platform::MakeCodePage();
    const auto files = ldt::platform::MakeReportFileSystem();
    const auto history = ldt::platform::MakeHistoryFile();
    ldt::QtPrompts prompts;
    ldt::QtClipboard clipboard;
    ldt::DiagnosticDialog* window = nullptr;
    ldt::IdleWorkClock clock(*sleeper, [&window] {
        if (window) window->PrepareFirstPaint();
    });
    ldt::DiagnosticDialog dialog({{*bus, clock, *codePage, prompts}, *files, clipboard, /*explainUnopenedPorts=*/true,
                                  ldt::platform::DescribeSystem(), history.get()});
    window = &dialog;
    prompts.SetOwner(&dialog);
    // Printers plugged in or out while the window is open bring a refresh.
    // Without inotify the window still works; only the refresh of its own
    // is missing.
    ldt::UsblpWatch watch;
    std::unique_ptr<QSocketNotifier> devices;
    if (watch.Fd() >= 0) {
        devices = std::make_unique<QSocketNotifier>(watch.Fd(), QSocketNotifier::Read);
        QObject::connect(devices.get(), &QSocketNotifier::activated, &dialog, [&watch, &dialog] {
            if (watch.TakeEvents()) dialog.OnDevicesChanged();
        });
    }
    dialog.DoModal();
    return 0;
}

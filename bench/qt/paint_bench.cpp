// The cost of one paint of the Qt window at the scale factor it runs at
// (QT_SCALE_FACTOR): the program's own dialog, refreshed once from the
// machine on /dev/usb/lp0 (bench/startup-qt.sh runs it in a usblp namespace
// with the simulator), repainted into its backing store: skin loaded for
// the paint, copies, font and texts. Prints figures.
#include "app/linux/DiagnosticDialog.h"
#include "platform/Platform.h"
#include "platform/linux/qt/QtClipboard.h"
#include "platform/linux/qt/QtPrompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const auto bus = ldt::platform::MakeDeviceBus();
    const auto clock = ldt::platform::MakeClock();
    const auto codePage = ldt::platform::MakeCodePage();
    const auto files = ldt::platform::MakeReportFileSystem();
    ldt::QtPrompts prompts;
    ldt::QtClipboard clipboard;
    ldt::DiagnosticDialog dialog({*bus, *clock, *codePage, prompts, *files, clipboard, true});
    prompts.SetOwner(&dialog);
    dialog.OnInitDialog();
    dialog.show();
    QElapsedTimer wait;
    wait.start();
    while (!dialog.windowHandle()->isExposed() && wait.elapsed() < 5000) QApplication::processEvents();

    for (int warm = 0; warm < 5; ++warm) dialog.repaint();
    const int n = 200;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < n; ++i) dialog.repaint();
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6 / n;
    const QSize device = dialog.size() * dialog.devicePixelRatioF();
    std::printf("scale %.2f: %dx%d device pixels, %s, %.3f ms per paint (%d paints)\n", dialog.devicePixelRatioF(),
                device.width(), device.height(), dialog.Core().Data().Available() ? "with values" : "NO DATA", ms, n);
    return 0;
}

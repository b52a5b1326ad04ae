#include "app/linux/DiagnosticDialog.h"
#include "app/IdleWorkClock.h"

#include "fakes/Fakes.h"
#include "platform/linux/qt/QtClipboard.h"
#include "ui/DataPanel.h"
#include "ui/WindowGeometry.h"

#include <QAccessible>
#include <QClipboard>
#include <QLineEdit>
#include <QScreen>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace ldt;

namespace {

// Client rectangles (inclusive) of what a paint may draw text into.
const QRect kTextBoxes[] = {
    {200, 85, 80, 20},   {200, 136, 50, 30},  {120, 217, 70, 20},  {290, 217, 70, 20},
    {120, 242, 70, 20},  {290, 242, 70, 20},  {590, 100, 130, 20}, {590, 127, 127, 23},
    {620, 155, 60, 20},  {590, 185, 130, 20}, {590, 211, 120, 20}, {590, 242, 150, 20},
    {550, 270, 120, 20}, {640, 270, 150, 20}, {560, 300, 85, 25},  {660, 300, 85, 25},
    {700, 370, 110, 150},
};
const QPoint kClient(3, 30);
const QRect kDriverBox(189, 113, 129, 13);

bool Dark(QRgb c) { return qMax(qRed(c), qMax(qGreen(c), qBlue(c))) < 128; }

int DarkPixels(const QImage& image, QRect rect) {
    int n = 0;
    rect = rect.translated(kClient).intersected(image.rect());
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x) n += Dark(image.pixel(x, y));
    return n;
}

}  // namespace

class DiagnosticDialogTest : public QObject {
    Q_OBJECT

    fakes::FakeBus bus;
    fakes::FakeClock clock;
    fakes::Latin1CodePage codePage;
    fakes::FakePrompts prompts;
    fakes::FakeFiles files;
    QtClipboard clipboard;  // the offscreen platform's own, in-process
    std::unique_ptr<DiagnosticDialog> dialog;

    static std::string Reply(const std::string& firmware) {
        return "FP1," + firmware + ",TubeA,100,50,600,1000,L2,Yes,USB2,3.5,-,99,98,Left  12,Up    5,On,";
    }
    void Create() {
        dialog = std::make_unique<DiagnosticDialog>(DialogServices{bus, clock, codePage, prompts, files, clipboard});
        dialog->OnInitDialog();
    }
    void Show() {
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }
    void Open() {
        Create();
        Show();
    }
    QImage Screen() const { return dialog->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QWindow* Window() const { return dialog->windowHandle(); }
    void MoveTo(QPoint client) { QTest::mouseMove(Window(), client + kClient); }
    void Click(QPoint client) {
        MoveTo(client);
        MoveTo(client + QPoint(1, 0));
        QTest::mousePress(Window(), Qt::LeftButton, {}, client + QPoint(1, 0) + kClient);
        QTest::mouseRelease(Window(), Qt::LeftButton, {}, client + QPoint(1, 0) + kClient);
    }

private slots:
    void init() {
        bus = {};
        prompts = {};
        files = {};
        clock = {};
        bus.interfaces.push_back({InterfaceQuery::Ok, "/dev/usb/lp0"});
        bus.devices["/dev/usb/lp0\\"] = {{Reply("F1"), Reply("F2222")}};
    }
    void cleanup() { dialog.reset(); }

    void initDialog_shapesAndCentresTheWindow_andRefreshesOnce() {
        Open();
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        const WindowPlacement place = PlaceWindow(screen.width(), screen.height());
        QCOMPARE(dialog->geometry(), QRect(place.left, place.top, 816, 418));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Laser Diagnostic Tool"));
        QVERIFY(dialog->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(!dialog->windowIcon().isNull());
        const QRegion mask = dialog->mask();
        QVERIFY(mask.contains(QPoint(400, 200)));
        QVERIFY(!mask.contains(QPoint(0, 0)) && !mask.contains(QPoint(815, 0)) && !mask.contains(QPoint(0, 417)));
        QCOMPARE(bus.writes.size(), 1u);
        QCOMPARE(dialog->Core().Data().Count(), 17u);
        QVERIFY(prompts.errors.empty());
    }

    void noChannel_showsTheErrorOnceBeforeTheWindow_thenPaintsNoValues() {
        bus.interfaces.clear();
        bus.devices.clear();
        Create();
        QCOMPARE(prompts.errors.size(), 1u);
        QVERIFY(!dialog->isVisible());
        Show();
        const QImage shot = Screen();
        for (int i = 0; i < 16; ++i) QCOMPARE(DarkPixels(shot, kTextBoxes[i]), 0);
        QVERIFY(DarkPixels(shot, kTextBoxes[16]) > 0);  // the version label
    }

    void paint_isTheSkinEverywhereButTheText_alsoWhenPreparedAhead() {
        Create();
        dialog->PrepareFirstPaint();
        Show();
        const QImage shot = Screen();
        const QImage skin = QImage(QStringLiteral(":/skin/SkinBitmap.bmp")).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shot.size(), QSize(816, 418));
        QRegion text;
        for (const QRect& r : kTextBoxes) text += r.translated(kClient);
        int differ = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (!text.contains(QPoint(x, y)) && shot.pixel(x, y) != skin.pixel(x, y)) ++differ;
        QCOMPARE(differ, 0);
        for (int i = 0; i < 16; ++i) QVERIFY2(DarkPixels(shot, kTextBoxes[i]) > 0, qPrintable(QString::number(i)));
        QCOMPARE(DarkPixels(shot, kDriverBox), 0);
    }

    void idleWorkClock_spendsTheFirstPauseOnTheWork_thenSleepsTheRest() {
        int runs = 0;
        IdleWorkClock idle(clock, [&runs] {
            ++runs;
            QTest::qSleep(20);
        });
        idle.Pause(50);
        QCOMPARE(runs, 1);
        QCOMPARE(clock.pauses.size(), 1u);
        QVERIFY2(clock.pauses[0] <= 30 && clock.pauses[0] >= 20, qPrintable(QString::number(clock.pauses[0])));
        idle.Pause(50);
        QCOMPARE(runs, 1);
        QCOMPARE(clock.pauses.back(), 50u);
        // Work that outlasts the pause leaves nothing to sleep.
        IdleWorkClock slow(clock, [] { QTest::qSleep(30); });
        slow.Pause(10);
        QCOMPARE(clock.pauses.size(), 2u);
    }

    void mouseMoves_mapToClientCoordinates_andSetTheHandCursor() {
        Open();
        MoveTo({290, 290});
        QCOMPARE(dialog->Core().Buttons().Hot(), HotClose);
        QCOMPARE(dialog->cursor().shape(), Qt::PointingHandCursor);
        // Over the title strip the hot button stays as it was.
        QTest::mouseMove(Window(), QPoint(300, 10));
        QCOMPARE(dialog->Core().Buttons().Hot(), HotClose);
        MoveTo({335, 300});
        QCOMPARE(dialog->Core().Buttons().Hot(), HotNone);
        QCOMPARE(dialog->cursor().shape(), Qt::ArrowCursor);
        MoveTo({95, 339});
        QCOMPARE(dialog->Core().Buttons().Hot(), HotRefresh);
    }

    void pressOnRefresh_releaseOverTheTitleStrip_doesNothing() {
        Open();
        MoveTo({100, 300});
        MoveTo({101, 300});
        QTest::mousePress(Window(), Qt::LeftButton, {}, QPoint(101, 300) + kClient);
        QTest::mouseRelease(Window(), Qt::LeftButton, {}, QPoint(300, 10));
        QCOMPARE(bus.writes.size(), 1u);
        QCOMPARE(dialog->Core().Buttons().PressedFlag(), 1);
    }

    void draggingTheTitleStrip_movesTheWindow_withoutTouchingTheButtons() {
        Open();
        const QPoint start = dialog->pos();
        // Events with explicit screen positions: the pointer's place on the
        // screen is what the drag follows.
        auto send = [this](QEvent::Type type, QPoint local, QPoint global, Qt::MouseButton button,
                           Qt::MouseButtons buttons) {
            QMouseEvent event(type, local, global, button, buttons, {});
            QApplication::sendEvent(dialog.get(), &event);
        };
        send(QEvent::MouseButtonPress, {400, 10}, start + QPoint(400, 10), Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, {430, 30}, start + QPoint(430, 30), Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, {400, 10}, start + QPoint(430, 30), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(dialog->pos(), start + QPoint(30, 20));
        QCOMPARE(dialog->Core().Buttons().PressedFlag(), 0);
        QCOMPARE(dialog->Core().Buttons().Hot(), HotNone);
    }

    void deviceChanges_bringOneQuietRefreshAfterTheBurst_thatClearsAndThenFills() {
        Open();
        QCOMPARE(bus.setsOpened, 1);
        bus.interfaces.clear();  // unplugged
        for (int i = 0; i < 3; ++i) dialog->OnDevicesChanged();
        QTest::qWait(kDeviceSettleMs / 2);
        QCOMPARE(bus.setsOpened, 1);  // still settling
        QTRY_COMPARE_WITH_TIMEOUT(bus.setsOpened, 2, 2000);
        QVERIFY(!dialog->Core().Data().Available());
        QVERIFY(prompts.errors.empty());
        QTest::qWait(100);
        QCOMPARE(DarkPixels(Screen(), kTextBoxes[1]), 0);

        bus.interfaces.push_back({InterfaceQuery::Ok, "/dev/usb/lp0"});  // plugged in again
        dialog->OnDevicesChanged();
        QTRY_VERIFY_WITH_TIMEOUT(dialog->Core().Data().Available(), 2000);
        QCOMPARE(bus.setsOpened, 3);
        QTRY_VERIFY_WITH_TIMEOUT(DarkPixels(Screen(), kTextBoxes[1]) > 0, 2000);
        QVERIFY(prompts.errors.empty());
    }

    void commandKeys_refreshAndRepaint_saveAs_andCopyTheFileText() {
        Open();
        const int before = DarkPixels(Screen(), kTextBoxes[0]);
        QTest::keyClick(dialog.get(), Qt::Key_F5);
        QCOMPARE(bus.writes.size(), 2u);
        QTRY_VERIFY(DarkPixels(Screen(), kTextBoxes[0]) > before);  // "F2222" is wider than "F1"
        QTest::keyClick(dialog.get(), Qt::Key_F5, Qt::ShiftModifier);  // not a command key
        QCOMPARE(bus.writes.size(), 2u);

        prompts.savePath = WString(u"/tmp/r");
        QTest::keyClick(dialog.get(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(prompts.saveAsked, 1);
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(dialog.get(), Qt::Key_C, Qt::ControlModifier);
        const QString copied = QGuiApplication::clipboard()->text();
        // The saved file's text, line ends and all, from the second reply.
        QCOMPARE(copied, QString::fromLatin1(files.files["/tmp/r.txt"]));
        QVERIFY(copied.startsWith(QStringLiteral("Firmware_Ver: F2222\r\n")));
        QVERIFY(prompts.errors.empty());
        QVERIFY(dialog->isVisible());
    }

    // Every piece of every text item, at, before and after each offset
    // with each boundary, comes back at once (a watchdog ends the run
    // otherwise), and is the piece of the value it says it is.
    void textPieces_atEveryOffsetAndBoundary_returnAtOnce() {
        Open();
        struct Watchdog {
            std::atomic<bool> done{false};
            std::thread thread{[this] {
                for (int i = 0; i < 100 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
                if (!done) {
                    std::fputs("a text query did not return within 5 s\n", stderr);
                    std::_Exit(1);
                }
            }};
            ~Watchdog() {
                done = true;
                thread.join();
            }
        } watchdog;
        const auto check = [](QAccessibleTextInterface* text) {
            const QString value = text->text(0, text->characterCount());
            const int length = static_cast<int>(value.size());
            for (auto type : {QAccessible::WordBoundary, QAccessible::SentenceBoundary, QAccessible::CharBoundary,
                              QAccessible::ParagraphBoundary, QAccessible::LineBoundary, QAccessible::NoBoundary}) {
                for (int offset = -1; offset <= length; ++offset) {
                    int start = -2, end = -2;
                    QString piece = text->textAtOffset(offset, type, &start, &end);
                    QCOMPARE(piece, value.mid(start, end - start));
                    if (offset == length || offset == -1) QCOMPARE(QPoint(start, end), QPoint(length, length));
                    piece = text->textBeforeOffset(offset, type, &start, &end);
                    QCOMPARE(piece, value.mid(start, end - start));
                    piece = text->textAfterOffset(offset, type, &start, &end);
                    QCOMPARE(piece, value.mid(start, end - start));
                }
            }
        };
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(dialog.get());
        int texts = 0;
        for (int i = 0; i < window->childCount(); ++i) {
            if (QAccessibleTextInterface* text = window->child(i)->textInterface()) {
                ++texts;
                check(text);
            }
        }
        QCOMPARE(texts, 18);  // the seventeen boxes and the version label
        // The name field of Qt's own Save As dialog.
        QLineEdit name(QStringLiteral("report 1.txt"));
        QAccessibleTextInterface* edit = QAccessible::queryAccessibleInterface(&name)->textInterface();
        QVERIFY(edit);
        QCOMPARE(edit->characterCount(), 12);
        check(edit);
        // Each character's place on the screen, and back.
        name.resize(300, 30);
        const QRect whole(name.mapToGlobal(QPoint(0, 0)), name.size());
        for (int offset : {0, 3, 11}) {
            const QRect at = edit->characterRect(offset);
            QVERIFY2(whole.contains(at) && !at.isEmpty(), qPrintable(QString::number(offset)));
            QCOMPARE(edit->offsetAtPoint(at.center() - QPoint(at.width() / 4, 0)), offset);
        }
        QCOMPARE(edit->offsetAtPoint(whole.bottomRight() + QPoint(5, 5)), -1);
    }

    // Presses from assistive technology run from the event loop, a burst
    // of them as one.
    void accessibilityPresses_foldIntoOneRefresh_closeEnds() {
        Open();
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(dialog.get());
        QAccessibleActionInterface* refresh = window->child(17)->actionInterface();
        for (int i = 0; i < 300; ++i) refresh->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(bus.writes.size(), 1u);  // none inside the client's request
        QTRY_COMPARE(bus.writes.size(), 2u);
        QTest::qWait(100);
        QCOMPARE(bus.writes.size(), 2u);
        window->child(19)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(!dialog->isVisible());
    }

    void closeClick_andEscape_endTheDialog_returnDoesNot() {
        Open();
        QTest::keyClick(dialog.get(), Qt::Key_Return);
        QVERIFY(dialog->isVisible());
        Click({300, 300});
        QVERIFY(!dialog->isVisible());
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        Open();
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        QVERIFY(!dialog->isVisible());
    }
};

QTEST_MAIN(DiagnosticDialogTest)
#include "diagnostic_dialog_test.moc"

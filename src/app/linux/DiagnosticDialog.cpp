#include "app/linux/DiagnosticDialog.h"

#include "platform/linux/qt/QtCanvas.h"
#include "platform/linux/qt/QtSkin.h"
#include "platform/linux/qt/QtText.h"
#include "seams/ProductText.h"
#include "ui/DataPanel.h"
#include "ui/Scale.h"
#include "ui/WindowGeometry.h"

#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QScreen>
#include <QShortcut>
#include <QToolTip>
#include <QWindow>

#include <cmath>
#include <optional>
#include <utility>

namespace ldt {

namespace {

// The window is the picture, so the client origin sits where the client
// picture starts in the skin.
const QPoint kClientOrigin(kClientOriginInSkin.x, kClientOriginInSkin.y);

// The focus keys, taken ahead of QDialog's own focus chain: Tab, Shift+Tab
// (which Qt reports as Backtab) and Space, the keys alone or with Shift
// alone for Tab.
std::optional<Key> FocusKey(const QKeyEvent& event) {
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    const bool alone = modifiers == Qt::NoModifier, shifted = modifiers == Qt::ShiftModifier;
    if (event.key() == Qt::Key_Tab && (alone || shifted)) return alone ? Key::Tab : Key::ShiftTab;
    if (event.key() == Qt::Key_Backtab && (alone || shifted)) return Key::ShiftTab;
    if (event.key() == Qt::Key_Space && alone) return Key::Space;
    return std::nullopt;
}

}  // namespace

const QRect DiagnosticDialog::kTitleStrip(0, 0, kWindowWidth, kClientOriginInSkin.y);
const QRect DiagnosticDialog::kClientArea(kClientOrigin,
                                          QSize(kWindowWidth - 2 * kClientOrigin.x(),
                                                kWindowHeight - kClientOrigin.y() - kClientOrigin.x()));

DiagnosticDialog::DiagnosticDialog(const DialogServices& services, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), icon_(QStringLiteral(":/icon/app.png")), core_(services) {
    setWindowTitle(ToQString(kProductName));
    setMouseTracking(true);
    // Every paint covers the whole window with the picture.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    InstallDialogAccessibility();
    deviceSettle_.setSingleShot(true);
    connect(&deviceSettle_, &QTimer::timeout, this, &DiagnosticDialog::RefreshAfterDeviceChange);
    for (const auto& [keys, key] : {std::pair{QKeySequence(Qt::Key_F5), Key::F5},
                                    {Qt::CTRL | Qt::Key_S, Key::CtrlS},
                                    {Qt::CTRL | Qt::Key_C, Key::CtrlC},
                                    {Qt::CTRL | Qt::SHIFT | Qt::Key_C, Key::CtrlShiftC}}) {
        // Owned by the dialog. A held key runs its command once: a refresh
        // blocks for a while, and repeats queued meanwhile would run it
        // again and again.
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setAutoRepeat(false);
        connect(shortcut, &QShortcut::activated, this, [this, key = key] { CarryOut(core_.OnKey(key)); });
    }
}

void DiagnosticDialog::CarryOut(ClickAction action) {
    if (action == ClickAction::EndDialog)
        reject();
    else if (action != ClickAction::None)
        update();  // RepaintErased, Repaint
    AfterCommand();
}

void DiagnosticDialog::AfterCommand() {
    Announce(*this, core_.TakeAnnouncements());
    if (core_.PressesWaiting()) QueueRunPresses();
}

void DiagnosticDialog::Press(HotButton button) {
    if (core_.QueuePress(button)) QueueRunPresses();
}

void DiagnosticDialog::QueueRunPresses() {
    QMetaObject::invokeMethod(this, [this] { CarryOut(core_.RunPresses()); }, Qt::QueuedConnection);
}

bool DiagnosticDialog::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (!ShowEmptyBoxesHint(help->pos(), help->globalPos())) {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (const std::optional<Key> focusKey = FocusKey(key)) {
            // A held Space presses once, as the command keys run once.
            if (!(key.isAutoRepeat() && *focusKey == Key::Space)) CarryOut(core_.OnKey(*focusKey));
            return true;
        }
    }
    return QDialog::event(event);
}

void DiagnosticDialog::OnDevicesChanged() { deviceSettle_.start(static_cast<int>(core_.OnDevicesChanged())); }

void DiagnosticDialog::RefreshAfterDeviceChange() {
    const DeviceTimerAction action = core_.OnDeviceTimer();
    if (action.repaint) update();
    AfterCommand();
    if (action.armMs) deviceSettle_.start(static_cast<int>(action.armMs));
}

bool DiagnosticDialog::ShowEmptyBoxesHint(const QPoint& at, const QPoint& global) {
    // Every value box lies inside the client area.
    const QPoint client = at - kClientOrigin;
    const std::vector<Rect> boxes = DiagnosticCore::ValueBoxes();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const Rect& box = boxes[i];
        if (!box.Contains(client.x(), client.y())) continue;
        const WString hint = core_.BoxTip(i);
        if (hint.empty()) return false;
        // Shown until the pointer leaves the box.
        const QRect inWindow(kClientOrigin + QPoint(box.left, box.top), QSize(box.right - box.left, box.bottom - box.top));
        QToolTip::showText(global, ToQString(hint), this, inWindow);
        return true;
    }
    return false;
}

void DiagnosticDialog::OnInitDialog() {
    setWindowIcon(icon_);
    ShapeWindow();
    core_.RefreshMachineData();
    AfterCommand();
}

int DiagnosticDialog::DoModal() {
    OnInitDialog();
    // Shown before the modal run: a window mapped as modal from the start
    // reaches its first paint tens of milliseconds later under X11, and it
    // is the program's only window anyway.
    show();
    return exec();
}

void DiagnosticDialog::ShapeWindow() {
    QPolygon polygon;
    for (const Point& p : kWindowRegion) polygon << QPoint(p.x, p.y);
    setMask(QRegion(polygon, Qt::WindingFill));

    // Centred on the primary screen, which need not start at the desktop's
    // origin when there are several.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect desk = screen ? screen->geometry() : QRect(0, 0, kWindowWidth, kWindowHeight);
    const WindowPlacement place = PlaceWindow(desk.width(), desk.height());
    setFixedSize(place.width, place.height);
    move(desk.x() + place.left, desk.y() + place.top);
    update();
}

void DiagnosticDialog::PrepareFirstPaint() {
    // Qt keeps the font database, the font's engine and its rendered
    // glyphs: drawing the printable characters once fills them.
    QImage scratch(16, 16, QImage::Format_RGB32);
    {
        QPainter painter(&scratch);
        painter.setFont(MakeQFont(kTextFont));
        QString printable;
        for (char16_t c = u' '; c < u'\x7F'; ++c) printable += QChar(c);
        painter.drawText(0, 12, printable);
    }
    preparedSkin_ = LoadSkin();
    // The native window, with its shape, is made now rather than when shown.
    winId();
}

QImage DiagnosticDialog::LoadSkin() const {
    if (devicePixelRatioF() <= 1) return QImage(QStringLiteral(":/skin/SkinBitmap.bmp"));
    // Above 1x the picture comes from the 2x source, never from the 1x one
    // blown up. Its run format decodes in a few milliseconds, so it is
    // decoded for each paint and let go after it, like the 1x one, rather
    // than kept: millions of pixels the window would hold for nothing.
    return LoadSkinRuns(QStringLiteral(":/skin/skin@2x.runs"));
}

void DiagnosticDialog::paintEvent(QPaintEvent*) {
    // The 1x picture is loaded for each paint and let go after it.
    const QImage skin = preparedSkin_.isNull() ? LoadSkin() : std::exchange(preparedSkin_, QImage());
    QPainter painter(this);
    // Between 1x and 2x the 2x picture is filtered down.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QtCanvas canvas(painter, skin, icon_);  // draws wherever the painter is translated

    // The frame around the title strip and the client area is the
    // picture's own border.
    const QRect strip(kCaptionStripLeft, 0, kCaptionStripWidth, kCaptionStripHeight);
    painter.setClipRegion(QRegion(rect()) - strip - kClientArea);
    canvas.CopySkin(0, 0, kWindowWidth, kWindowHeight, 0, 0);
    painter.setClipping(false);
    core_.PaintCaptionStrip(canvas);

    painter.translate(kClientOrigin);
    painter.setClipRect(QRect(QPoint(0, 0), kClientArea.size()));
    const PaintState state = {isMinimized(), kClientArea.width(), kClientArea.height(), QtCanvas::kIconSize,
                              QtCanvas::kIconSize};
    core_.PaintDataPanel(canvas, state);
}

int DiagnosticDialog::Dpi() const { return static_cast<int>(std::lround(kBaseDpi * devicePixelRatioF())); }

QPoint DiagnosticDialog::DevicePoint(const QMouseEvent& event) const {
    // Qt's logical position is the device position divided by the ratio;
    // the widget position is rounded to whole logical pixels, the window's
    // (the scene position: this dialog is the window) is not.
    const QPointF at = event.scenePosition() * devicePixelRatioF();
    return QPoint(static_cast<int>(std::floor(at.x() + 0.5)), static_cast<int>(std::floor(at.y() + 0.5)));
}

bool DiagnosticDialog::Contains(const QRect& units, QPoint device) const {
    return ScaleRect({units.left(), units.top(), units.right() + 1, units.bottom() + 1}, Dpi())
        .Contains(device.x(), device.y());
}

void DiagnosticDialog::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        move(event->globalPosition().toPoint() - dragOffset_);
        return;
    }
    // Only moves over the client area reach the buttons; elsewhere the hot
    // button stays as it was. The core hit-tests client device pixels.
    const QPoint at = DevicePoint(*event);
    if (Contains(kClientArea, at)) {
        const Point origin = ScalePoint(kClientOriginInSkin, Dpi());
        core_.SetDpi(Dpi());
        core_.OnMouseMove(at.x() - origin.x, at.y() - origin.y);
    }
    core_.OnSetCursor() ? setCursor(Qt::PointingHandCursor) : unsetCursor();
}

void DiagnosticDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = DevicePoint(*event);
    if (Contains(kClientArea, at)) {
        core_.OnLButtonDown();
    } else if (Contains(kTitleStrip, at)) {
        // There is no caption: the title strip moves the window instead,
        // through the window manager where it offers that, else by hand.
        if (!windowHandle() || !windowHandle()->startSystemMove()) {
            dragging_ = true;
            dragOffset_ = event->globalPosition().toPoint() - pos();
        }
    }
}

void DiagnosticDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (dragging_) {
        dragging_ = false;
        return;
    }
    // A release outside the client area belongs to whatever is there.
    if (!Contains(kClientArea, DevicePoint(*event))) return;
    CarryOut(core_.OnLButtonUp());
}

}  // namespace ldt

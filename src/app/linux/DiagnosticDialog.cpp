#include "app/linux/DiagnosticDialog.h"

#include "platform/linux/qt/QtCanvas.h"
#include "platform/linux/qt/QtText.h"
#include "seams/ProductText.h"
#include "ui/DataPanel.h"
#include "ui/WindowGeometry.h"

#include <QGuiApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QRegion>
#include <QScreen>
#include <QShortcut>
#include <QToolTip>
#include <QWindow>

#include <utility>

namespace ldt {

namespace {

const QString kSkinResource = QStringLiteral(":/skin/SkinBitmap.bmp");
const QString kIconResource = QStringLiteral(":/icon/app.png");

// The window is the picture, so the client origin sits where the client
// picture starts in the skin.
const QPoint kClientOrigin(kClientOriginInSkin.x, kClientOriginInSkin.y);

}  // namespace

const QRect DiagnosticDialog::kTitleStrip(0, 0, kWindowWidth, kClientOriginInSkin.y);
const QRect DiagnosticDialog::kClientArea(kClientOrigin,
                                          QSize(kWindowWidth - 2 * kClientOrigin.x(),
                                                kWindowHeight - kClientOrigin.y() - kClientOrigin.x()));

DiagnosticDialog::DiagnosticDialog(const DialogServices& services, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), icon_(kIconResource), core_(services) {
    setWindowTitle(ToQString(kProductName));
    setMouseTracking(true);
    // Every paint covers the whole window with the picture.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    deviceSettle_.setSingleShot(true);
    connect(&deviceSettle_, &QTimer::timeout, this, &DiagnosticDialog::RefreshAfterDeviceChange);
    AddCommandKey(QKeySequence(Qt::Key_F5), Key::F5);
    AddCommandKey(QKeySequence(Qt::CTRL | Qt::Key_S), Key::CtrlS);
    AddCommandKey(QKeySequence(Qt::CTRL | Qt::Key_C), Key::CtrlC);
    AddCommandKey(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), Key::CtrlShiftC);
}

void DiagnosticDialog::AddCommandKey(const QKeySequence& keys, Key key) {
    // Owned by the dialog. A held key runs its command once: a refresh
    // blocks for a while, and repeats queued meanwhile would run it again
    // and again.
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setAutoRepeat(false);
    connect(shortcut, &QShortcut::activated, this, [this, key] { CarryOut(core_.OnKey(key)); });
}

void DiagnosticDialog::CarryOut(ClickAction action) {
    switch (action) {
    case ClickAction::EndDialog:
        reject();
        break;
    case ClickAction::RepaintErased:
        update();
        break;
    case ClickAction::None:
        break;
    }
}

void DiagnosticDialog::OnDevicesChanged() { deviceSettle_.start(static_cast<int>(core_.OnDevicesChanged())); }

void DiagnosticDialog::RefreshAfterDeviceChange() {
    const DeviceTimerAction action = core_.OnDeviceTimer();
    if (action.repaint) update();
    if (action.armMs) deviceSettle_.start(static_cast<int>(action.armMs));
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
    return QDialog::event(event);
}

bool DiagnosticDialog::ShowEmptyBoxesHint(const QPoint& at, const QPoint& global) {
    const QPoint client = at - kClientOrigin;
    const WString hint = core_.EmptyBoxesHint();
    if (hint.empty() || !kClientArea.contains(at)) return false;
    for (const Rect& box : DiagnosticCore::ValueBoxes()) {
        if (!box.Contains(client.x(), client.y())) continue;
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
    preparedSkin_ = QImage(kSkinResource);
    // The native window, with its shape, is made now rather than when shown.
    winId();
}

void DiagnosticDialog::paintEvent(QPaintEvent*) {
    // The picture is loaded for each paint and let go after it.
    const QImage skin = preparedSkin_.isNull() ? QImage(kSkinResource) : std::exchange(preparedSkin_, QImage());
    QPainter painter(this);
    QtCanvas window(painter, skin, icon_);

    // The frame around the title strip and the client area is the
    // picture's own border.
    const QRect strip(kCaptionStripLeft, 0, kCaptionStripWidth, kCaptionStripHeight);
    painter.setClipRegion(QRegion(rect()) - strip - kClientArea);
    window.CopySkin(0, 0, kWindowWidth, kWindowHeight, 0, 0);
    painter.setClipping(false);
    core_.PaintCaptionStrip(window);

    painter.translate(kClientOrigin);
    painter.setClipRect(QRect(QPoint(0, 0), kClientArea.size()));
    QtCanvas client(painter, skin, icon_);
    const PaintState state = {isMinimized(), kClientArea.width(), kClientArea.height(), QtCanvas::kIconSize,
                              QtCanvas::kIconSize};
    core_.PaintDataPanel(client, state);
}

void DiagnosticDialog::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        move(event->globalPosition().toPoint() - dragOffset_);
        return;
    }
    const QPoint at = event->position().toPoint();
    // Only moves over the client area reach the buttons; elsewhere the hot
    // button stays as it was.
    if (kClientArea.contains(at)) core_.OnMouseMove(at.x() - kClientOrigin.x(), at.y() - kClientOrigin.y());
    UpdateCursor();
}

void DiagnosticDialog::UpdateCursor() {
    if (core_.OnSetCursor())
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void DiagnosticDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    if (kClientArea.contains(at)) {
        core_.OnLButtonDown();
    } else if (kTitleStrip.contains(at)) {
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
    if (!kClientArea.contains(event->position().toPoint())) return;
    CarryOut(core_.OnLButtonUp());
}

}  // namespace ldt

#pragma once
// The diagnostic window on Qt: a frameless dialog that is the skin picture
// itself. Its behaviour lives in ldt::DiagnosticCore; this class forwards
// painting, the mouse and the command keys (F5, Ctrl+S, Ctrl+C,
// Ctrl+Shift+C; Tab, Shift+Tab and Space for the button focus) to it and
// carries out what comes back. Over empty value boxes a tooltip says what
// the last refresh found. Escape closes the window, as QDialog makes it;
// Return does nothing, there being no default button.
//
// At a Qt scale factor the window paints in logical coordinates (the 96-DPI
// units) and Qt scales; the mouse is hit-tested in device pixels against
// the core's scaled rectangles. Assistive technology reads the window
// through DialogAccessible.

#include "app/linux/DialogAccessible.h"
#include "ui/DiagnosticCore.h"

#include <QDialog>
#include <QIcon>
#include <QImage>
#include <QKeySequence>
#include <QTimer>

namespace ldt {

class DiagnosticDialog final : public QDialog {
public:
    explicit DiagnosticDialog(const DialogServices& services, QWidget* parent = nullptr);

    // Icons, shape and place, then the first refresh; its no-connection box
    // therefore comes before the window is shown.
    void OnInitDialog();
    // OnInitDialog, then the modal run; returns when the dialog has ended.
    int DoModal();

    // Resolves the text font, loads the skin and makes the native window
    // ahead of the first paint, which then uses that skin instead of
    // loading its own.
    void PrepareFirstPaint();

    const DiagnosticCore& Core() const { return core_; }

    // An accessibility press action: what a click on `button` does, run
    // from the event loop (as a click would be) rather than inside the
    // client's request, because Refresh and Save as may open a modal box.
    // Presses fold as the core says (DiagnosticCore::QueuePress).
    void Press(HotButton button);

    // A printer node came or went: the core says when its refresh of the
    // window's own follows (DiagnosticCore::OnDevicesChanged).
    void OnDevicesChanged();

    // Window-relative, in logical coordinates (96-DPI units): the picture's
    // title strip, and the client area whose (x, y) is window (x + 3, y + 30),
    // as under a standard caption.
    static const QRect kTitleStrip;
    static const QRect kClientArea;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ShapeWindow();
    QImage LoadSkin() const;
    void RefreshAfterDeviceChange();
    bool ShowEmptyBoxesHint(const QPoint& at, const QPoint& global);
    void CarryOut(ClickAction action);
    // Announces what changed and queues the presses that wait.
    void AfterCommand();
    void QueueRunPresses();
    int Dpi() const;
    QPoint DevicePoint(const QMouseEvent& event) const;
    bool Contains(const QRect& units, QPoint device) const;

    QIcon icon_;
    DiagnosticCore core_;
    QImage preparedSkin_;    // loaded ahead by PrepareFirstPaint, used once
    bool dragging_ = false;  // the title strip is being dragged by hand
    QPoint dragOffset_;      // pointer position relative to the window's
    QTimer deviceSettle_;    // the core's device timer
};

}  // namespace ldt

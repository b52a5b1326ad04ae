#pragma once
// The diagnostic window on Qt: a frameless dialog that is the skin picture
// itself. Its behaviour lives in ldt::DiagnosticCore; this class forwards
// painting, the mouse and the command keys (F5, Ctrl+S, Ctrl+C,
// Ctrl+Shift+C) to it and carries out what comes back. Over empty value
// boxes a tooltip says what the last refresh found. Escape closes the window, as QDialog makes
// it; Return does nothing, there being no default button.

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

    // A printer node came or went: the core says when its refresh of the
    // window's own follows (DiagnosticCore::OnDevicesChanged).
    void OnDevicesChanged();

    // Window-relative: the picture's title strip, and the client area whose
    // (x, y) is window (x + 3, y + 30), as under a standard caption.
    static const QRect kTitleStrip;
    static const QRect kClientArea;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void ShapeWindow();
    void UpdateCursor();
    void RefreshAfterDeviceChange();
    bool ShowEmptyBoxesHint(const QPoint& at, const QPoint& global);
    void AddCommandKey(const QKeySequence& keys, Key key);
    void CarryOut(ClickAction action);

    QIcon icon_;
    DiagnosticCore core_;
    QImage preparedSkin_;    // loaded ahead by PrepareFirstPaint, used once
    bool dragging_ = false;  // the title strip is being dragged by hand
    QPoint dragOffset_;      // pointer position relative to the window's
    QTimer deviceSettle_;    // the core's device timer
};

}  // namespace ldt

#pragma once
// The diagnostic window on Qt: a frameless dialog that is the skin picture
// itself. Its behaviour lives in ldt::DiagnosticCore; this class forwards
// painting, the mouse and the command keys (F5, Ctrl+S, Ctrl+C) to it and
// carries out what comes back. Escape closes the window, as QDialog makes
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

    // A printer node came or went: a refresh of the window's own follows
    // once they have stopped coming and going for kDeviceSettleMs. It shows
    // no box; while a box or the Save As dialog is open it waits for it.
    void OnDevicesChanged();
    static constexpr int kDeviceSettleMs = 500;

    // Window-relative: the picture's title strip, and the client area whose
    // (x, y) is window (x + 3, y + 30), as under a standard caption.
    static const QRect kTitleStrip;
    static const QRect kClientArea;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ShapeWindow();
    void UpdateCursor();
    void RefreshAfterDeviceChange();
    void AddCommandKey(const QKeySequence& keys, Key key);
    void CarryOut(ClickAction action);

    QIcon icon_;
    DiagnosticCore core_;
    QImage preparedSkin_;    // loaded ahead by PrepareFirstPaint, used once
    bool dragging_ = false;  // the title strip is being dragged by hand
    QPoint dragOffset_;      // pointer position relative to the window's
    QTimer deviceSettle_;    // restarted by each device change
};

}  // namespace ldt

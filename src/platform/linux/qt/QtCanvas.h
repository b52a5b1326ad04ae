#pragma once
// The drawing seam on a QPainter: the skin is a QImage (at 1x, or with a
// device pixel ratio for scaled surfaces), text goes through QFont, the
// minimised icon through QIcon.

#include "seams/Canvas.h"

#include <QFont>
#include <QIcon>
#include <QImage>

class QPainter;

namespace ldt {

// The QFont closest to a GDI font request: the cell height (ascent plus
// descent) and the average character width are matched in pixels, the
// width by stretching the face when it is narrower.
QFont MakeQFont(const FontSpec& request);

class QtCanvas final : public Canvas {
public:
    // Draws with `painter`, whose coordinates are the surface's. `skin` and
    // `icon` must outlive the canvas.
    QtCanvas(QPainter& painter, const QImage& skin, const QIcon& icon) : painter_(painter), skin_(skin), icon_(icon) {}

    void CopySkin(int dstX, int dstY, int width, int height, int srcX, int srcY) override;
    void SetTextFont(const FontSpec& font) override;
    void SetTextColor(unsigned rgb) override;
    void DrawString(const Rect& rect, const WString& text, unsigned format) override;
    void DrawAppIcon(int x, int y) override;
    void DrawFocusCue(const Rect& rect) override;

    // The size DrawAppIcon draws at, the counterpart of the system icon size.
    static constexpr int kIconSize = 32;

private:
    QPainter& painter_;
    const QImage& skin_;
    const QIcon& icon_;
};

}  // namespace ldt

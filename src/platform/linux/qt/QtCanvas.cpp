#include "platform/linux/qt/QtCanvas.h"

#include "platform/linux/qt/QtText.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ldt {

namespace {

constexpr int kFixedPitch = 0x1;
constexpr int kFamilyMask = 0xF0, kFamilyModern = 0x30;

}  // namespace

QFont MakeQFont(const FontSpec& request) {
    QFont font(QString::fromUtf16(request.face));
    // The modern family is the typewriter-like one.
    if ((request.pitchAndFamily & kFamilyMask) == kFamilyModern) font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch((request.pitchAndFamily & kFixedPitch) != 0);
    if (request.weight > 0) font.setWeight(static_cast<QFont::Weight>(std::clamp(request.weight, 1, 1000)));
    font.setItalic(request.italic);
    font.setUnderline(request.underline);
    font.setStrikeOut(request.strikeOut);
    font.setHintingPreference(QFont::PreferFullHinting);
    // One measurement at the requested size; height and width both scale
    // with the pixel size.
    const int size = request.height != 0 ? std::abs(request.height) : 16;
    font.setPixelSize(size);
    const QFontMetricsF metrics(font);
    qreal pixelSize = size;
    // A positive GDI height is the cell height; Qt's pixel size is the em.
    if (request.height > 0 && metrics.height() > 0) pixelSize = size * size / metrics.height();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
    if (request.width > 0 && metrics.averageCharWidth() > 0) {
        const qreal average = metrics.averageCharWidth() * font.pixelSize() / size;
        font.setStretch(std::clamp(static_cast<int>(std::lround(100.0 * request.width / average)), 1, 4000));
    }
    return font;
}

void QtCanvas::CopySkin(int dstX, int dstY, int width, int height, int srcX, int srcY) {
    // Coordinates are in units of the 1x picture; a skin with a device pixel
    // ratio has that many pixels per unit, all of which are drawn, so a 2x
    // skin stays sharp on a scaled surface. Only the part of the block that
    // lies inside the picture has pixels to copy; the painter clips the rest
    // to the surface.
    const qreal ratio = skin_.devicePixelRatio();
    const QRect units = QRect(srcX, srcY, width, height).intersected(QRect(QPoint(), skin_.deviceIndependentSize().toSize()));
    if (units.isEmpty()) return;
    const QPoint at(dstX + units.x() - srcX, dstY + units.y() - srcY);
    const QRectF source(units.x() * ratio, units.y() * ratio, units.width() * ratio, units.height() * ratio);
    painter_.drawImage(QRectF(at, units.size()), skin_, source);
}

void QtCanvas::SetTextFont(const FontSpec& font) {
    painter_.setFont(MakeQFont(font));
    painter_.setBackgroundMode(Qt::TransparentMode);
    painter_.setPen(Qt::black);
}

void QtCanvas::SetTextColor(unsigned rgb) { painter_.setPen(QColor(QRgb(rgb))); }

void QtCanvas::DrawString(const Rect& rect, const WString& text, unsigned format) {
    const QRect box(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    if (box.isEmpty()) return;
    // Text starts at the top of its rectangle, is never wrapped, and is
    // clipped to the rectangle.
    painter_.save();
    painter_.setClipRect(box, Qt::IntersectClip);
    painter_.drawText(box, Qt::AlignTop | ((format & kDtCenter) ? Qt::AlignHCenter : Qt::AlignLeft), ToQString(text));
    painter_.restore();
}

void QtCanvas::DrawFocusCue(const Rect& rect) {
    // The platform's focus rectangle: one pixel on, one off, just inside the
    // rectangle, inverting what lies beneath so that it shows on any skin.
    const QRectF box(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    if (box.isEmpty()) return;
    QPen pen(Qt::white, 0, Qt::CustomDashLine);  // cosmetic: one device pixel
    pen.setDashPattern({1, 1});
    painter_.save();
    painter_.setPen(pen);
    painter_.setBrush(Qt::NoBrush);
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter_.drawRect(box.adjusted(0.5, 0.5, -0.5, -0.5));
    painter_.restore();
}

void QtCanvas::DrawAppIcon(int x, int y) {
    // The icon's background is erased first, as for a minimised window.
    painter_.fillRect(painter_.window(), Qt::white);
    icon_.paint(&painter_, QRect(x, y, kIconSize, kIconSize));
}

}  // namespace ldt

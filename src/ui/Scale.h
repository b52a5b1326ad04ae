#pragma once
// Every length of the window is defined in 96-DPI units and turned into
// device pixels here, by one rounding rule, so that all of them agree at any
// DPI. At 96 DPI every function is the identity.

#include "seams/Canvas.h"
#include "ui/WindowGeometry.h"

namespace ldt {

constexpr int kBaseDpi = 96;

// `units` at `dpi`, rounded to the nearest pixel, halves upward
// (floor((units * dpi + 48) / 96)). Rectangles scale edge by edge, so
// rectangles that share an edge still share it, and a point's inclusion
// follows the same left <= x < right rule at every scale.
constexpr int ScalePx(int units, int dpi) {
    const long long n = static_cast<long long>(units) * dpi + kBaseDpi / 2;
    return static_cast<int>(n >= 0 ? n / kBaseDpi : -((-n + kBaseDpi - 1) / kBaseDpi));
}

constexpr Point ScalePoint(Point p, int dpi) { return {ScalePx(p.x, dpi), ScalePx(p.y, dpi)}; }

constexpr Rect ScaleRect(const Rect& r, int dpi) {
    return {ScalePx(r.left, dpi), ScalePx(r.top, dpi), ScalePx(r.right, dpi), ScalePx(r.bottom, dpi)};
}

// The font's cell height and average width scaled; the rest unchanged.
constexpr FontSpec ScaleFont(FontSpec font, int dpi) {
    font.height = ScalePx(font.height, dpi);
    font.width = ScalePx(font.width, dpi);
    return font;
}

}  // namespace ldt

#pragma once
// Seam: the drawing operations a paint makes. The Win32 backend maps them
// onto GDI (BitBlt from the skin bitmap, CreateFontW, DrawTextW, DrawIcon);
// tests record them.

#include "seams/CodePage.h"

namespace ldt {

// Left, top, right, bottom; right and bottom exclusive, as the platform's.
struct Rect {
    int left, top, right, bottom;
    bool Contains(int x, int y) const { return left <= x && x < right && top <= y && y < bottom; }
    bool operator==(const Rect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

struct FontSpec {
    int height, width, escapement, orientation, weight;
    bool italic, underline, strikeOut;
    int charSet, outPrecision, clipPrecision, quality, pitchAndFamily;
    const char16_t* face;
};

// Text format flags, with the platform's values.
constexpr unsigned kDtCenter = 0x1;

class Canvas {
public:
    virtual ~Canvas() = default;

    // Copies a width x height block of the skin picture at (srcX, srcY) to
    // (dstX, dstY) of the surface. All six are pixels of the picture the
    // backend holds for the paint's scale: at 96 DPI the 817 x 418 skin, at
    // another DPI the skin drawn at 817 x 418 units scaled by ScalePx. Pixels
    // outside the picture or the surface are the platform's concern.
    virtual void CopySkin(int dstX, int dstY, int width, int height, int srcX, int srcY) = 0;

    // Makes `font` the text font and the text background transparent. The
    // font lives until the end of the paint.
    virtual void SetTextFont(const FontSpec& font) = 0;

    // The colour of the text drawn from now on, 0xRRGGBB; black until the
    // first call of a paint.
    virtual void SetTextColor(unsigned rgb) = 0;

    // Draws `text` in `rect` with the given format flags, clipped to it.
    virtual void DrawString(const Rect& rect, const WString& text, unsigned format) = 0;

    // Minimised window: erases the icon background and draws the
    // application's icon with its top-left corner at (x, y).
    virtual void DrawAppIcon(int x, int y) = 0;

    // Draws the platform's keyboard focus cue (a dotted rectangle) just
    // inside `rect`. Only painted while the cue is shown, so a session
    // without keyboard use never calls it.
    virtual void DrawFocusCue(const Rect& rect) = 0;
};

}  // namespace ldt

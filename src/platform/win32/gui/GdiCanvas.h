#pragma once
// ldt::Canvas over a GDI device context.

#include <windows.h>

#include "platform/win32/gui/Gdi.h"
#include "seams/Canvas.h"

namespace ldt::gui {

class GdiCanvas final : public Canvas {
public:
    struct Art {
        HINSTANCE module;  // holds the skin bitmap
        UINT skinBitmap;   // bitmap resource id
        HWND window;       // receives WM_ICONERASEBKGND
        HICON icon;        // drawn by DrawAppIcon
        // The skin prepared for a scale other than 100 % (owned by the
        // caller); null: the skin bitmap resource.
        HBITMAP scaledSkin = nullptr;
    };

    GdiCanvas(HDC dc, const Art& art) : dc_(dc), art_(art) {}
    // Puts the DC's own font back and deletes the one SetTextFont made.
    ~GdiCanvas() override;
    GdiCanvas(const GdiCanvas&) = delete;
    GdiCanvas& operator=(const GdiCanvas&) = delete;

    // Copies from art.scaledSkin when set; otherwise reads the skin bitmap
    // resource anew for each call and draws the block straight from it,
    // keeping nothing afterwards.
    void CopySkin(int dstX, int dstY, int width, int height, int srcX, int srcY) override;
    void SetTextFont(const FontSpec& font) override;
    void SetTextColor(unsigned rgb) override;
    void DrawString(const Rect& rect, const WString& text, unsigned format) override;
    void DrawAppIcon(int x, int y) override;
    void DrawFocusCue(const Rect& rect) override;

private:
    HDC dc_;
    Art art_;
    Font font_;
    HGDIOBJ originalFont_ = nullptr;
};

}  // namespace ldt::gui

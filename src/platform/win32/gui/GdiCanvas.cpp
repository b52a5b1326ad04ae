#include "platform/win32/gui/GdiCanvas.h"

#include "platform/win32/gui/SkinPicture.h"

#include <algorithm>

namespace ldt::gui {

namespace {
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
}  // namespace

GdiCanvas::~GdiCanvas() {
    if (originalFont_) SelectObject(dc_, originalFont_);
}

void GdiCanvas::CopySkin(int dstX, int dstY, int width, int height, int srcX, int srcY) {
    if (art_.scaledSkin) {
        MemoryDC memory(dc_);
        if (memory.Select(art_.scaledSkin)) BitBlt(dc_, dstX, dstY, width, height, memory.Get(), srcX, srcY, SRCCOPY);
        return;
    }
    // Read from the resource at each call and drawn from it directly: only
    // the block asked for is converted to the device's format, and no
    // bitmap the size of the whole skin is made and thrown away per paint.
    std::size_t size = 0;
    const std::uint8_t* bytes = ResourceBytes(art_.module, art_.skinBitmap, RT_BITMAP, size);
    const StoredDib dib = DibOf(bytes, size);
    if (!dib.info) return;
    const BITMAPINFOHEADER& h = dib.info->bmiHeader;
    // Only the part of the block that lies on the picture.
    const int left = std::max(srcX, 0), top = std::max(srcY, 0);
    const int right = std::min(srcX + width, static_cast<int>(h.biWidth)), bottom = std::min(srcY + height, dib.rows);
    if (right <= left || bottom <= top) return;
    // A bottom-up picture counts its source rows from the bottom.
    const int fromBottom = h.biHeight < 0 ? top : dib.rows - bottom;
    SetDIBitsToDevice(dc_, dstX + left - srcX, dstY + top - srcY, right - left, bottom - top, left, fromBottom, 0,
                      dib.rows, dib.bits, dib.info, DIB_RGB_COLORS);
}

void GdiCanvas::SetTextFont(const FontSpec& f) {
    Font font(CreateFontW(f.height, f.width, f.escapement, f.orientation, f.weight, f.italic, f.underline,
                          f.strikeOut, f.charSet, f.outPrecision, f.clipPrecision, f.quality, f.pitchAndFamily,
                          Wide(f.face)));
    const HGDIOBJ previous = font ? SelectObject(dc_, font.Get()) : nullptr;
    if (previous && previous != HGDI_ERROR) {
        if (!originalFont_) originalFont_ = previous;
        font_ = std::move(font);  // deletes a font an earlier call selected
    }
    SetBkMode(dc_, TRANSPARENT);
}

void GdiCanvas::SetTextColor(unsigned rgb) { ::SetTextColor(dc_, RGB(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF)); }

void GdiCanvas::DrawString(const Rect& rect, const WString& text, unsigned format) {
    if (text.empty()) return;
    RECT r = {rect.left, rect.top, rect.right, rect.bottom};
    ::DrawTextW(dc_, Wide(text.c_str()), static_cast<int>(text.size()), &r, format);
}

void GdiCanvas::DrawAppIcon(int x, int y) {
    SendMessageW(art_.window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc_), 0);
    DrawIcon(dc_, x, y, art_.icon);
}

void GdiCanvas::DrawFocusCue(const Rect& rect) {
    const RECT r = {rect.left, rect.top, rect.right, rect.bottom};
    ::DrawFocusRect(dc_, &r);
}

}  // namespace ldt::gui

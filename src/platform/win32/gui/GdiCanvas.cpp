#include "platform/win32/gui/GdiCanvas.h"

#include <algorithm>

namespace ldt::gui {

namespace {
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// The skin bitmap resource as the DIB it is stored as (header, colour
// table, pixels), straight from the executable's mapped image.
struct ResourceDib {
    const BITMAPINFO* info = nullptr;
    const BYTE* bits = nullptr;
    int rows = 0;
};

ResourceDib FindResourceDib(HINSTANCE module, UINT id) {
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(2));  // RT_BITMAP
    const HGLOBAL data = found ? LoadResource(module, found) : nullptr;
    const auto* info = static_cast<const BITMAPINFO*>(data ? LockResource(data) : nullptr);
    const std::size_t size = info ? SizeofResource(module, found) : 0;
    if (size < sizeof(BITMAPINFOHEADER)) return {};
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const long long rows = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
    const bool plain = h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS;
    if (!plain || h.biWidth <= 0 || h.biWidth > 0x7FFF || rows == 0 || rows > 0x7FFF || h.biBitCount == 0 ||
        h.biBitCount > 32)
        return {};
    unsigned long long colours = h.biClrUsed ? h.biClrUsed : h.biBitCount <= 8 ? 1u << h.biBitCount : 0;
    if (h.biSize == sizeof(BITMAPINFOHEADER) && h.biCompression == BI_BITFIELDS) colours = 3;
    const unsigned long long header = h.biSize + colours * sizeof(RGBQUAD);
    const unsigned long long stride = (static_cast<unsigned long long>(h.biWidth) * h.biBitCount + 31) / 32 * 4;
    if (header > size || stride * static_cast<unsigned long long>(rows) > size - header) return {};
    return {info, reinterpret_cast<const BYTE*>(info) + header, static_cast<int>(rows)};
}

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
    const ResourceDib dib = FindResourceDib(art_.module, art_.skinBitmap);
    if (!dib.info) return;
    const BITMAPINFOHEADER& h = dib.info->bmiHeader;
    const int rows = dib.rows;
    // Only the part of the block that lies on the picture.
    const int left = std::max(srcX, 0), top = std::max(srcY, 0);
    const int right = std::min(srcX + width, static_cast<int>(h.biWidth)), bottom = std::min(srcY + height, rows);
    if (right <= left || bottom <= top) return;
    // A bottom-up picture counts its source rows from the bottom.
    const int fromBottom = h.biHeight < 0 ? top : rows - bottom;
    SetDIBitsToDevice(dc_, dstX + left - srcX, dstY + top - srcY, right - left, bottom - top, left, fromBottom, 0,
                      rows, dib.bits, dib.info, DIB_RGB_COLORS);
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

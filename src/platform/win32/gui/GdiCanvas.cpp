#include "platform/win32/gui/GdiCanvas.h"

namespace ldt::gui {

namespace {
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
}  // namespace

GdiCanvas::~GdiCanvas() {
    if (originalFont_) SelectObject(dc_, originalFont_);
}

void GdiCanvas::CopySkin(int dstX, int dstY, int width, int height, int srcX, int srcY) {
    const Bitmap loaded(art_.scaledSkin ? nullptr : LoadBitmapW(art_.module, MAKEINTRESOURCEW(art_.skinBitmap)));
    MemoryDC memory(dc_);
    if (!memory.Select(art_.scaledSkin ? art_.scaledSkin : loaded.Get())) return;
    BitBlt(dc_, dstX, dstY, width, height, memory.Get(), srcX, srcY, SRCCOPY);
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

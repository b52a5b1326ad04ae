// The cost of one client-area paint of the program at 100 %, 150 % and
// 200 %: the skin (at 100 % the bitmap loaded from the resources at each
// paint; above, the picture prepared once for the scale), the block copy,
// the font and the texts, drawn through the same canvas into an off-screen
// surface. Also the one-off cost of preparing the skin for a scale (the
// run-format picture decoded, filtered into a DIB section), with the
// decoding alone timed too. Prints figures.
#include "machine/MachineData.h"
#include "platform/win32/gui/GdiCanvas.h"
#include "platform/win32/gui/SkinPicture.h"
#include "ui/DataPanel.h"
#include "ui/Scale.h"
#include "resource.h"

#include <windows.h>

#include <cstdio>

namespace {

double Now() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return 1000.0 * double(t.QuadPart) / double(f.QuadPart);
}

}  // namespace

int main() {
    ldt::MachineData data;
    ldt::ParseReply(data, u"2.31,5.07,RF60W,300,80,500,1000,2.0in,Yes,USB2.0,12.5,0,100.00,100.00,"
                          u"Left  12,Down  5,Vector,");
    HDC screen = GetDC(nullptr);
    double base = 0;
    for (int dpi : {96, 144, 192}) {
        using ldt::ScalePx;
        ldt::gui::Bitmap scaled;
        double prepared = 0, decoded = 0;
        if (dpi != ldt::kBaseDpi) {
            double t = Now();
            decoded = ldt::gui::DecodeSkinRunsResource(GetModuleHandleW(nullptr), IDR_SKIN_2X).width ? Now() - t : 0;
            t = Now();
            scaled = ldt::gui::ScaledSkin(GetModuleHandleW(nullptr), IDR_SKIN_2X, ScalePx(ldt::kSkinBlockWidth, dpi),
                                          ScalePx(ldt::kSkinBlockHeight, dpi));
            prepared = Now() - t;
            if (!scaled) {
                std::printf("%d DPI: the skin could not be prepared\n", dpi);
                return 1;
            }
        }
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP surface = CreateCompatibleBitmap(screen, ScalePx(816, dpi), ScalePx(418, dpi));
        HGDIOBJ old = SelectObject(dc, surface);
        const ldt::gui::GdiCanvas::Art art = {GetModuleHandleW(nullptr), IDB_SKIN, nullptr, nullptr, scaled.Get()};
        const ldt::PaintState state = {false, ScalePx(810, dpi), ScalePx(388, dpi), 32, 32, dpi};
        for (int warm = 0; warm < 5; ++warm) {
            ldt::gui::GdiCanvas canvas(dc, art);
            ldt::PaintDataPanel(canvas, state, data);
        }
        const int n = 200;
        const double a = Now();
        for (int i = 0; i < n; ++i) {
            ldt::gui::GdiCanvas canvas(dc, art);
            ldt::PaintDataPanel(canvas, state, data);
        }
        GdiFlush();
        const double ms = (Now() - a) / n;
        if (dpi == ldt::kBaseDpi) base = ms;
        std::printf("WM_PAINT work at %d DPI (skin + copy + font + 19 texts): %.3f ms per paint (%.2fx the 96-DPI "
                    "paint), %d paints",
                    dpi, ms, ms / base, n);
        if (prepared > 0)
            std::printf("; skin prepared once in %.1f ms (of which decoding %.1f)", prepared, decoded);
        std::printf("\n");
        SelectObject(dc, old);
        DeleteObject(surface);
        DeleteDC(dc);
    }
    ReleaseDC(nullptr, screen);
    return 0;
}

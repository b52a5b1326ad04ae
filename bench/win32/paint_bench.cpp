// The cost of one client-area paint of the program: the skin bitmap loaded
// from the resources, the block copy, the font and the seventeen texts,
// drawn through the same canvas into an off-screen surface. Prints figures.
#include "machine/MachineData.h"
#include "platform/win32/gui/GdiCanvas.h"
#include "ui/DataPanel.h"
#include "resource.h"

#include <windows.h>

#include <cstdio>

int main() {
    ldt::MachineData data;
    ldt::ParseReply(data, u"2.31,5.07,RF60W,300,80,500,1000,2.0in,Yes,USB2.0,12.5,0,100.00,100.00,"
                          u"Left  12,Down  5,Vector,");
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP surface = CreateCompatibleBitmap(screen, 816, 418);
    HGDIOBJ old = SelectObject(dc, surface);
    const ldt::gui::GdiCanvas::Art art = {GetModuleHandleW(nullptr), IDB_SKIN, nullptr, nullptr};
    const ldt::PaintState state = {false, 810, 388, 32, 32};

    LARGE_INTEGER f, a, b;
    QueryPerformanceFrequency(&f);
    for (int warm = 0; warm < 5; ++warm) {
        ldt::gui::GdiCanvas canvas(dc, art);
        ldt::PaintDataPanel(canvas, state, data);
    }
    const int n = 200;
    QueryPerformanceCounter(&a);
    for (int i = 0; i < n; ++i) {
        ldt::gui::GdiCanvas canvas(dc, art);
        ldt::PaintDataPanel(canvas, state, data);
    }
    GdiFlush();
    QueryPerformanceCounter(&b);
    const double ms = 1000.0 * double(b.QuadPart - a.QuadPart) / double(f.QuadPart) / n;
    std::printf("WM_PAINT work (skin load + copy + font + 19 texts): %.3f ms per paint, %d paints\n", ms, n);

    SelectObject(dc, old);
    DeleteObject(surface);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return 0;
}

#pragma once
// The window's shape and place on the screen.

#include <array>

namespace ldt {

struct Point {
    int x, y;
    bool operator==(const Point& o) const { return x == o.x && y == o.y; }
};

constexpr int kWindowWidth = 816;
constexpr int kWindowHeight = 418;

// Window-relative polygon that clips the window, filled by the winding rule.
constexpr std::array<Point, 5> kWindowRegion = {{{2, 1}, {1, 417}, {816, 418}, {817, 2}, {2, 1}}};
// kWindowRegion in device pixels at `dpi`.
std::array<Point, 5> WindowRegion(int dpi);

struct WindowPlacement {
    int left, top, width, height;
};

// The window of kWindowWidth x kWindowHeight units scaled to `dpi`, centred
// horizontally on the screen, vertically on the screen less a 20-pixel band
// (all in device pixels); never clamped.
WindowPlacement PlaceWindow(int screenWidth, int screenHeight, int dpi = 96);

// Top-left corner of an icon centred in the client area of a minimised window.
Point CentredIcon(int clientWidth, int clientHeight, int iconWidth, int iconHeight);

// Client point (x, y) shows skin pixel (x + 3, y + 30); at other DPIs both
// offsets are scaled, in the skin picture prepared for that DPI.
constexpr Point kClientOriginInSkin = {3, 30};

}  // namespace ldt

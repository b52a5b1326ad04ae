#include "ui/WindowGeometry.h"

#include "ui/Scale.h"

namespace ldt {

std::array<Point, 5> WindowRegion(int dpi) {
    std::array<Point, 5> region = kWindowRegion;
    for (Point& p : region) p = ScalePoint(p, dpi);
    return region;
}

WindowPlacement PlaceWindow(int screenWidth, int screenHeight, int dpi) {
    const int width = ScalePx(kWindowWidth, dpi), height = ScalePx(kWindowHeight, dpi);
    return {screenWidth / 2 - width / 2, (screenHeight - 20) / 2 - height / 2, width, height};
}

Point CentredIcon(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
    return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

}  // namespace ldt

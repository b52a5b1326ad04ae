#include "ui/WindowGeometry.h"

#include <gtest/gtest.h>

using namespace ldt;

// Centred on the screen less a 20-pixel band, halves truncated, never clamped
// to a screen smaller than the window. (The real windows check the size.)
TEST(WindowGeometry, centredWithTruncatedHalves_notClamped) {
    const struct {
        int screenWidth, screenHeight, left, top;
    } cases[] = {
        {1025, 769, 104, 165},
        {640, 300, -88, -69},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.screenWidth) + "x" + std::to_string(c.screenHeight));
        const WindowPlacement p = PlaceWindow(c.screenWidth, c.screenHeight);
        EXPECT_EQ(p.left, c.left);
        EXPECT_EQ(p.top, c.top);
    }
}

#include "ui/DataPanel.h"
#include "ui/HotButtons.h"
#include "ui/Scale.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ldt;

// Identity at 96, exact at 192, the nearest pixel (halves up) between.
TEST(Scale, identityAt96_nearestPixelElsewhere_halvesUp) {
    for (int dpi : {96, 120, 144, 168, 192}) {
        for (int u = -20; u <= 1400; ++u) {
            const double exact = u * dpi / 96.0;
            const int px = ScalePx(u, dpi);
            ASSERT_EQ(px, static_cast<int>(std::floor(exact + 0.5))) << "units " << u << " at " << dpi;
        }
    }
    EXPECT_EQ(ScalePx(3, 144), 5);
    EXPECT_EQ(ScalePx(-3, 144), -4);
}

// Rectangles that touch keep touching at any scale (an offset's label and
// its amount), and a font grows with the DPI.
TEST(Scale, sharedEdgesStayShared_fontsScale) {
    for (int dpi : {96, 120, 144, 168, 192}) {
        SCOPED_TRACE(dpi);
        for (const Box& box : kBoxes) {
            if (box.shows != BoxShows::Offset) continue;
            EXPECT_EQ(ScaleRect(box.split.label, dpi).right, ScaleRect(box.draw, dpi).left);
        }
    }
    const FontSpec f = ScaleFont(kTextFont, 144);
    EXPECT_EQ(f.height, 24);
    EXPECT_EQ(f.width, 18);
    EXPECT_EQ(f.weight, kTextFont.weight);
}

// The click rule at each scale: left and top edges in, right and bottom out.
TEST(Scale, hotRectanglesFollowTheScale) {
    const struct {
        int dpi, x, y;
        HotButton hot;
    } cases[] = {
        {144, 435, 435, HotClose},   {144, 502, 509, HotClose},  {144, 503, 435, HotNone},
        {144, 435, 510, HotNone},    {144, 434, 435, HotNone},   {144, 143, 435, HotRefresh},
        {192, 580, 580, HotClose},   {192, 669, 679, HotClose},  {192, 670, 600, HotNone},
        {192, 390, 580, HotSaveAs},  {192, 300, 600, HotNone},   {120, 363, 363, HotClose},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.dpi) + ": " + std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(NextHotButton(HotNone, c.x, c.y, c.dpi), c.hot);
    }
}

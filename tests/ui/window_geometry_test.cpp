#include "ui/WindowGeometry.h"

#include <gtest/gtest.h>

using namespace ldt;

TEST(WindowGeometry, centredOn1024x768) {
    const WindowPlacement p = PlaceWindow(1024, 768);
    EXPECT_EQ(p.left, 104);
    EXPECT_EQ(p.top, 165);
    EXPECT_EQ(p.width, 816);
    EXPECT_EQ(p.height, 418);
}

TEST(WindowGeometry, oddSizesTruncate_narrowScreensAreNotClamped) {
    EXPECT_EQ(PlaceWindow(1025, 769).left, 104);
    EXPECT_EQ(PlaceWindow(1025, 769).top, 165);
    EXPECT_EQ(PlaceWindow(640, 480).left, -88);
    EXPECT_EQ(PlaceWindow(640, 300).top, -69);
}

TEST(WindowGeometry, regionIsTheClosedFivePointPolygon) {
    EXPECT_EQ(kWindowRegion.front(), kWindowRegion.back());
    EXPECT_EQ(kWindowRegion[2], (Point{816, 418}));
    EXPECT_EQ(kWindingFill, 2);
}

TEST(WindowGeometry, iconCentredWithTruncatingDivision) {
    EXPECT_EQ(CentredIcon(100, 50, 32, 32), (Point{34, 9}));
    EXPECT_EQ(CentredIcon(10, 10, 32, 32), (Point{-10, -10}));
}

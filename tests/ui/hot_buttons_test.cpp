#include "ui/HotButtons.h"

#include <gtest/gtest.h>

using namespace ldt;

TEST(HotButtons, edgesFollowPtInRect_leftTopIn_rightBottomOut) {
    EXPECT_EQ(NextHotButton(HotNone, 290, 290), HotClose);
    EXPECT_EQ(NextHotButton(HotNone, 335, 300), HotNone);
    EXPECT_EQ(NextHotButton(HotNone, 300, 340), HotNone);
    EXPECT_EQ(NextHotButton(HotNone, 334, 339), HotClose);
    EXPECT_EQ(NextHotButton(HotNone, 195, 290), HotSaveAs);
    EXPECT_EQ(NextHotButton(HotNone, 139, 339), HotRefresh);
    EXPECT_EQ(NextHotButton(HotNone, 94, 300), HotNone);
}

TEST(HotButtons, hotButtonIsLeftOnlyThroughNone) {
    EXPECT_EQ(NextHotButton(HotClose, 300, 300), HotClose);
    EXPECT_EQ(NextHotButton(HotClose, 200, 300), HotNone);  // straight onto Save as
    EXPECT_EQ(NextHotButton(HotNone, 200, 300), HotSaveAs);
    EXPECT_EQ(NextHotButton(HotRefresh, 0, 0), HotNone);
}

TEST(ButtonTracker, releaseActsOnlyAfterAPress_andAlwaysClearsTheFlag) {
    ButtonTracker t;
    t.OnMouseMove(100, 300);
    EXPECT_EQ(t.OnLButtonUp(), HotNone);  // no press before
    t.OnLButtonDown();
    EXPECT_EQ(t.PressedFlag(), 1);
    EXPECT_EQ(t.OnLButtonUp(), HotRefresh);
    t.ReleaseDone();
    EXPECT_EQ(t.PressedFlag(), 0);
}

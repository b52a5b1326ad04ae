#include "fakes/Fakes.h"
#include "machine/Report.h"
#include "ui/DiagnosticCore.h"

#include <gtest/gtest.h>

using namespace ldt;

namespace {

struct Dialog : ::testing::Test {
    fakes::FakeBus bus;
    fakes::FakeClock clock;
    fakes::Latin1CodePage codePage;
    fakes::FakePrompts prompts;
    fakes::FakeFiles files;
    DiagnosticCore core{{bus, clock, codePage, prompts, files}};

    void SetUp() override {
        bus.interfaces.push_back({InterfaceQuery::Ok, "p0"});
        bus.devices["p0\\"] = {{"a,b,", "c,d,e,", "f,"}};
    }
    ClickAction Click(int downX, int downY, int upX, int upY) {
        core.OnMouseMove(downX, downY);
        core.OnLButtonDown();
        core.OnMouseMove(upX, upY);
        core.OnMouseMove(upX, upY);
        return core.OnLButtonUp();
    }
};

}  // namespace

TEST_F(Dialog, pressAndReleaseOnRefresh_refreshesOnce_andAsksForAnErasingRepaint) {
    EXPECT_EQ(Click(100, 300, 100, 300), ClickAction::RepaintErased);
    EXPECT_EQ(bus.writes.size(), 1u);
    EXPECT_EQ(core.Data().Count(), 2u);
    EXPECT_EQ(core.Buttons().PressedFlag(), 0);
}

TEST_F(Dialog, pressOutside_moveOntoSaveAs_release_startsSaveAs) {
    core.RefreshMachineData();
    prompts.savePath = WString(u"r");
    EXPECT_EQ(Click(10, 10, 200, 300), ClickAction::None);
    EXPECT_EQ(prompts.saveAsked, 1);
    EXPECT_EQ(files.files.count("r.txt"), 1u);
}

TEST_F(Dialog, pressOnRefresh_releaseOffIt_doesNothing) {
    EXPECT_EQ(Click(100, 300, 10, 10), ClickAction::None);
    EXPECT_TRUE(bus.writes.empty());
}

TEST_F(Dialog, releaseWithoutPress_doesNothing) {
    core.OnMouseMove(100, 300);
    EXPECT_EQ(core.OnLButtonUp(), ClickAction::None);
    EXPECT_TRUE(bus.writes.empty());
}

TEST_F(Dialog, close_endsTheDialog) {
    EXPECT_EQ(Click(300, 300, 300, 300), ClickAction::EndDialog);
}

TEST_F(Dialog, saveAsBeforeAnyData_showsTheNoDataBox) {
    EXPECT_EQ(Click(200, 300, 200, 300), ClickAction::None);
    EXPECT_EQ(prompts.errors, std::vector<WString>{kNoDataText});
    EXPECT_EQ(prompts.saveAsked, 0);
}

TEST_F(Dialog, handCursorTracksTheHotButton) {
    core.OnMouseMove(300, 300);
    EXPECT_TRUE(core.OnSetCursor());
    core.OnMouseMove(200, 300);  // straight from Close onto Save as
    EXPECT_FALSE(core.OnSetCursor());
    core.OnMouseMove(200, 300);
    EXPECT_TRUE(core.OnSetCursor());
}

TEST_F(Dialog, paintShowsTheLatestRefreshOnly) {
    core.RefreshMachineData();
    core.RefreshMachineData();
    fakes::RecordingCanvas canvas;
    core.PaintDataPanel(canvas, {false, 813, 388, 32, 32});
    const auto t = canvas.Texts();
    ASSERT_EQ(t.size(), 19u);
    EXPECT_EQ(t[1].text, "d");  // position 1 of "c,d,e,"
    EXPECT_EQ(t[2].text, "c");
}

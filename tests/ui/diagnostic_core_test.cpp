#include "fakes/Fakes.h"
#include "machine/Report.h"
#include "seams/ProductText.h"
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
    fakes::FakeClipboard clipboard;
    DiagnosticCore core{{bus, clock, codePage, prompts, files, clipboard}};

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

TEST_F(Dialog, close_endsTheDialog) {
    EXPECT_EQ(Click(300, 300, 300, 300), ClickAction::EndDialog);
}

TEST_F(Dialog, handCursorTracksTheHotButton) {
    core.OnMouseMove(300, 300);
    EXPECT_TRUE(core.OnSetCursor());
    core.OnMouseMove(200, 300);  // straight from Close onto Save as
    EXPECT_FALSE(core.OnSetCursor());
    core.OnMouseMove(200, 300);
    EXPECT_TRUE(core.OnSetCursor());
}

TEST_F(Dialog, commandKeys_runWhatTheirButtonsRun_andCopyPutsTheFileTextOnTheClipboard) {
    EXPECT_EQ(core.OnKey(Key::F5), ClickAction::RepaintErased);
    EXPECT_EQ(bus.writes.size(), 1u);
    prompts.savePath = WString(u"r");
    EXPECT_EQ(core.OnKey(Key::CtrlS), ClickAction::None);
    EXPECT_EQ(core.OnKey(Key::CtrlC), ClickAction::None);
    ASSERT_EQ(files.files.count("r.txt"), 1u);
    EXPECT_EQ(fakes::Narrow(clipboard.content), files.files["r.txt"]);
    EXPECT_EQ(clipboard.content.substr(0, 16), u"Firmware_Ver: b\r");
    EXPECT_TRUE(prompts.errors.empty());
}

TEST_F(Dialog, copyWithoutData_showsTheNoDataBox_andAFailedCopyIsNeverSilent) {
    EXPECT_EQ(core.OnKey(Key::CtrlC), ClickAction::None);
    EXPECT_EQ(prompts.errors, std::vector<WString>{kNoDataText});
    EXPECT_EQ(clipboard.puts, 0);

    core.RefreshMachineData();
    clipboard.next = {false, u"Another program holds the clipboard open."};
    core.CopyReport();
    ASSERT_EQ(prompts.errors.size(), 2u);
    EXPECT_EQ(prompts.errors[1],
              WString(kCopyFailedText) + u"\nAnother program holds the clipboard open.");
    clipboard.next = {false, u""};
    core.CopyReport();
    EXPECT_EQ(prompts.errors.back(), kCopyFailedText);
}

namespace {

// Save As that, while it is open, sees a device come or go.
class ReentrantPrompts final : public Prompts {
public:
    DiagnosticCore* core = nullptr;
    bool autoRefreshRan = true;
    std::vector<WString> errors;
    void ShowError(const WString& text) override {
        errors.push_back(text);
        autoRefreshRan = core->OnDeviceTimer().repaint;
    }
    void ShowFileError(const WString&) override {}
    std::optional<WString> AskSavePath() override {
        autoRefreshRan = core->OnDeviceTimer().repaint;
        return std::nullopt;
    }
};

}  // namespace

TEST_F(Dialog, automaticRefresh_showsNoBox_andWaitsWhileABoxOrSaveAsIsOpen) {
    ReentrantPrompts boxes;
    DiagnosticCore reentrant({bus, clock, codePage, boxes, files, clipboard});
    boxes.core = &reentrant;
    reentrant.RefreshMachineData();
    reentrant.SaveReport();
    EXPECT_FALSE(boxes.autoRefreshRan);
    EXPECT_EQ(bus.writes.size(), 1u);

    bus.interfaces.clear();  // unplugged: the no-connection box, and no refresh under it
    reentrant.RefreshMachineData();
    EXPECT_EQ(boxes.errors.size(), 1u);
    EXPECT_FALSE(boxes.autoRefreshRan);

    bus.interfaces.push_back({InterfaceQuery::Ok, "p0"});
    EXPECT_TRUE(reentrant.OnDeviceTimer().repaint);
    EXPECT_EQ(reentrant.Data().Count(), 3u);  // "c,d,e,"
    bus.interfaces.clear();
    EXPECT_TRUE(reentrant.OnDeviceTimer().repaint);
    EXPECT_FALSE(reentrant.Data().Available());
    EXPECT_EQ(boxes.errors.size(), 1u);
}

TEST_F(Dialog, commandKeysDoNothingWhileABoxOfTheDialogIsOpen) {
    struct KeyInBox final : Prompts {
        DiagnosticCore* core = nullptr;
        std::vector<ClickAction> seen;
        void ShowError(const WString&) override {
            for (Key key : {Key::F5, Key::CtrlS, Key::CtrlC}) seen.push_back(core->OnKey(key));
        }
        void ShowFileError(const WString&) override {}
        std::optional<WString> AskSavePath() override { return std::nullopt; }
    } boxes;
    DiagnosticCore reentrant({bus, clock, codePage, boxes, files, clipboard});
    boxes.core = &reentrant;
    reentrant.OnKey(Key::CtrlC);  // no data: the no-data box
    EXPECT_EQ(boxes.seen, std::vector<ClickAction>(3, ClickAction::None));
    EXPECT_TRUE(bus.writes.empty());
    EXPECT_EQ(clipboard.puts, 0);
}

TEST_F(Dialog, portsThatDoNotOpen_areExplainedOnlyWhereTheShellAsks_andOnlyOnRequest) {
    bus.devices["p0\\"].refusal = u"Permission denied";
    bus.devices["p0\\"].remedy = u"Join the group lp.";
    core.RefreshMachineData();
    EXPECT_TRUE(prompts.errors.empty());  // the Windows window stays silent

    DiagnosticCore linux({bus, clock, codePage, prompts, files, clipboard, /*explainUnopenedPorts=*/true});
    linux.RefreshMachineData();
    EXPECT_EQ(prompts.errors, std::vector<WString>{u"Cannot open p0: Permission denied.\nJoin the group lp."});
    linux.OnDeviceTimer();
    EXPECT_EQ(prompts.errors.size(), 1u);
}

TEST_F(Dialog, deviceEvents_restartTheSettleTimer_andABusyDialogAsksAgainLater) {
    EXPECT_EQ(core.OnDevicesChanged(), kDeviceSettleMs);
    struct TimerInBox final : Prompts {
        DiagnosticCore* core = nullptr;
        DeviceTimerAction seen{true, 0};
        void ShowError(const WString&) override { seen = core->OnDeviceTimer(); }
        void ShowFileError(const WString&) override {}
        std::optional<WString> AskSavePath() override { return std::nullopt; }
    } boxes;
    DiagnosticCore reentrant({bus, clock, codePage, boxes, files, clipboard});
    boxes.core = &reentrant;
    reentrant.CopyReport();  // no data: a box, under which the timer fires
    EXPECT_FALSE(boxes.seen.repaint);
    EXPECT_EQ(boxes.seen.armMs, kDeviceSettleMs);
    EXPECT_TRUE(bus.writes.empty());
}

// A port that answered is gone at the automatic refresh: while its device
// may bring it back, the values stay and the core looks again 2 s later,
// then takes what it finds.
TEST_F(Dialog, portGoneForAMoment_keepsTheValues_untilTheSecondLook) {
    const struct {
        const char* name;
        bool mayReturn;
        bool backAtSecondLook;
        std::vector<DeviceTimerAction> actions;  // per timer firing
        bool availableAtEnd;
    } rows[] = {
        {"unplugged", false, false, {{true, 0}}, false},
        {"taken for a moment, back", true, true, {{false, kPortReturnMs}, {true, 0}}, true},
        {"taken, never back", true, false, {{false, kPortReturnMs}, {true, 0}}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        bus = {};
        bus.interfaces.push_back({InterfaceQuery::Ok, "p0"});
        bus.devices["p0\\"] = {{"a,b,", "c,", "d,"}};
        if (row.mayReturn) bus.mayReturn.insert("p0");
        DiagnosticCore dialog({bus, clock, codePage, prompts, files, clipboard});
        dialog.RefreshMachineData();
        bus.interfaces.clear();
        for (std::size_t i = 0; i < row.actions.size(); ++i) {
            if (i > 0 && row.backAtSecondLook) bus.interfaces.push_back({InterfaceQuery::Ok, "p0"});
            const DeviceTimerAction action = dialog.OnDeviceTimer();
            EXPECT_EQ(action.repaint, row.actions[i].repaint) << i;
            EXPECT_EQ(action.armMs, row.actions[i].armMs) << i;
            if (i + 1 < row.actions.size()) {
                EXPECT_EQ(dialog.Data().Count(), 2u) << "values kept";
            }
        }
        EXPECT_EQ(dialog.Data().Available(), row.availableAtEnd);
        EXPECT_EQ(bus.askedMayReturn, std::vector<std::string>{"p0"});
        EXPECT_TRUE(prompts.errors.empty());
    }
}

TEST_F(Dialog, ctrlShiftC_copiesTheDiagnosis_withDataOrWithout) {
    bus.devices["p0\\"] = {};  // silent
    EXPECT_EQ(core.OnKey(Key::CtrlShiftC), ClickAction::None);
    EXPECT_EQ(clipboard.content.find(u"Port 1: p0"), WString::npos) << "nothing refreshed yet";
    core.RefreshMachineData();
    EXPECT_EQ(core.EmptyBoxesHint(),
              u"1 printer-class port found; it did not answer within 1 s.\nCtrl+Shift+C copies the details.");
    core.OnKey(Key::CtrlShiftC);
    const std::string copied = fakes::Narrow(clipboard.content);
    EXPECT_NE(copied.find("\r\nPort 1: p0\r\n  Result: opened; wrote 5 bytes, no reply within 1 s ("),
              std::string::npos)
        << copied;
    EXPECT_EQ(copied.find("\n\n"), std::string::npos) << "every line ends CR LF";

    bus.devices["p0\\"] = {{"1,2,"}};
    core.RefreshMachineData();
    EXPECT_TRUE(core.EmptyBoxesHint().empty());
    core.OnKey(Key::CtrlShiftC);
    EXPECT_NE(clipboard.content.find(u"read 4 bytes"), WString::npos);

    clipboard.next = {false, u"Another program holds the clipboard open."};
    core.OnKey(Key::CtrlShiftC);
    EXPECT_EQ(prompts.errors.back(), WString(kCopyFailedText) + u"\nAnother program holds the clipboard open.");
}

TEST(ValueBoxes, coverEveryValueButNoButton) {
    const std::vector<Rect> boxes = DiagnosticCore::ValueBoxes();
    const auto over = [&boxes](int x, int y) {
        for (const Rect& r : boxes)
            if (r.Contains(x, y)) return true;
        return false;
    };
    for (const ValueSlot& slot : kValueSlots) EXPECT_TRUE(over(slot.rect.left + 2, slot.rect.top + 2));
    for (const OffsetSlot& slot : kOffsetSlots) EXPECT_TRUE(over(slot.value.right - 2, slot.value.top + 2));
    for (int x = 95; x < 340; x += 5)
        for (int y = 285; y < 345; y += 5) EXPECT_FALSE(over(x, y)) << x << "," << y << " is a button";
}

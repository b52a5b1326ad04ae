#include "fakes/Fakes.h"
#include "machine/Report.h"
#include "seams/ProductText.h"
#include "ui/DiagnosticCore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace ldt;

namespace {

struct Dialog : ::testing::Test {
    fakes::FakeBus bus;
    fakes::FakeClock clock;
    fakes::Latin1CodePage codePage;
    fakes::FakePrompts prompts;
    fakes::FakeFiles files;
    fakes::FakeClipboard clipboard;
    fakes::FakeHistory history;
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

TEST_F(Dialog, tabMovesTheFocusRound_shiftTabBack_andShowsTheCue) {
    EXPECT_EQ(core.Focused(), HotNone);
    EXPECT_FALSE(core.FocusCueShown());
    const struct {
        Key key;
        HotButton focused;
    } steps[] = {{Key::Tab, HotRefresh},     {Key::Tab, HotSaveAs},      {Key::Tab, HotClose},
                 {Key::Tab, HotRefresh},     {Key::ShiftTab, HotClose}, {Key::ShiftTab, HotSaveAs}};
    int i = 0;
    for (const auto& s : steps) {
        EXPECT_EQ(core.OnKey(s.key), ClickAction::Repaint) << "step " << i;
        EXPECT_EQ(core.Focused(), s.focused) << "step " << i++;
    }
    EXPECT_TRUE(core.FocusCueShown());
    EXPECT_TRUE(bus.writes.empty());

    DiagnosticCore fresh{{bus, clock, codePage, prompts, files, clipboard}};
    fresh.OnKey(Key::ShiftTab);
    EXPECT_EQ(fresh.Focused(), HotClose);
}

TEST_F(Dialog, spacePressesTheFocusedButtonAsAClick_andNothingWithoutFocus) {
    EXPECT_EQ(core.OnKey(Key::Space), ClickAction::None);
    EXPECT_TRUE(bus.writes.empty());
    core.OnKey(Key::Tab);
    EXPECT_EQ(core.OnKey(Key::Space), ClickAction::RepaintErased);
    EXPECT_EQ(bus.writes.size(), 1u);
    core.OnKey(Key::Tab);
    prompts.savePath = WString(u"r");
    EXPECT_EQ(core.OnKey(Key::Space), ClickAction::None);
    EXPECT_EQ(files.files.count("r.txt"), 1u);
    core.OnKey(Key::Tab);
    EXPECT_EQ(core.OnKey(Key::Space), ClickAction::EndDialog);
    EXPECT_EQ(core.Press(HotRefresh), ClickAction::RepaintErased);
    EXPECT_EQ(bus.writes.size(), 2u);
}

// No key, no cue: a mouse-only session paints what it always painted. The
// cue is the focused button's hit rectangle at the paint's scale.
TEST_F(Dialog, focusCuePaintedOnlyOnceTheKeyboardIsUsed_atThePaintsScale) {
    using Op = fakes::RecordingCanvas::Op;
    const auto cues = [&](int dpi) {
        fakes::RecordingCanvas canvas;
        core.PaintDataPanel(canvas, {false, 813, 388, 32, 32, dpi});
        std::vector<Rect> rects;
        for (const Op& op : canvas.ops)
            if (op.kind == Op::Focus) rects.push_back(op.rect);
        return rects;
    };
    Click(100, 300, 100, 300);
    EXPECT_TRUE(cues(96).empty());
    core.OnKey(Key::Tab);
    EXPECT_EQ(cues(96), std::vector<Rect>{ButtonRect(HotRefresh)});
    EXPECT_EQ(cues(192), (std::vector<Rect>{{190, 580, 280, 680}}));
    EXPECT_TRUE(core.ShowFocusCue(false));  // the platform hid the cues again
    EXPECT_TRUE(cues(96).empty());
    EXPECT_FALSE(core.ShowFocusCue(false));
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

// The tooltip's places are the boxes a screen reader gives the values.
TEST(ValueBoxes, areTheDescribedBoxesOfTheValues_noneOverAButton) {
    std::vector<Rect> described;
    for (const AccessibleItem& item : DescribeWindow(MachineData()))
        if (item.role == AccessibleRole::StaticText && item.name != u"Driver Version" && item.name != kVersionLabel)
            described.push_back(item.rect);
    EXPECT_EQ(DiagnosticCore::ValueBoxes(), described);
    for (const Rect& box : described)
        for (HotButton b : {HotRefresh, HotSaveAs, HotClose})
            EXPECT_FALSE(box.Contains(ButtonRect(b).left, ButtonRect(b).top) || ButtonRect(b).Contains(box.left, box.top));
}

TEST_F(Dialog, announcements_changedValuesThenFocus_afterTheBaseline) {
    core.RefreshMachineData();
    EXPECT_TRUE(core.TakeAnnouncements().empty());
    core.OnKey(Key::F5);  // "c,d,e,"
    core.OnKey(Key::Tab);
    const auto told = core.TakeAnnouncements();
    ASSERT_EQ(told.size(), 4u);
    const std::size_t items[] = {0, 2, 7, 17};  // firmware, FPGA, tube, then Refresh focused
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(told[i].item, items[i]);
        EXPECT_EQ(told[i].kind, i < 3 ? DiagnosticCore::Announcement::ValueChanged : DiagnosticCore::Announcement::Focus);
    }
    EXPECT_EQ(fakes::Narrow(told[0].before) + ">" + fakes::Narrow(told[0].now), "b>d");
    EXPECT_TRUE(core.TakeAnnouncements().empty());
}

// Presses from assistive technology: a press of a waiting button, or of
// Refresh under a running refresh, folds into it; a Close pressed under a
// box closes the window once the box is gone.
TEST_F(Dialog, pressesFromAssistiveTechnology_foldAndWaitForTheBox) {
    struct Hook final : Prompts {
        std::function<void()> during = [] {};
        void ShowError(const WString&) override { during(); }
        void ShowFileError(const WString&) override {}
        std::optional<WString> AskSavePath() override {
            during();
            return std::nullopt;
        }
    } boxes;
    DiagnosticCore reentrant({bus, clock, codePage, boxes, files, clipboard});
    EXPECT_TRUE(reentrant.QueuePress(HotRefresh));
    for (int i = 0; i < 300; ++i) EXPECT_FALSE(reentrant.QueuePress(HotRefresh));
    EXPECT_FALSE(reentrant.QueuePress(HotNone));
    EXPECT_EQ(reentrant.RunPresses(), ClickAction::RepaintErased);
    EXPECT_EQ(bus.writes.size(), 1u);
    EXPECT_FALSE(reentrant.PressesWaiting());

    bus.interfaces.clear();  // the no-connection box, under which Refresh is pressed
    boxes.during = [&reentrant] { EXPECT_FALSE(reentrant.QueuePress(HotRefresh)); };
    reentrant.RefreshMachineData();
    EXPECT_FALSE(reentrant.PressesWaiting());

    boxes.during = [&reentrant] {
        EXPECT_TRUE(reentrant.QueuePress(HotClose));
        EXPECT_EQ(reentrant.RunPresses(), ClickAction::None);
        EXPECT_FALSE(reentrant.PressesWaiting());
    };
    reentrant.SaveReport();  // no data: the no-data box
    EXPECT_TRUE(reentrant.PressesWaiting());
    EXPECT_EQ(reentrant.RunPresses(), ClickAction::EndDialog);
    EXPECT_FALSE(reentrant.PressesWaiting());
}

// The box of a value that changed since the previous reading is drawn in the
// mark colour and says what it was; without a change the paint is today's.
TEST_F(Dialog, withHistory_marksExactlyTheChangedBox) {
    DiagnosticCore remembering{{{bus, clock, codePage, prompts}, files, clipboard, false, {}, &history}};
    const std::string reply = "0,1,2,3,62,5,6,7,8,9,10,11,12,13,Left  1,Up    2,16,";
    bus.devices["p0\\"] = {{reply, reply, "0,1,2,3,55,5,6,7,8,9,10,11,12,13,Left  1,Up    2,16,"}};
    const auto paint = [&] {
        fakes::RecordingCanvas canvas;
        remembering.PaintDataPanel(canvas, {false, 816, 418, 32, 32});
        return canvas.ops;
    };
    const auto colours = [](const std::vector<fakes::RecordingCanvas::Op>& ops) {
        std::vector<std::pair<unsigned, std::string>> out;  // each colour set, with the text drawn next
        for (std::size_t i = 0; i < ops.size(); ++i)
            if (ops[i].kind == fakes::RecordingCanvas::Op::Color)
                out.push_back({ops[i].format, i + 1 < ops.size() ? ops[i + 1].text : ""});
        return out;
    };
    remembering.RefreshMachineData();
    EXPECT_TRUE(remembering.Changes().empty());
    remembering.RefreshMachineData();
    EXPECT_TRUE(remembering.Changes().empty());
    EXPECT_TRUE(colours(paint()).empty());
    remembering.RefreshMachineData();
    EXPECT_EQ(colours(paint()), (std::vector<std::pair<unsigned, std::string>>{{kChangedTextColor, "55"}, {0u, "5"}}));
    std::vector<WString> tips, described;
    for (std::size_t i = 0; i < DiagnosticCore::ValueBoxes().size(); ++i) tips.push_back(remembering.BoxTip(i));
    for (const AccessibleItem& item : remembering.Describe()) described.push_back(item.description);
    const WString sentence = u"Power was 62 on " + LocalMinuteText(remembering.Changes().at(0).since);
    EXPECT_EQ(std::count(tips.begin(), tips.end(), sentence), 1);
    EXPECT_EQ(std::count(tips.begin(), tips.end(), WString()), static_cast<long>(tips.size()) - 1);
    EXPECT_EQ(std::count(described.begin(), described.end(), sentence), 1);
    EXPECT_EQ(std::count(described.begin(), described.end(), WString()), static_cast<long>(described.size()) - 1);
    // A history that cannot be written: the values show, the diagnosis says why.
    history.failure = u"Cannot write history.jsonl: Read-only file system.";
    bus.devices["p0\\"] = {{reply}};
    remembering.RefreshMachineData();
    EXPECT_TRUE(remembering.Data().Available());
    EXPECT_NE(DiagnosisText(remembering.LastDiagnosis()).find(u"History: " + history.failure), WString::npos);
}

#include "fakes/Fakes.h"
#include "ui/AccessibleModel.h"
#include "ui/DataPanel.h"

#include <gtest/gtest.h>

#include <map>

using namespace ldt;
using Op = fakes::RecordingCanvas::Op;

namespace {

// Every field a different text, so that a painted text names its field.
MachineData Distinct() {
    MachineData data;
    for (int i = 0; i < 14; ++i) data.Append(fakes::Widen("f" + std::to_string(i)));
    data.Append(u"Right 3.5");
    data.Append(u"Down  7");
    data.Append(u"f16");
    return data;
}

std::vector<std::pair<std::string, std::string>> NamesAndValues(const std::vector<AccessibleItem>& items) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const AccessibleItem& i : items) out.emplace_back(fakes::Narrow(i.name), fakes::Narrow(i.value));
    return out;
}

}  // namespace

// What a client reads for a reply: the painted text under each caption,
// the offsets as label and amount, the Driver Version box empty.
TEST(DescribeWindow, readsTheValuesAsPainted_underTheirCaptions) {
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Firmware Version", "f1"}, {"Driver Version", ""},  {"FPGA. Version", "f0"},
        {"Speed", "f3"},           {"Power", "f4"},          {"DPI", "f5"},
        {"PPI", "f6"},              {"Laser Tube Model", "f2"}, {"Vector Mode", "f16"},
        {"Select Lens", "f7"},      {"Carriage Free", "f8"},  {"USB Mode", "f9"},
        {"Z-depth", "f10"},         {"Scaling X / Scaling Y", "f12"}, {"Scaling X / Scaling Y", "f13"},
        {"Image Offset", "R: 3.5"}, {"Image Offset", "D: 7"}, {"Refresh", ""},
        {"Save as", ""},            {"Close", ""},            {"Ver_1.00-01", "Ver_1.00-01"},
    };
    EXPECT_EQ(NamesAndValues(DescribeWindow(Distinct())), expected);

    MachineData shortOffset;
    for (int i = 0; i < 14; ++i) shortOffset.Append(u"x");
    shortOffset.Append(u"Left");
    EXPECT_EQ(DescribeWindow(shortOffset)[15].value, u"L:");
}

TEST(DescribeWindow, noData_everyBoxEmpty_buttonsStillThere) {
    const auto items = DescribeWindow(MachineData());
    ASSERT_EQ(items.size(), 21u);
    int buttons = 0;
    for (const AccessibleItem& i : items) {
        if (i.role == AccessibleRole::PushButton) {
            ++buttons;
            EXPECT_EQ(i.rect, ButtonRect(i.button)) << fakes::Narrow(i.name);
        } else if (i.name != u"Ver_1.00-01") {
            EXPECT_EQ(i.value, u"") << fakes::Narrow(i.name);
            EXPECT_EQ(i.button, HotNone);
        }
    }
    EXPECT_EQ(buttons, 3);
    EXPECT_EQ(IndexOfButton(items, HotRefresh), 17u);
    EXPECT_EQ(IndexOfButton(items, HotNone), items.size());
}

// At each scale, every text the paint draws for a box lands inside that
// box as the description places it: centred across it, starting near its
// top. This ties the description's boxes to the paint's rectangles.
TEST(DescribeWindow, eachPaintedValueLandsInItsBox_atEveryScale) {
    const MachineData data = Distinct();
    const auto items = DescribeWindow(data);
    for (int dpi : {96, 120, 144, 168, 192}) {
        fakes::RecordingCanvas canvas;
        PaintDataPanel(canvas, {false, 1632, 836, 32, 32, dpi}, data);
        std::map<std::string, Rect> drawn;
        for (const Op& op : canvas.ops)
            if (op.kind == Op::Text) drawn[op.text] = op.rect;
        for (const AccessibleItem& item : items) {
            if (item.value.empty()) continue;
            // An offset's amount is what lies in its box; its label sits left of it.
            std::string text = fakes::Narrow(item.value);
            if (item.name == u"Image Offset") text = text.substr(text.find(' ') + 1);
            SCOPED_TRACE(std::to_string(dpi) + " " + fakes::Narrow(item.name) + " " + text);
            ASSERT_EQ(drawn.count(text), 1u);
            const Rect box = ScaleRect(item.rect, dpi), r = drawn[text];
            const int centre = (r.left + r.right) / 2;
            EXPECT_TRUE(box.left <= centre && centre < box.right);
            EXPECT_LE(std::abs(r.top - box.top), ScalePx(4, dpi));
        }
    }
}

TEST(DescribeWindow, changedValues_areTheBoxesWhoseTextChanged) {
    const auto none = DescribeWindow(MachineData());
    const auto full = DescribeWindow(Distinct());
    const auto changed = ChangedValues(none, full);
    EXPECT_EQ(changed.size(), 16u);  // every box but Driver Version
    EXPECT_EQ(changed.front(), 0u);
    EXPECT_EQ(changed.back(), 16u);
    EXPECT_TRUE(ChangedValues(full, full).empty());
}

#include "fakes/Fakes.h"
#include "ui/AccessibleModel.h"
#include "ui/DataPanel.h"

#include <gtest/gtest.h>


using namespace ldt;

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

TEST(DescribeWindow, changedValues_areTheBoxesWhoseTextChanged) {
    const auto none = DescribeWindow(MachineData());
    const auto full = DescribeWindow(Distinct());
    const auto changed = ChangedValues(none, full);
    EXPECT_EQ(changed.size(), 16u);  // every box but Driver Version
    EXPECT_EQ(changed.front(), 0u);
    EXPECT_EQ(changed.back(), 16u);
    EXPECT_TRUE(ChangedValues(full, full).empty());
}

// Pieces of a one-line text as a screen reader asks for them; the end
// offset (and -1, and beyond) holds no unit.
TEST(TextAround, unitsAtBeforeAndAfter_theEndHoldsNone) {
    const WString text = u"Up 5. Ok";  // words "Up ", "5. ", "Ok"; sentences "Up 5. ", "Ok"
    const struct {
        TextUnit unit;
        TextSide side;
        int offset;
        TextSpan span;
    } cases[] = {
        {TextUnit::Word, TextSide::At, 4, {3, 6}},     {TextUnit::Word, TextSide::At, -1, {8, 8}},
        {TextUnit::Word, TextSide::At, 99, {8, 8}},    {TextUnit::Word, TextSide::Before, 8, {6, 8}},
        {TextUnit::Word, TextSide::Before, 2, {0, 0}}, {TextUnit::Word, TextSide::After, 7, {8, 8}},
        {TextUnit::Sentence, TextSide::At, 2, {0, 6}}, {TextUnit::Char, TextSide::Before, 8, {7, 8}},
        {TextUnit::Char, TextSide::After, -5, {1, 2}}, {TextUnit::Whole, TextSide::At, 3, {0, 8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.unit)) + "/" + std::to_string(static_cast<int>(c.side)) +
                     " at " + std::to_string(c.offset));
        EXPECT_TRUE(TextAround(text, c.offset, c.unit, c.side) == c.span);
    }
    EXPECT_TRUE(TextAround(u"", 0, TextUnit::Word, TextSide::At) == (TextSpan{0, 0}));
    EXPECT_TRUE(TextAround(u"a\U0001F600", 1, TextUnit::Char, TextSide::At) == (TextSpan{1, 3}));
}

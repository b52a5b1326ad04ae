#include "fakes/Fakes.h"
#include "ui/DataPanel.h"

#include <gtest/gtest.h>

using namespace ldt;
using Op = fakes::RecordingCanvas::Op;

namespace {

MachineData Sample(const char16_t* offsetX = u"Left  12", const char16_t* offsetY = u"Down  5") {
    MachineData data;
    for (int i = 0; i < 14; ++i) data.Append(fakes::Widen("v" + std::to_string(i)));
    data.Append(offsetX);
    data.Append(offsetY);
    data.Append(u"v16");
    return data;
}

constexpr PaintState kNormal = {false, 813, 388, 32, 32};

std::vector<fakes::TextOp> Paint(const MachineData& data) {
    fakes::RecordingCanvas canvas;
    PaintDataPanel(canvas, kNormal, data);
    return canvas.Texts();
}

}  // namespace

TEST(PaintDataPanel, copiesTheSkinFromThreeThirty_thenFont_thenVersionLabel) {
    fakes::RecordingCanvas canvas;
    PaintDataPanel(canvas, kNormal, MachineData());
    ASSERT_EQ(canvas.ops.size(), 3u);
    EXPECT_EQ(canvas.ops[0].kind, Op::Copy);
    EXPECT_EQ(canvas.ops[0].rect, (Rect{0, 0, 817, 418}));
    EXPECT_EQ(canvas.ops[0].src.x, 3);
    EXPECT_EQ(canvas.ops[0].src.y, 30);
    ASSERT_EQ(canvas.ops[1].kind, Op::Font);
    const FontSpec& f = *canvas.ops[1].font;
    EXPECT_EQ(f.height, 16);
    EXPECT_EQ(f.width, 12);
    EXPECT_EQ(f.weight, 900);
    EXPECT_EQ(f.pitchAndFamily, 0x31);
    EXPECT_EQ(WString(f.face), u"Courier New");
    EXPECT_EQ(canvas.ops[2].kind, Op::Text);
    EXPECT_EQ(canvas.ops[2].text, "Ver_1.00-01");
    EXPECT_EQ(canvas.ops[2].rect, (Rect{700, 370, 810, 520}));
    EXPECT_EQ(canvas.ops[2].format, kDtCenter);
}

TEST(PaintDataPanel, sixteenValuesInOrder_withTheirRectangles) {
    const auto texts = Paint(Sample());
    ASSERT_EQ(texts.size(), 1u + 14u + 4u);
    const std::vector<std::pair<std::string, Rect>> expected = {
        {"Ver_1.00-01", {700, 370, 810, 520}},
        {"v1", {200, 85, 280, 105}},
        {"v0", {200, 136, 250, 1396}},
        {"v3", {120, 217, 190, 237}},
        {"v4", {290, 217, 360, 237}},
        {"v5", {120, 242, 190, 262}},
        {"v6", {290, 242, 360, 262}},
        {"v2", {590, 100, 720, 120}},
        {"v16", {590, 127, 717, 150}},
        {"v7", {620, 155, 680, 175}},
        {"v8", {590, 185, 720, 205}},
        {"v9", {590, 211, 710, 231}},
        {"v10", {590, 242, 740, 262}},
        {"v12", {550, 270, 670, 290}},
        {"v13", {640, 270, 790, 290}},
        {"L:", {560, 300, 580, 325}},
        {"12", {580, 300, 645, 325}},
        {"D:", {660, 300, 680, 325}},
        {"5", {680, 300, 745, 325}},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(texts[i].text, expected[i].first) << "order " << i;
        EXPECT_EQ(texts[i].rect, expected[i].second) << "order " << i;
        EXPECT_EQ(texts[i].format, kDtCenter);
    }
}

TEST(PaintDataPanel, directionLabels_exactCaseSensitiveTest) {
    auto t = Paint(Sample(u"Right 12", u"Up    5"));
    EXPECT_EQ(t[15].text, "R:");
    EXPECT_EQ(t[16].text, "12");
    EXPECT_EQ(t[17].text, "U:");
    EXPECT_EQ(t[18].text, "5");
    t = Paint(Sample(u"left  12", u"down  5"));
    EXPECT_EQ(t[15].text, "R:");
    EXPECT_EQ(t[17].text, "U:");
    t = Paint(Sample(u"Leftover", u"Downtown"));
    EXPECT_EQ(t[15].text, "L:");
    EXPECT_EQ(t[16].text, "er");
    EXPECT_EQ(t[17].text, "D:");
    EXPECT_EQ(t[18].text, "wn");
}

TEST(PaintDataPanel, offsetShorterThanSixCharacters_showsOnlyItsLabel) {
    const auto t = Paint(Sample(u"Left", u"Dow"));
    EXPECT_EQ(t[15].text, "L:");
    EXPECT_EQ(t[16].text, "");
    EXPECT_EQ(t[17].text, "U:");
    EXPECT_EQ(t[18].text, "");
}

TEST(PaintDataPanel, fewFields_missingPositionsDrawEmpty) {
    MachineData data;
    ParseReply(data, u"fpga,fw,");
    const auto t = Paint(data);
    ASSERT_EQ(t.size(), 19u);
    EXPECT_EQ(t[1].text, "fw");
    EXPECT_EQ(t[2].text, "fpga");
    EXPECT_EQ(t[3].text, "");
    EXPECT_EQ(t[15].text, "R:");
    EXPECT_EQ(t[17].text, "U:");
}

TEST(PaintDataPanel, noData_drawsPictureAndVersionLabelOnly) {
    const auto t = Paint(MachineData());
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].text, "Ver_1.00-01");
}

TEST(PaintDataPanel, minimised_drawsTheIconCentred_notTheSkin) {
    fakes::RecordingCanvas canvas;
    PaintDataPanel(canvas, {true, 160, 28, 32, 32}, Sample());
    ASSERT_EQ(canvas.ops.size(), 1u);
    EXPECT_EQ(canvas.ops[0].kind, Op::Icon);
    EXPECT_EQ(canvas.ops[0].rect.left, 64);
    EXPECT_EQ(canvas.ops[0].rect.top, -1);
}

TEST(PaintCaptionStrip, copiesTheTitleStripOverTheCaption) {
    fakes::RecordingCanvas canvas;
    PaintCaptionStrip(canvas);
    ASSERT_EQ(canvas.ops.size(), 1u);
    EXPECT_EQ(canvas.ops[0].rect, (Rect{3, 0, 810, 29}));
    EXPECT_EQ(canvas.ops[0].src.x, 3);
    EXPECT_EQ(canvas.ops[0].src.y, 0);
}

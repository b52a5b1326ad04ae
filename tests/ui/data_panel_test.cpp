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

// The skin goes first, then the font the texts need, then the texts.
TEST(PaintDataPanel, skinThenFontThenVersionLabel_noDataDrawsNothingMore) {
    fakes::RecordingCanvas canvas;
    PaintDataPanel(canvas, kNormal, MachineData());
    ASSERT_EQ(canvas.ops.size(), 3u);
    EXPECT_EQ(canvas.ops[0].kind, Op::Copy);
    EXPECT_EQ(canvas.ops[1].kind, Op::Font);
    EXPECT_EQ(canvas.ops[2].kind, Op::Text);
    EXPECT_EQ(canvas.ops[2].text, "Ver_1.00-01");
}

// Which value goes into which box (the boxes themselves are checked on the
// real windows), all centred; position 11 is never shown.
TEST(PaintDataPanel, sixteenValuesInScreenOrder_centred) {
    const auto texts = Paint(Sample());
    const std::vector<std::string> expected = {"Ver_1.00-01", "v1", "v0", "v3", "v4", "v5", "v6",
                                               "v2", "v16", "v7", "v8", "v9", "v10", "v12",
                                               "v13", "L:", "12", "D:", "5"};
    ASSERT_EQ(texts.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(texts[i].text, expected[i]) << "order " << i;
        EXPECT_EQ(texts[i].format, kDtCenter);
    }
}

// The label is L:/D: only for the exact, case-sensitive word; the amount is
// what follows the six-character direction.
TEST(PaintDataPanel, offsetDirectionLabelsAndAmounts) {
    const struct {
        const char16_t *x, *y;
        std::vector<std::string> shown;  // label X, amount X, label Y, amount Y
    } cases[] = {
        {u"Right 12", u"Up    5", {"R:", "12", "U:", "5"}},
        {u"left  12", u"down  5", {"R:", "12", "U:", "5"}},
        {u"Leftover", u"Downtown", {"L:", "er", "D:", "wn"}},
        {u"Left", u"Dow", {"L:", "", "U:", ""}},
        {u"", u"", {"R:", "", "U:", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fakes::Narrow(c.x));
        const auto t = Paint(Sample(c.x, c.y));
        ASSERT_EQ(t.size(), 19u);
        EXPECT_EQ((std::vector<std::string>{t[15].text, t[16].text, t[17].text, t[18].text}), c.shown);
    }
}

TEST(PaintDataPanel, fewFields_missingPositionsDrawEmpty) {
    MachineData data;
    ParseReply(data, u"fpga,fw,");
    const auto t = Paint(data);
    ASSERT_EQ(t.size(), 19u);
    EXPECT_EQ(t[1].text, "fw");
    EXPECT_EQ(t[2].text, "fpga");
    EXPECT_EQ(t[3].text, "");
}

TEST(PaintDataPanel, minimised_drawsTheIconCentred_notTheSkin) {
    fakes::RecordingCanvas canvas;
    PaintDataPanel(canvas, {true, 160, 28, 32, 32}, Sample());
    ASSERT_EQ(canvas.ops.size(), 1u);
    EXPECT_EQ(canvas.ops[0].kind, Op::Icon);
    // (160 - 32 + 1) / 2 and (28 - 32 + 1) / 2, rounded towards zero.
    EXPECT_EQ(canvas.ops[0].rect.left, 64);
    EXPECT_EQ(canvas.ops[0].rect.top, -1);
}

// At 144 DPI the skin comes from the picture at that scale, the font and
// the rectangles scaled; the caption strip likewise.
TEST(PaintDataPanel, atAnotherDpi_everyLengthIsScaled) {
    fakes::RecordingCanvas canvas;
    PaintDataPanel(canvas, {false, 1218, 596, 32, 32, 144}, Sample());
    ASSERT_EQ(canvas.ops.size(), 21u);
    EXPECT_EQ(canvas.ops[0].rect, (Rect{0, 0, 1226, 627}));
    EXPECT_EQ(canvas.ops[0].src.x, 5);
    EXPECT_EQ(canvas.ops[0].src.y, 45);
    EXPECT_EQ(canvas.ops[1].rect.left, 24);  // font height
    EXPECT_EQ(canvas.ops[1].rect.top, 18);   // and width
    EXPECT_EQ(canvas.ops[2].rect, (Rect{1050, 555, 1215, 780}));
    EXPECT_EQ(canvas.ops[3].rect, (Rect{300, 128, 420, 158}));  // firmware
    fakes::RecordingCanvas strip;
    PaintCaptionStrip(strip, 192);
    EXPECT_EQ(strip.ops[0].rect, (Rect{6, 0, 1620, 58}));
    EXPECT_EQ(strip.ops[0].src.x, 6);
}

// The strip is copied to where it sits in the skin.
TEST(PaintCaptionStrip, copiesTheTitleStripOverTheCaption) {
    fakes::RecordingCanvas canvas;
    PaintCaptionStrip(canvas);
    ASSERT_EQ(canvas.ops.size(), 1u);
    EXPECT_EQ(canvas.ops[0].kind, Op::Copy);
    EXPECT_EQ(canvas.ops[0].src.x, canvas.ops[0].rect.left);
    EXPECT_EQ(canvas.ops[0].src.y, canvas.ops[0].rect.top);
}

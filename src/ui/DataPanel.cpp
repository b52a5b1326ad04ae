#include "ui/DataPanel.h"

#include "ui/WindowGeometry.h"

#include <algorithm>

namespace ldt {

const FontSpec kTextFont = {16, 12, 0, 0, 900, false, false, false, 0, 0, 0, 0, 0x31, u"Courier New"};

const char16_t kVersionLabel[] = u"Ver_1.00-01";

namespace {

constexpr OffsetSplit kNoSplit = {u"", u"", u"", {}};

constexpr Box Field(const char16_t* caption, Rect area, MachineField field, Rect draw) {
    return {caption, area, BoxShows::Field, field, draw, kNoSplit};
}

// The direction label for a stored image-offset value (exact, case-sensitive).
const char16_t* DirectionLabel(const OffsetSplit& split, const WString& value) {
    return value.compare(0, 4, split.word) == 0 ? split.whenWord : split.otherwise;
}

// What remains of the value once the six-character direction word is dropped.
WString OffsetAmount(const WString& value) {
    return value.size() > 6 ? value.substr(6) : WString();
}

void PaintMachineValues(Canvas& canvas, const MachineData& data, int dpi, const std::vector<std::size_t>& changed) {
    bool marking = false;  // the text colour is the mark's
    for (const Box& box : kBoxes) {
        if (box.shows == BoxShows::Nothing) continue;
        const bool mark =
            std::find(changed.begin(), changed.end(), static_cast<std::size_t>(box.field)) != changed.end();
        if (mark != marking) canvas.SetTextColor(mark ? kChangedTextColor : 0);
        marking = mark;
        const WString& value = data.At(box.field);
        if (box.shows == BoxShows::Offset)
            canvas.DrawString(ScaleRect(box.split.label, dpi), DirectionLabel(box.split, value), kDtCenter);
        const WString amount = box.shows == BoxShows::Field ? value : OffsetAmount(value);
        canvas.DrawString(ScaleRect(box.draw, dpi), amount, kDtCenter);
    }
    if (marking) canvas.SetTextColor(0);
}

}  // namespace

// Rectangles: left, top, right, bottom (exclusive). The drawing rectangles
// are not the boxes: they overhang them, and the FPGA version's runs far
// below its box.
const std::array<Box, kBoxCount> kBoxes = {{
    Field(u"Firmware Version", {189, 87, 318, 100}, MachineField::FirmwareVersion, {200, 85, 280, 105}),
    {u"Driver Version", {189, 113, 318, 126}, BoxShows::Nothing, MachineField::Unused11, {}, kNoSplit},
    Field(u"FPGA. Version", {189, 138, 318, 151}, MachineField::FpgaVersion, {200, 136, 250, 1396}),
    Field(u"Speed", {115, 221, 199, 233}, MachineField::FileSpeed, {120, 217, 190, 237}),
    Field(u"Power", {286, 221, 370, 233}, MachineField::FilePower, {290, 217, 360, 237}),
    Field(u"DPI", {115, 246, 199, 258}, MachineField::FileDpi, {120, 242, 190, 262}),
    Field(u"PPI", {286, 246, 370, 258}, MachineField::FilePpi, {290, 242, 360, 262}),
    Field(u"Laser Tube Model", {582, 100, 744, 116}, MachineField::LaserTubeModel, {590, 100, 720, 120}),
    Field(u"Vector Mode", {582, 128, 744, 144}, MachineField::VectorMode, {590, 127, 717, 150}),
    Field(u"Select Lens", {582, 156, 744, 172}, MachineField::SelectLens, {620, 155, 680, 175}),
    Field(u"Carriage Free", {582, 184, 744, 200}, MachineField::CarriageFree, {590, 185, 720, 205}),
    Field(u"USB Mode", {582, 212, 744, 228}, MachineField::UsbSetupWizard, {590, 211, 710, 231}),
    Field(u"Z-depth", {582, 240, 744, 256}, MachineField::FocusDistance, {590, 242, 740, 262}),
    Field(u"Scaling X / Scaling Y", {583, 274, 641, 287}, MachineField::ScalingX, {550, 270, 670, 290}),
    Field(u"Scaling X / Scaling Y", {685, 274, 743, 287}, MachineField::ScalingY, {640, 270, 790, 290}),
    {u"Image Offset", {583, 302, 641, 315}, BoxShows::Offset, MachineField::ImageOffsetX, {580, 300, 645, 325},
     {u"Left", u"L:", u"R:", {560, 300, 580, 325}}},
    {u"Image Offset", {685, 302, 743, 315}, BoxShows::Offset, MachineField::ImageOffsetY, {680, 300, 745, 325},
     {u"Down", u"D:", u"U:", {660, 300, 680, 325}}},
}};

WString BoxText(const Box& box, const MachineData& data) {
    if (!data.Available() || box.shows == BoxShows::Nothing) return {};
    const WString& value = data.At(box.field);
    if (box.shows == BoxShows::Field) return value;
    WString text = DirectionLabel(box.split, value);
    const WString amount = OffsetAmount(value);
    if (!amount.empty()) text += u" " + amount;
    return text;
}

void PaintDataPanel(Canvas& canvas, const PaintState& state, const MachineData& data, HotButton focusCue,
                    const std::vector<std::size_t>& changed) {
    if (state.iconic) {
        const Point at = CentredIcon(state.clientWidth, state.clientHeight, state.iconWidth, state.iconHeight);
        canvas.DrawAppIcon(at.x, at.y);
        return;
    }
    const int dpi = state.dpi;
    const Point origin = ScalePoint(kClientOriginInSkin, dpi);
    canvas.CopySkin(0, 0, ScalePx(kSkinBlockWidth, dpi), ScalePx(kSkinBlockHeight, dpi), origin.x, origin.y);
    canvas.SetTextFont(ScaleFont(kTextFont, dpi));
    canvas.DrawString(ScaleRect(kVersionRect, dpi), kVersionLabel, kDtCenter);
    if (data.Available()) PaintMachineValues(canvas, data, dpi, changed);
    if (focusCue != HotNone) canvas.DrawFocusCue(ScaleRect(ButtonRect(focusCue), dpi));
}

void PaintCaptionStrip(Canvas& windowCanvas, int dpi) {
    const Rect strip =
        ScaleRect({kCaptionStripLeft, 0, kCaptionStripLeft + kCaptionStripWidth, kCaptionStripHeight}, dpi);
    windowCanvas.CopySkin(strip.left, 0, strip.right - strip.left, strip.bottom, strip.left, 0);
}

}  // namespace ldt

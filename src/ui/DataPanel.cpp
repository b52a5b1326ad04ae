#include "ui/DataPanel.h"

#include "ui/WindowGeometry.h"

namespace ldt {

const FontSpec kTextFont = {16, 12, 0, 0, 900, false, false, false, 0, 0, 0, 0, 0x31, u"Courier New"};

const char16_t kVersionLabel[] = u"Ver_1.00-01";

const std::array<ValueSlot, 14> kValueSlots = {{
    {MachineField::FirmwareVersion, {200, 85, 280, 105}},
    {MachineField::FpgaVersion, {200, 136, 250, 1396}},
    {MachineField::FileSpeed, {120, 217, 190, 237}},
    {MachineField::FilePower, {290, 217, 360, 237}},
    {MachineField::FileDpi, {120, 242, 190, 262}},
    {MachineField::FilePpi, {290, 242, 360, 262}},
    {MachineField::LaserTubeModel, {590, 100, 720, 120}},
    {MachineField::VectorMode, {590, 127, 717, 150}},
    {MachineField::SelectLens, {620, 155, 680, 175}},
    {MachineField::CarriageFree, {590, 185, 720, 205}},
    {MachineField::UsbSetupWizard, {590, 211, 710, 231}},
    {MachineField::FocusDistance, {590, 242, 740, 262}},
    {MachineField::ScalingX, {550, 270, 670, 290}},
    {MachineField::ScalingY, {640, 270, 790, 290}},
}};

const std::array<OffsetSlot, 2> kOffsetSlots = {{
    {MachineField::ImageOffsetX, u"Left", u"L:", u"R:", {560, 300, 580, 325}, {580, 300, 645, 325}},
    {MachineField::ImageOffsetY, u"Down", u"D:", u"U:", {660, 300, 680, 325}, {680, 300, 745, 325}},
}};

const char16_t* DirectionLabel(const OffsetSlot& slot, const WString& value) {
    return value.compare(0, 4, slot.word) == 0 ? slot.whenWord : slot.otherwise;
}

WString OffsetAmount(const WString& value) {
    return value.size() > 6 ? value.substr(6) : WString();
}

WString OffsetText(const OffsetSlot& slot, const WString& value) {
    WString text = DirectionLabel(slot, value);
    const WString amount = OffsetAmount(value);
    if (!amount.empty()) text += u" " + amount;
    return text;
}

void PaintMachineValues(Canvas& canvas, const MachineData& data, int dpi) {
    for (const ValueSlot& slot : kValueSlots)
        canvas.DrawString(ScaleRect(slot.rect, dpi), data.At(slot.field), kDtCenter);
    for (const OffsetSlot& slot : kOffsetSlots) {
        const WString& value = data.At(slot.field);
        canvas.DrawString(ScaleRect(slot.label, dpi), DirectionLabel(slot, value), kDtCenter);
        canvas.DrawString(ScaleRect(slot.value, dpi), OffsetAmount(value), kDtCenter);
    }
}

void PaintDataPanel(Canvas& canvas, const PaintState& state, const MachineData& data, HotButton focusCue) {
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
    if (data.Available()) PaintMachineValues(canvas, data, dpi);
    if (focusCue != HotNone) canvas.DrawFocusCue(ScaleRect(ButtonRect(focusCue), dpi));
}

void PaintCaptionStrip(Canvas& windowCanvas, int dpi) {
    const Rect strip =
        ScaleRect({kCaptionStripLeft, 0, kCaptionStripLeft + kCaptionStripWidth, kCaptionStripHeight}, dpi);
    windowCanvas.CopySkin(strip.left, 0, strip.right - strip.left, strip.bottom, strip.left, 0);
}

}  // namespace ldt

#include "ui/AccessibleModel.h"

#include "ui/DataPanel.h"
#include "ui/WindowGeometry.h"

#include <algorithm>

namespace ldt {

namespace {

// What a box shows: a value slot's field, an image-offset slot, or nothing.
enum class Shows { Field, Offset, Nothing };

struct Box {
    const char16_t* caption;
    Rect area;  // the white inside of the box
    Shows shows;
    int which;  // MachineField for Field, index into kOffsetSlots for Offset
};

constexpr int F(MachineField f) { return static_cast<int>(f); }

// The boxes of the skin in reading order (left, top, right, bottom exclusive).
const Box kBoxes[] = {
    {u"Firmware Version", {189, 87, 318, 100}, Shows::Field, F(MachineField::FirmwareVersion)},
    {u"Driver Version", {189, 113, 318, 126}, Shows::Nothing, 0},
    {u"FPGA. Version", {189, 138, 318, 151}, Shows::Field, F(MachineField::FpgaVersion)},
    {u"Speed", {115, 221, 199, 233}, Shows::Field, F(MachineField::FileSpeed)},
    {u"Power", {286, 221, 370, 233}, Shows::Field, F(MachineField::FilePower)},
    {u"DPI", {115, 246, 199, 258}, Shows::Field, F(MachineField::FileDpi)},
    {u"PPI", {286, 246, 370, 258}, Shows::Field, F(MachineField::FilePpi)},
    {u"Laser Tube Model", {582, 100, 744, 116}, Shows::Field, F(MachineField::LaserTubeModel)},
    {u"Vector Mode", {582, 128, 744, 144}, Shows::Field, F(MachineField::VectorMode)},
    {u"Select Lens", {582, 156, 744, 172}, Shows::Field, F(MachineField::SelectLens)},
    {u"Carriage Free", {582, 184, 744, 200}, Shows::Field, F(MachineField::CarriageFree)},
    {u"USB Mode", {582, 212, 744, 228}, Shows::Field, F(MachineField::UsbSetupWizard)},
    {u"Z-depth", {582, 240, 744, 256}, Shows::Field, F(MachineField::FocusDistance)},
    {u"Scaling X / Scaling Y", {583, 274, 641, 287}, Shows::Field, F(MachineField::ScalingX)},
    {u"Scaling X / Scaling Y", {685, 274, 743, 287}, Shows::Field, F(MachineField::ScalingY)},
    {u"Image Offset", {583, 302, 641, 315}, Shows::Offset, 0},
    {u"Image Offset", {685, 302, 743, 315}, Shows::Offset, 1},
};

struct Button {
    HotButton button;
    const char16_t* caption;
};
const Button kButtons[] = {{HotRefresh, u"Refresh"}, {HotSaveAs, u"Save as"}, {HotClose, u"Close"}};

WString PaintedText(const Box& box, const MachineData& data) {
    if (!data.Available()) return {};
    switch (box.shows) {
    case Shows::Field: return data.At(static_cast<std::size_t>(box.which));
    case Shows::Offset: {
        const OffsetSlot& slot = kOffsetSlots[static_cast<std::size_t>(box.which)];
        return OffsetText(slot, data.At(slot.field));
    }
    case Shows::Nothing: break;
    }
    return {};
}

}  // namespace

std::vector<AccessibleItem> DescribeWindow(const MachineData& data) {
    std::vector<AccessibleItem> items;
    for (const Box& box : kBoxes)
        items.push_back({AccessibleRole::StaticText, box.caption, PaintedText(box, data), box.area, HotNone});
    for (const Button& b : kButtons)
        items.push_back({AccessibleRole::PushButton, b.caption, {}, ButtonRect(b.button), b.button});
    // The label is drawn at the top of a rectangle reaching below the
    // window; its place is the part of the client area the skin covers.
    Rect version = kVersionRect;
    version.bottom = std::min(version.bottom, kSkinBlockHeight - kClientOriginInSkin.y);
    items.push_back({AccessibleRole::StaticText, kVersionLabel, kVersionLabel, version, HotNone});
    return items;
}

std::vector<std::size_t> ChangedValues(const std::vector<AccessibleItem>& before,
                                       const std::vector<AccessibleItem>& after) {
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < after.size(); ++i)
        if (i >= before.size() || before[i].value != after[i].value) changed.push_back(i);
    return changed;
}

std::size_t IndexOfButton(const std::vector<AccessibleItem>& items, HotButton button) {
    for (std::size_t i = 0; i < items.size(); ++i)
        if (button != HotNone && items[i].button == button) return i;
    return items.size();
}

}  // namespace ldt

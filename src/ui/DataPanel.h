#pragma once
// What a paint draws: the skin, the version label and the machine values.

#include "machine/MachineData.h"
#include "seams/Canvas.h"
#include "ui/HotButtons.h"
#include "ui/Scale.h"

#include <array>

namespace ldt {

// All rectangles and sizes below are client coordinates in 96-DPI units;
// the paint scales them with ScaleRect/ScaleFont.

// Courier New, 16 x 12, heavy, fixed pitch, modern family.
extern const FontSpec kTextFont;

extern const char16_t kVersionLabel[];
constexpr Rect kVersionRect = {700, 370, 810, 520};

// The skin block copied to the client origin, and its source.
constexpr int kSkinBlockWidth = 817, kSkinBlockHeight = 418;
// The title strip copied over the caption, to window (3, 0) from skin (3, 0).
constexpr int kCaptionStripLeft = 3, kCaptionStripWidth = 810, kCaptionStripHeight = 29;

struct ValueSlot {
    MachineField field;
    Rect rect;
};

// Orders 1 to 14: a value drawn whole in its rectangle.
extern const std::array<ValueSlot, 14> kValueSlots;

// Orders 15 and 16: a direction label and the value less its six-character
// direction word.
struct OffsetSlot {
    MachineField field;
    const char16_t* word;       // compared with the first four characters
    const char16_t* whenWord;   // label when they match
    const char16_t* otherwise;  // label otherwise
    Rect label;
    Rect value;
};
extern const std::array<OffsetSlot, 2> kOffsetSlots;

// The direction label for a stored image-offset value (exact, case-sensitive).
const char16_t* DirectionLabel(const OffsetSlot& slot, const WString& value);
// What remains of the value once the six-character direction word is dropped.
WString OffsetAmount(const WString& value);
// The label and the amount as painted, as one text: "R: 3.5" ("R:" alone
// when no amount remains).
WString OffsetText(const OffsetSlot& slot, const WString& value);

void PaintMachineValues(Canvas& canvas, const MachineData& data, int dpi = kBaseDpi);

struct PaintState {
    bool iconic;
    int clientWidth, clientHeight;  // device pixels
    int iconWidth, iconHeight;      // device pixels
    int dpi = kBaseDpi;             // the scale every 96-DPI length is drawn at
};

// The client-area paint; with `focusCue` other than HotNone, the focus cue
// around that button's hit rectangle last.
void PaintDataPanel(Canvas& canvas, const PaintState& state, const MachineData& data,
                    HotButton focusCue = HotNone);

// The skin's title strip over the caption, on the whole-window surface.
void PaintCaptionStrip(Canvas& windowCanvas, int dpi = kBaseDpi);

}  // namespace ldt

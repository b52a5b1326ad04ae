#pragma once
// What a paint draws: the skin, the version label and the machine values.

#include "machine/MachineData.h"
#include "seams/Canvas.h"
#include "ui/HotButtons.h"
#include "ui/Scale.h"

#include <array>
#include <cstddef>
#include <vector>

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

// An image offset's box shows a direction label, drawn left of the box,
// and the value less its six-character direction word.
struct OffsetSplit {
    const char16_t* word;       // compared with the first four characters
    const char16_t* whenWord;   // label when they match
    const char16_t* otherwise;  // label otherwise
    Rect label;
};

// What a box shows: a machine field whole, an image offset split, or
// nothing (the Driver Version box).
enum class BoxShows { Field, Offset, Nothing };

// One white box of the skin.
struct Box {
    const char16_t* caption;  // printed beside it on the skin
    Rect area;                // its white inside: where a pointer or a screen reader finds it
    BoxShows shows;
    MachineField field;       // Field and Offset
    Rect draw;                // where its text (an offset's amount) is drawn
    OffsetSplit split;        // Offset only
};

// Every box in reading order, panel by panel (Software Version, File
// Information, Machine Information), the two boxes of one caption first
// box first; the paint draws them in this order. Anything that varies per
// box at run time is kept beside this table, indexed like it (the window's
// description lists the boxes first, in the same order).
constexpr std::size_t kBoxCount = 17;
extern const std::array<Box, kBoxCount> kBoxes;

// The text a box shows for `data`, as one text (an offset "R: 3.5", "R:"
// alone when no amount remains); empty without data.
WString BoxText(const Box& box, const MachineData& data);

// The text colour of a value that differs from the machine's previous
// reading: a deep blue, legible on the white boxes (contrast above 8:1)
// and told apart from the black of the others.
constexpr unsigned kChangedTextColor = 0x0040C0;

struct PaintState {
    bool iconic;
    int clientWidth, clientHeight;  // device pixels
    int iconWidth, iconHeight;      // device pixels
    int dpi = kBaseDpi;             // the scale every 96-DPI length is drawn at
};

// The client-area paint; with `focusCue` other than HotNone, the focus cue
// around that button's hit rectangle last. `changed`: positions of the
// fields drawn in kChangedTextColor (an image offset's direction label with
// its amount); the rest is drawn black.
void PaintDataPanel(Canvas& canvas, const PaintState& state, const MachineData& data,
                    HotButton focusCue = HotNone, const std::vector<std::size_t>& changed = {});

// The skin's title strip over the caption, on the whole-window surface.
void PaintCaptionStrip(Canvas& windowCanvas, int dpi = kBaseDpi);

}  // namespace ldt

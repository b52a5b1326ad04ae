#pragma once
// What a sighted user sees in the window, as a list a screen reader can
// walk: every white box of the skin with the caption printed beside it and
// the text painted in it, the three buttons and the version label.

#include "machine/MachineData.h"
#include "seams/Canvas.h"
#include "ui/HotButtons.h"

#include <cstddef>
#include <vector>

namespace ldt {

enum class AccessibleRole { StaticText, PushButton };

struct AccessibleItem {
    AccessibleRole role;
    WString name;      // the caption printed beside the box on the skin / the button's caption
    WString value;     // the text as painted in the box (offsets: "R: 3.5"); empty for buttons
    Rect rect;         // client coordinates in 96-DPI units: the white box, or the button's hit rectangle
    HotButton button;  // the button for PushButton items, HotNone otherwise
    WString description = {};  // a box's value that changed: what it was and when
};

// In reading order: the boxes panel by panel (Software Version, File
// Information, Machine Information; the always empty Driver Version box
// included; the two boxes captioned "Scaling X / Scaling Y" and the two
// captioned "Image Offset" each first box first), then the buttons Refresh,
// Save as and Close, then the version label (name and value its text).
// Without machine data every box's value is empty.
std::vector<AccessibleItem> DescribeWindow(const MachineData& data);

// Positions of the items whose value differs between two descriptions of
// the window (the same list before and after a refresh).
std::vector<std::size_t> ChangedValues(const std::vector<AccessibleItem>& before,
                                       const std::vector<AccessibleItem>& after);

// Position of the item for `button`, or the list's size when none.
std::size_t IndexOfButton(const std::vector<AccessibleItem>& items, HotButton button);

// Reading a one-line text piece by piece, as screen readers do: a unit is
// a character, a word with the blanks after it, a sentence (ending after
// ".", "!" or "?" and blanks) or the whole text.
enum class TextUnit { Char, Word, Sentence, Whole };
enum class TextSide { At, Before, After };
struct TextSpan {
    int start, end;  // [start, end) in UTF-16 units
    bool operator==(const TextSpan& o) const { return start == o.start && end == o.end; }
};
// The unit at, before or after `offset`. Offsets beyond either end are
// taken as that end, and -1 as the end. There is no unit at the end: it
// and anything missing give the empty span at the end (at the start for
// nothing before).
TextSpan TextAround(const WString& text, int offset, TextUnit unit, TextSide side);

}  // namespace ldt

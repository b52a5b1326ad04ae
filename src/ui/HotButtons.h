#pragma once
// The three painted buttons: which one the pointer is over, and clicks.

#include "seams/Canvas.h"

#include <cstdint>

namespace ldt {

enum HotButton : std::int32_t {
    HotNone = 0,
    HotClose = 1,
    HotSaveAs = 2,
    HotRefresh = 3,
};

// Hit rectangle of a button (client coordinates in 96-DPI units); empty for
// HotNone.
Rect ButtonRect(HotButton button);

// The hot button after a mouse move to (x, y), in client pixels at `dpi`
// (each rectangle scaled by ScaleRect). A hot button is left only by moving
// off it, so a move from one button straight onto another passes through
// HotNone.
HotButton NextHotButton(HotButton current, int x, int y, int dpi = 96);

class ButtonTracker {
public:
    HotButton Hot() const { return hot_; }
    std::int32_t PressedFlag() const { return pressed_; }

    void OnMouseMove(int x, int y, int dpi = 96) { hot_ = NextHotButton(hot_, x, y, dpi); }
    // True when the hand cursor should be shown.
    bool WantsHandCursor() const { return hot_ != HotNone; }
    void OnLButtonDown() { pressed_ = 1; }
    // The button to run for this release (HotNone for none). The pressed
    // flag stays set until ReleaseDone(), which callers call after the
    // action has run.
    HotButton OnLButtonUp() const { return pressed_ ? hot_ : HotNone; }
    void ReleaseDone() { pressed_ = 0; }

private:
    HotButton hot_ = HotNone;
    std::int32_t pressed_ = 0;
};

}  // namespace ldt

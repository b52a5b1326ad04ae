#include "ui/HotButtons.h"

#include "ui/Scale.h"

namespace ldt {

Rect ButtonRect(HotButton button) {
    switch (button) {
    case HotClose: return {290, 290, 335, 340};
    case HotSaveAs: return {195, 290, 240, 340};
    case HotRefresh: return {95, 290, 140, 340};
    case HotNone: break;
    }
    return {0, 0, 0, 0};
}

HotButton NextHotButton(HotButton current, int x, int y, int dpi) {
    const auto over = [&](HotButton b) { return ScaleRect(ButtonRect(b), dpi).Contains(x, y); };
    if (current != HotNone) return over(current) ? current : HotNone;
    for (HotButton b : {HotClose, HotSaveAs, HotRefresh})
        if (over(b)) return b;
    return HotNone;
}

}  // namespace ldt

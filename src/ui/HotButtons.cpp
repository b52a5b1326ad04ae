#include "ui/HotButtons.h"

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

HotButton NextHotButton(HotButton current, int x, int y) {
    if (current != HotNone) return ButtonRect(current).Contains(x, y) ? current : HotNone;
    for (HotButton b : {HotClose, HotSaveAs, HotRefresh})
        if (ButtonRect(b).Contains(x, y)) return b;
    return HotNone;
}

}  // namespace ldt

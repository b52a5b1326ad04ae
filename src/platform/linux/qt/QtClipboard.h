#pragma once
// The clipboard through Qt: the desktop's clipboard selection on X11 and
// Wayland, an in-process one on the offscreen platform.

#include "seams/Clipboard.h"

namespace ldt {

class QtClipboard final : public Clipboard {
public:
    // QClipboard::setText in the Clipboard mode, then a read-back: Qt
    // reports no failure of its own, and a clipboard this program could not
    // take answers with someone else's text (or none).
    ClipboardResult PutText(const WString& text) override;
};

}  // namespace ldt

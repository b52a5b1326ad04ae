#pragma once
// The Windows clipboard: the report as CF_UNICODETEXT.

#include "seams/Clipboard.h"

#include <windows.h>

namespace ldt {

class Win32Clipboard final : public Clipboard {
public:
    // `owner` becomes the clipboard's owner while its text is there: the
    // system refuses SetClipboardData after EmptyClipboard when the
    // clipboard was opened without a window.
    explicit Win32Clipboard(HWND owner = nullptr) : owner_(owner) {}
    void SetOwner(HWND owner) { owner_ = owner; }

    // OpenClipboard (tried for about 0.1 s while another program holds it
    // open), EmptyClipboard, then SetClipboardData(CF_UNICODETEXT) with a
    // moveable global block holding the text and its terminating zero; the
    // block is the clipboard's from then on, and freed here on any failure.
    ClipboardResult PutText(const WString& text) override;

private:
    HWND owner_;
};

}  // namespace ldt

#include "platform/win32/Win32Clipboard.h"

#include "platform/win32/Win32Handle.h"
#include "seams/Messages.h"

#include <cstring>

namespace ldt {

namespace {

ClipboardResult Failed(WString why) { return {false, std::move(why)}; }
ClipboardResult Failed(DWORD code) { return Failed(win32::SystemErrorText(code)); }

}  // namespace

ClipboardResult Win32Clipboard::PutText(const WString& text) {
    const WString shown = UpToZero(text);
    const std::size_t length = shown.size();
    win32::UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, (length + 1) * sizeof(wchar_t)));
    if (!block.Get()) return Failed(GetLastError());
    void* data = GlobalLock(block.Get());
    if (!data) return Failed(GetLastError());
    std::memcpy(data, shown.data(), length * sizeof(wchar_t));
    static_cast<wchar_t*>(data)[length] = L'\0';
    GlobalUnlock(block.Get());
    // Clipboard viewers and managers open it briefly after each change: a
    // short wait rides that out.
    bool open = false;
    for (int attempt = 0; attempt < 6 && !open; ++attempt) {
        if (attempt > 0) Sleep(20);
        open = OpenClipboard(owner_) != FALSE;
    }
    if (!open) return Failed(kClipboardBusy);
    const bool put = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, block.Get());
    const DWORD error = GetLastError();
    CloseClipboard();
    if (!put) return Failed(error);
    (void)block.Release();  // the system's now
    return {};
}

}  // namespace ldt

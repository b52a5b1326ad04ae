#include "platform/win32/Win32Clipboard.h"

#include "platform/win32/Win32Handle.h"
#include "seams/Messages.h"

#include <cstring>

namespace ldt {

namespace {

// Owns a global memory block until the clipboard takes it.
using GlobalBlock = win32::UniqueGlobal;

// Keeps a moveable block locked in place for the guard's life.
class BlockLock {
public:
    explicit BlockLock(HGLOBAL block) : block_(block), data_(GlobalLock(block)) {}
    BlockLock(const BlockLock&) = delete;
    BlockLock& operator=(const BlockLock&) = delete;
    ~BlockLock() {
        if (data_) GlobalUnlock(block_);
    }
    void* Data() const { return data_; }

private:
    HGLOBAL block_;
    void* data_;
};

// Holds the clipboard open for the guard's life.
class OpenClipboardGuard {
public:
    explicit OpenClipboardGuard(HWND owner) {
        // Clipboard viewers and managers open it briefly after each change:
        // a short wait rides that out.
        for (int attempt = 0; attempt < 6 && !open_; ++attempt) {
            if (attempt > 0) Sleep(20);
            open_ = OpenClipboard(owner) != FALSE;
        }
    }
    OpenClipboardGuard(const OpenClipboardGuard&) = delete;
    OpenClipboardGuard& operator=(const OpenClipboardGuard&) = delete;
    ~OpenClipboardGuard() {
        if (open_) CloseClipboard();
    }
    bool IsOpen() const { return open_; }

private:
    bool open_ = false;
};

ClipboardResult Failed(WString why) { return {false, std::move(why)}; }
ClipboardResult Failed(DWORD code) { return Failed(win32::SystemErrorText(code)); }

}  // namespace

ClipboardResult Win32Clipboard::PutText(const WString& text) {
    const std::size_t length = text.find(u'\0') == WString::npos ? text.size() : text.find(u'\0');
    GlobalBlock block(GlobalAlloc(GMEM_MOVEABLE, (length + 1) * sizeof(wchar_t)));
    if (!block.Get()) return Failed(GetLastError());
    {
        BlockLock lock(block.Get());
        if (!lock.Data()) return Failed(GetLastError());
        std::memcpy(lock.Data(), text.data(), length * sizeof(wchar_t));
        static_cast<wchar_t*>(lock.Data())[length] = L'\0';
    }
    OpenClipboardGuard clipboard(owner_);
    if (!clipboard.IsOpen()) return Failed(kClipboardBusy);
    if (!EmptyClipboard()) return Failed(GetLastError());
    if (!SetClipboardData(CF_UNICODETEXT, block.Get())) return Failed(GetLastError());
    block.Release();  // the system's now
    return {};
}

}  // namespace ldt

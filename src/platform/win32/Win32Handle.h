#pragma once
// Owners of kernel handles and the UTF-16 glue between ldt::WString and the
// platform's wide strings.

#include "seams/CodePage.h"

#include <windows.h>

#include <string>

namespace ldt::win32 {

// Owns a kernel handle (file, device, event); closes it once. Both null and
// INVALID_HANDLE_VALUE mean "none".
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = other.Release();
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Close(); }

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() {
        HANDLE h = handle_;
        handle_ = nullptr;
        return h;
    }
    // Closes the handle now; false (with GetLastError set) when CloseHandle
    // failed. Closing an empty owner succeeds.
    bool Close() {
        const bool ok = !Valid() || CloseHandle(handle_);
        handle_ = nullptr;
        return ok;
    }

private:
    HANDLE handle_ = nullptr;
};

// wchar_t is 16-bit on Windows: conversions copy code units.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 code units");

inline std::wstring ToWin(const WString& text) { return std::wstring(text.begin(), text.end()); }
inline WString FromWin(const wchar_t* text, std::size_t length) { return WString(text, text + length); }
inline WString FromWin(const std::wstring& text) { return WString(text.begin(), text.end()); }

// The system's description of error `code` (FormatMessageW), without the
// trailing line break; "Error N." when the system has none.
WString SystemErrorText(DWORD code);

}  // namespace ldt::win32

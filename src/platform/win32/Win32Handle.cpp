#include "platform/win32/Win32Handle.h"

namespace ldt::win32 {

WString SystemErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    WString out;
    if (n > 0 && text) out = FromWin(text, n);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == u'\r' || out.back() == u'\n' || out.back() == u' '))
        out.pop_back();
    return out.empty() ? u"Error " + Ascii(std::to_string(code)) + u"." : out;
}

}  // namespace ldt::win32

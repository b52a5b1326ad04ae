#include "platform/win32/AnsiCodePage.h"

#include <algorithm>
#include <climits>

namespace ldt {

namespace {
int Length(std::size_t size) { return static_cast<int>(std::min<std::size_t>(size, INT_MAX)); }
}  // namespace

WString AnsiCodePage::ToWide(const std::string& bytes) const {
    const int n = Length(bytes.size());
    const int size = n ? MultiByteToWideChar(codePage_, 0, bytes.data(), n, nullptr, 0) : 0;
    if (size <= 0) return WString(static_cast<std::size_t>(n), u'\uFFFD');
    WString out(static_cast<std::size_t>(size), u'\0');
    MultiByteToWideChar(codePage_, 0, bytes.data(), n, reinterpret_cast<wchar_t*>(out.data()), size);
    return out;
}

std::string AnsiCodePage::ToAnsi(const WString& text) const {
    const int n = Length(text.size());
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int size = n ? WideCharToMultiByte(codePage_, 0, wide, n, nullptr, 0, nullptr, nullptr) : 0;
    if (size <= 0) return std::string(static_cast<std::size_t>(n), '?');
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage_, 0, wide, n, out.data(), size, nullptr, nullptr);
    return out;
}

}  // namespace ldt

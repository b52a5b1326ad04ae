#pragma once
// Seam: the system's 8-bit ("ANSI") code page, used only at the device
// boundary (paths, replies) and for the report file.

#include <string>

namespace ldt {

using WString = std::u16string;  // UTF-16, on every platform

// What a zero-terminated string holds: `text` up to its first zero.
template <class Char>
std::basic_string<Char> UpToZero(const std::basic_string<Char>& text) {
    return text.substr(0, text.find(Char()));
}

// ASCII text (numbers, names of our own) as UTF-16.
inline WString Ascii(const std::string& text) { return WString(text.begin(), text.end()); }

// The low `digits` hex digits of `value`, lower case. Written by hand:
// printf would bring the C library's whole formatter into the window program.
inline WString HexDigits(unsigned value, int digits) {
    WString text;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text += u"0123456789abcdef"[(value >> shift) & 0xF];
    return text;
}

class CodePage {
public:
    virtual ~CodePage() = default;

    // Converts 8-bit text in the system code page to UTF-16. Never fails:
    // bytes the code page cannot decode become U+FFFD (or the platform's
    // own replacement). The whole input is converted, zero bytes included;
    // callers that want C-string semantics cut at the first zero first.
    virtual WString ToWide(const std::string& bytes) const = 0;

    // Converts UTF-16 text to the system code page. Never fails: characters
    // the code page cannot represent become the platform's default
    // character ('?'). The output holds no terminating zero.
    virtual std::string ToAnsi(const WString& text) const = 0;
};

}  // namespace ldt

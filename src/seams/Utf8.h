#pragma once
// UTF-16 text as UTF-8 bytes and back: the Linux code page, file names,
// the JSON report and the history on every system.

#include "seams/CodePage.h"

#include <string>
#include <string_view>

namespace ldt {

// Appends the character whose UTF-8 sequence starts at bytes[at] to `out`
// and returns where the next one starts. A malformed sequence (a stray or
// overlong one, a surrogate, one past U+10FFFF, one cut short) becomes one
// U+FFFD, the replacement character, for its first byte alone.
inline std::size_t AppendUtf8Char(std::string_view bytes, std::size_t at, WString& out) {
    const unsigned char lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) {
        out += char16_t(lead);
        return at + 1;
    }
    const std::size_t len = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    char32_t cp = lead & (len == 2 ? 0x1F : len == 3 ? 0x0F : 0x07);
    bool ok = len != 0 && at + len <= bytes.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
        const unsigned char c = static_cast<unsigned char>(bytes[at + k]);
        ok = (c & 0xC0) == 0x80;
        cp = (cp << 6) | (c & 0x3F);
    }
    const char32_t min = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
    if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        out += char16_t(0xFFFD);
        return at + 1;
    }
    if (cp >= 0x10000) {
        out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
        out += static_cast<char16_t>(cp);
    }
    return at + len;
}

inline WString Utf8ToUtf16(std::string_view bytes) {
    WString out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) at = AppendUtf8Char(bytes, at, out);
    return out;
}

// A pair of surrogates becomes its one character; an unpaired surrogate
// becomes U+FFFD, the replacement character.
inline std::string Utf16ToUtf8(const WString& text) {
    std::string out;
    out.reserve(text.size());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        // A lead byte of 110, 1110 or 11110 and the top bits, then six bits a byte.
        static constexpr unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
        const int more = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
        out.push_back(static_cast<char>(kLead[more] | (cp >> (6 * more))));
        for (int k = more - 1; k >= 0; --k) out.push_back(static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F)));
    }
    return out;
}

}  // namespace ldt

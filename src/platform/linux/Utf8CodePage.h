#pragma once
// The Linux system code page: UTF-8.

#include "seams/CodePage.h"

namespace ldt {

// Malformed sequences become U+FFFD, one per offending byte.
WString Utf8ToUtf16(const std::string& bytes);
// Unpaired surrogates become '?'.
std::string Utf16ToUtf8(const WString& text);

class Utf8CodePage final : public CodePage {
public:
    WString ToWide(const std::string& bytes) const override { return Utf8ToUtf16(bytes); }
    std::string ToAnsi(const WString& text) const override { return Utf16ToUtf8(text); }
};

}  // namespace ldt

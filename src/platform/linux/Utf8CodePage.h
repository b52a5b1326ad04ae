#pragma once
// The Linux system code page: UTF-8.

#include "seams/Utf8.h"
#include "seams/CodePage.h"

namespace ldt {

// Malformed sequences become U+FFFD, one per offending byte.
WString Utf8ToUtf16(const std::string& bytes);
// The way back is Utf16ToUtf8 (seams/Utf8.h).

class Utf8CodePage final : public CodePage {
public:
    WString ToWide(const std::string& bytes) const override { return Utf8ToUtf16(bytes); }
    std::string ToAnsi(const WString& text) const override { return Utf16ToUtf8(text); }
};

}  // namespace ldt

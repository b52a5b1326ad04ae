#pragma once
// The Linux system code page: UTF-8.

#include "seams/Utf8.h"
#include "seams/CodePage.h"

#include <cstring>

namespace ldt {

// The system's words for errno value `error`.
inline WString ErrnoText(int error) { return Utf8ToUtf16(std::strerror(error)); }

class Utf8CodePage final : public CodePage {
public:
    WString ToWide(const std::string& bytes) const override { return Utf8ToUtf16(bytes); }
    std::string ToAnsi(const WString& text) const override { return Utf16ToUtf8(text); }
};

}  // namespace ldt

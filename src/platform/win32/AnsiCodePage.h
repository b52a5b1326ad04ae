#pragma once
// The system's ANSI code page (CP_ACP) through MultiByteToWideChar and
// WideCharToMultiByte.

#include "seams/CodePage.h"

#include <windows.h>

namespace ldt {

class AnsiCodePage final : public CodePage {
public:
    // `codePage` is CP_ACP in the program; tests pass others. Strings are
    // converted whole, whatever their length (up to the platform's int
    // lengths, far beyond any reply or report line).
    explicit AnsiCodePage(UINT codePage = CP_ACP) : codePage_(codePage) {}

    WString ToWide(const std::string& bytes) const override;
    std::string ToAnsi(const WString& text) const override;

private:
    UINT codePage_;
};

}  // namespace ldt

#pragma once
// The system's ANSI code page (CP_ACP) through MultiByteToWideChar and
// WideCharToMultiByte.

#include "seams/CodePage.h"

#include <windows.h>

#include <cstddef>

namespace ldt {

class AnsiCodePage final : public CodePage {
public:
    // `codePage` is CP_ACP in the program; tests pass others. Strings of any
    // length are converted whole: the platform calls take int lengths, so
    // longer input goes through in pieces of at most `pieceUnits` units,
    // never splitting a character.
    explicit AnsiCodePage(UINT codePage = CP_ACP, std::size_t pieceUnits = kMaxPieceUnits);

    WString ToWide(const std::string& bytes) const override;
    std::string ToAnsi(const WString& text) const override;

    static constexpr std::size_t kMaxPieceUnits = 1u << 28;

private:
    // Length of the longest prefix of bytes[0, limit) that ends on a
    // character boundary (at least one character).
    std::size_t ByteBoundary(const char* bytes, std::size_t size, std::size_t limit) const;

    UINT codePage_;
    std::size_t pieceUnits_;
    bool utf8_;
    bool multiByte_;
};

}  // namespace ldt

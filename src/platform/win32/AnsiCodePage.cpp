#include "platform/win32/AnsiCodePage.h"

#include <algorithm>

namespace ldt {

AnsiCodePage::AnsiCodePage(UINT codePage, std::size_t pieceUnits)
    : codePage_(codePage), pieceUnits_(std::clamp<std::size_t>(pieceUnits, 4, kMaxPieceUnits)) {
    const UINT actual = codePage == CP_ACP ? GetACP() : codePage;
    utf8_ = actual == CP_UTF8;
    CPINFO info{};
    multiByte_ = !utf8_ && GetCPInfo(actual, &info) && info.MaxCharSize > 1;
}

std::size_t AnsiCodePage::ByteBoundary(const char* bytes, std::size_t size, std::size_t limit) const {
    if (limit >= size) return size;
    if (utf8_) {
        std::size_t n = limit;
        // Back off over at most three continuation bytes.
        for (int k = 0; k < 3 && n > 1 && (static_cast<unsigned char>(bytes[n]) & 0xC0) == 0x80; ++k) --n;
        return n;
    }
    if (!multiByte_) return limit;
    // A trail byte can look like a lead byte: scan from the start.
    const UINT cp = codePage_ == CP_ACP ? GetACP() : codePage_;
    std::size_t n = 0;
    while (n < limit) {
        const std::size_t next = n + (IsDBCSLeadByteEx(cp, static_cast<BYTE>(bytes[n])) ? 2 : 1);
        if (next > limit) break;
        n = next;
    }
    return n > 0 ? n : limit;
}

WString AnsiCodePage::ToWide(const std::string& bytes) const {
    WString out;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const char* piece = bytes.data() + done;
        const std::size_t left = bytes.size() - done;
        const std::size_t n = ByteBoundary(piece, left, pieceUnits_);
        const int size = MultiByteToWideChar(codePage_, 0, piece, static_cast<int>(n), nullptr, 0);
        if (size > 0) {
            const std::size_t at = out.size();
            out.resize(at + static_cast<std::size_t>(size));
            MultiByteToWideChar(codePage_, 0, piece, static_cast<int>(n),
                                reinterpret_cast<wchar_t*>(&out[at]), size);
        } else {
            out.append(n, u'\uFFFD');
        }
        done += n;
    }
    return out;
}

std::string AnsiCodePage::ToAnsi(const WString& text) const {
    std::string out;
    std::size_t done = 0;
    while (done < text.size()) {
        std::size_t n = std::min(text.size() - done, pieceUnits_);
        // Keep a surrogate pair together.
        if (done + n < text.size() && n > 1 && text[done + n - 1] >= 0xD800 && text[done + n - 1] <= 0xDBFF) --n;
        const wchar_t* piece = reinterpret_cast<const wchar_t*>(text.data() + done);
        const int size = WideCharToMultiByte(codePage_, 0, piece, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
        if (size > 0) {
            const std::size_t at = out.size();
            out.resize(at + static_cast<std::size_t>(size));
            WideCharToMultiByte(codePage_, 0, piece, static_cast<int>(n), &out[at], size, nullptr, nullptr);
        } else {
            out.append(n, '?');
        }
        done += n;
    }
    return out;
}

}  // namespace ldt

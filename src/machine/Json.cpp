#include "machine/Json.h"

#include "seams/Utf8.h"

namespace ldt {

TextChar ClassifyChar(char16_t c) {
    if (c == u'"' || c == u'\\') return TextChar::Syntax;
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return TextChar::Control;
    if (c >= 0xD800 && c <= 0xDFFF) return TextChar::Surrogate;
    if (c == 0x061C                       // Arabic letter mark
        || c == 0x180E                    // Mongolian vowel separator
        || (c >= 0x200B && c <= 0x200F)   // zero-width space, non-joiner, joiner; LRM, RLM
        || (c >= 0x2028 && c <= 0x202E)   // line and paragraph separators; embeddings, overrides
        || (c >= 0x2060 && c <= 0x2064)   // word joiner, invisible operators
        || (c >= 0x2066 && c <= 0x206F)   // isolates; deprecated format characters
        || c == 0xFEFF                    // byte order mark, zero-width no-break space
        || (c >= 0xFFF9 && c <= 0xFFFB))  // interlinear annotation
        return TextChar::Invisible;
    return TextChar::Plain;
}

std::string JsonString(const WString& text) {
    WString out = u"\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const TextChar kind = ClassifyChar(c);
        if (kind == TextChar::Plain)
            out += c;
        else if (kind == TextChar::Syntax)
            out += {u'\\', c};
        else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
            out += {c, text[++i]};
        else  // a control or invisible character, or half a pair
            out += u"\\u" + HexDigits(kind == TextChar::Surrogate ? char16_t(0xFFFD) : c, 4);
    }
    return Utf16ToUtf8(out + u'"');
}

JsonWriter& JsonWriter::Item(const std::string& text, bool opens) {
    if (afterKey_) {
        afterKey_ = false;
    } else if (!empty_.empty()) {
        if (!empty_.back()) out_ += Lines() ? "," : ", ";
        if (Lines()) out_ += '\n' + std::string(empty_.size(), ' ');
        empty_.back() = false;
    }
    out_ += text;
    if (opens) empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::Key(const char* name) {
    Item('"' + std::string(name) + "\": ");
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::End(char bracket) {
    const bool breakLine = !empty_.back() && Lines();
    empty_.pop_back();
    if (breakLine) out_ += '\n' + std::string(empty_.size(), ' ');
    out_ += bracket;
    return *this;
}

}  // namespace ldt

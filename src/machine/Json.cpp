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

namespace {

void AppendUnicodeEscape(WString& out, char16_t c) {
    static const char kDigits[] = "0123456789abcdef";
    out += u"\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += char16_t(kDigits[(c >> shift) & 15]);
}

}  // namespace

std::string JsonString(const WString& text) {
    WString escaped = u"\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        switch (ClassifyChar(c)) {
        case TextChar::Plain:
            escaped += c;
            break;
        case TextChar::Syntax:
            escaped += u'\\';
            escaped += c;
            break;
        case TextChar::Control:
        case TextChar::Invisible:
            AppendUnicodeEscape(escaped, c);
            break;
        case TextChar::Surrogate:
            if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
                escaped += c;
                escaped += text[++i];
            } else {
                AppendUnicodeEscape(escaped, 0xFFFD);
            }
            break;
        }
    }
    escaped += u'"';
    return Utf16ToUtf8(escaped);
}

void JsonWriter::BreakLine(std::size_t level) {
    out_ += '\n';
    out_.append(level, ' ');
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (empty_.empty()) return;
    const bool first = empty_.back();
    empty_.back() = false;
    if (!first) out_ += ',';
    if (static_cast<int>(empty_.size()) <= lineDepth_)
        BreakLine(empty_.size());
    else if (!first)
        out_ += ' ';
}

JsonWriter& JsonWriter::Key(const char* name) {
    BeforeValue();
    out_ += '"';
    out_ += name;
    out_ += "\": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::Open(char bracket) {
    BeforeValue();
    out_ += bracket;
    empty_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::Close(char bracket) {
    const bool hadItems = !empty_.back();
    const bool lines = static_cast<int>(empty_.size()) <= lineDepth_;
    empty_.pop_back();
    if (hadItems && lines) BreakLine(empty_.size());
    out_ += bracket;
    return *this;
}

JsonWriter& JsonWriter::String(const WString& text) {
    BeforeValue();
    out_ += JsonString(text);
    return *this;
}

JsonWriter& JsonWriter::Ascii(const std::string& text) {
    WString wide;
    for (char c : text) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
    return String(wide);
}

JsonWriter& JsonWriter::Number(unsigned long long n) {
    BeforeValue();
    out_ += std::to_string(n);
    return *this;
}

JsonWriter& JsonWriter::Bool(bool b) {
    BeforeValue();
    out_ += b ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    BeforeValue();
    out_ += "null";
    return *this;
}

JsonWriter& JsonWriter::StringOrNull(const WString& text) { return text.empty() ? Null() : String(text); }

}  // namespace ldt

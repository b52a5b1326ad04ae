#pragma once
// One rule for showing untrusted text (a device's strings, the system's
// messages, a machine's reply), and a small JSON writer that follows it.
//
// The rule: every UTF-16 code unit falls in one class of TextChar. Control
// characters and the characters that break, reorder or hide text are never
// written raw, so a terminal, a message box or a pasted support message
// shows the text on one line, as it reads. Surrogates stand only in pairs.

#include "seams/CodePage.h"

#include <string>
#include <vector>

namespace ldt {

enum class TextChar {
    Plain,      // written as it is
    Syntax,     // '"' and '\\': plain on screen, backslash-escaped in JSON
    Control,    // C0, DEL, C1
    Invisible,  // bidirectional controls, line and paragraph separators,
                // zero-width characters and the byte order mark
    Surrogate,  // one half of a surrogate pair
};
TextChar ClassifyChar(char16_t c);

inline bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// A JSON string literal in UTF-8: '"' and '\\' after a backslash, Control
// and Invisible characters as \uXXXX, a surrogate that is not half of a
// pair as \ufffd (the replacement character), everything else as UTF-8.
std::string JsonString(const WString& text);

// Writes one JSON value front to back. Items are separated by ", " and keys
// by ": "; in the outermost `lineDepth` levels of containers each item
// starts a line of its own, indented by one blank per level. The caller
// nests the calls rightly; the writer adds the separators.
class JsonWriter {
public:
    explicit JsonWriter(int lineDepth = 0) : lineDepth_(lineDepth) {}

    JsonWriter& BeginObject() { return Item("{", true); }
    JsonWriter& BeginArray() { return Item("[", true); }
    JsonWriter& EndObject() { return End('}'); }
    JsonWriter& EndArray() { return End(']'); }
    // The key of the next member: plain ASCII of the program's own.
    JsonWriter& Key(const char* name);

    JsonWriter& String(const WString& text) { return Item(JsonString(text)); }
    JsonWriter& StringOrNull(const WString& text) { return text.empty() ? Null() : String(text); }
    JsonWriter& Number(unsigned long long n) { return Item(std::to_string(n)); }
    JsonWriter& Bool(bool b) { return Item(b ? "true" : "false"); }
    JsonWriter& Null() { return Item("null"); }

    const std::string& Text() const { return out_; }

private:
    JsonWriter& Item(const std::string& text, bool opens = false);
    JsonWriter& End(char bracket);
    bool Lines() const { return static_cast<int>(empty_.size()) <= lineDepth_; }

    std::string out_;
    std::vector<bool> empty_;  // per open container: no item yet
    bool afterKey_ = false;
    int lineDepth_;
};

}  // namespace ldt

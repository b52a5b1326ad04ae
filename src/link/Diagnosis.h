#pragma once
// The diagnosis of a refresh, for the user and for support: what each port,
// the fallback names and the system said, with the program's version, the
// operating system and the time. One structure; the text for people and the
// JSON for scripts are two renderings of it.
//
// Everything a device tells about itself (its strings, its reply) and the
// system's messages are untrusted: every rendering here bounds each field,
// replaces invalid UTF-16 and escapes control characters, so neither a
// terminal nor a pasted support message can be taken over by them.

#include "link/Refresh.h"
#include "machine/Json.h"

#include <string>
#include <vector>

namespace ldt {

struct Diagnosis {
    std::string version;  // the program's version
    WString system;       // the operating system, as the program names it
    WString time;         // when the refresh ended: "YYYY-MM-DD hh:mm:ss UTC"
    RefreshOutcome refresh;
    // Why the readings history was not kept for this refresh; empty when
    // it was (or was not asked to be).
    WString history = {};
};

// A diagnosis of `refresh`, stamped with the program's version and now.
Diagnosis MakeDiagnosis(RefreshOutcome refresh, WString system);
// "YYYY-MM-DD hh:mm:ss UTC" for a count of seconds since 1970-01-01.
WString UtcTimeText(long long seconds);

// The longest device-given text kept, in UTF-16 code units; the IEEE 1284
// id and the system's messages may be longer.
constexpr std::size_t kFieldChars = 128;
constexpr std::size_t kLongFieldChars = 1024;

// `text` cut to `limit` code units (a cut text ends with "..."), never
// inside a surrogate pair; an unpaired surrogate becomes U+FFFD.
WString BoundText(const WString& text, std::size_t limit = kFieldChars);
// BoundText, then each control character (C0, DEL, C1) written as "\xNN"
// and each bidirectional control as "\uNNNN": the result shows on one line,
// as it reads.
WString EscapeText(const WString& text, std::size_t limit = kFieldChars);
// Reply bytes: printable ASCII as it is, every other byte as "\xNN"; and as
// lower-case hex pairs separated by blanks.
WString PrintableBytes(const std::string& bytes);
WString HexBytes(const std::string& bytes);

// UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(const WString& text);

// The diagnosis as plain text for a support message: lines ending in "\n",
// no other control character.
WString DiagnosisText(const Diagnosis& diagnosis);

// What a port entry of a JSON report carries besides its path and whether
// it opened and answered: ", " followed by its members (identity, error,
// remedy, written, received, elapsedMs, replyHex).
std::string PortJsonMembers(const PortOutcome& port);
// JSON arrays: the fallback names tried, and the portless interfaces.
std::string FallbackJson(const RefreshOutcome& refresh);
std::string PortlessJson(const RefreshOutcome& refresh);
// The whole diagnosis as one JSON object.
std::string DiagnosisJson(const Diagnosis& diagnosis);

// Two lines for empty boxes: a sentence on what the refresh found, then
// that Ctrl+Shift+C copies the details. Empty when `dataAvailable`.
WString EmptyBoxesHint(const RefreshOutcome& refresh, bool dataAvailable);

// The device's name for people: maker and product, else the system's
// name, with the USB ids; escaped and bounded.
WString DeviceName(const DeviceIdentity& identity);

// What the no-connection box adds after its text for printer-class
// interfaces that have no port: per interface a paragraph (starting with a
// blank line) naming the device, the cause and the remedy. Empty for none.
WString PortlessText(const std::vector<PortlessInterface>& portless);

}  // namespace ldt

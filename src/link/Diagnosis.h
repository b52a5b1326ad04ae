#pragma once
// The diagnosis of a refresh, for the user and for support: what each port,
// the fallback names and the system said, with the program's version, the
// operating system and the time. One structure; the text for people and the
// JSON report object for scripts are two renderings of it.
//
// Everything a device tells about itself (its strings, its reply) and the
// system's messages are untrusted: every rendering here bounds each field
// and follows the one character rule of machine/Json.h, so neither a
// terminal, a message box nor a pasted support message can be taken over by
// them.

#include "link/Refresh.h"
#include "machine/Json.h"

#include <string>
#include <vector>

namespace ldt {

struct HistoryOutcome;  // link/History.h

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
// id, the location and the system's messages may be longer.
constexpr std::size_t kFieldChars = 128;
constexpr std::size_t kLongFieldChars = 1024;
// The device's identity members in the order the diagnosis, the JSON and
// the history write them: the key in JSON, the text label (null: the USB
// ids, which share one line), the bound, whether the JSON leaves the member
// out when empty, and the history's own bound (0: the history does not keep
// it), smaller so that a record always fits in one line.
struct IdentityField {
    const char* key;
    const char16_t* label;
    WString DeviceIdentity::*member;
    std::size_t limit;
    bool optional;
    std::size_t historyLimit;
};
extern const IdentityField kIdentityFields[10];
// The history's own bounds: a USB id (in the table and in the machine key),
// a path (the location, and the record's port), the IEEE 1284 id.
constexpr std::size_t kHistoryIdChars = 8;
constexpr std::size_t kHistoryPathChars = 256;
constexpr std::size_t kHistoryLongChars = 512;

// `text` cut to `limit` code units (a cut text ends with "..."), never
// inside a surrogate pair; an unpaired surrogate becomes U+FFFD.
WString BoundText(const WString& text, std::size_t limit = kFieldChars);

// `text` cut to `limit` code units (a cut text ends with "..."), never
// inside a surrogate pair, an unpaired surrogate replaced by U+FFFD; then
// each control character (C0, DEL, C1) written as "\xNN" and each invisible
// one (bidirectional controls, line and paragraph separators, zero-width
// characters, the byte order mark) as "\uNNNN": the result shows on one
// line, as it reads.
WString EscapeText(const WString& text, std::size_t limit = kFieldChars);

// The diagnosis as plain text for a support message: lines ending in "\n",
// no other control character.
WString DiagnosisText(const Diagnosis& diagnosis);

// The report object of ldt-report --json, from the diagnosis and the data
// its refresh brought: version, the labelled report, the raw fields, every
// port with the device behind it and what it did, the fallback names tried,
// the portless interfaces, the system and the time; one line per member.
// With `history`, each port also carries its machine key, whether this was
// its first reading, and what changed since its previous one (field, was,
// now, since).
std::string ReportJson(const Diagnosis& diagnosis, const MachineData& data,
                       const HistoryOutcome* history = nullptr);

// Two lines for empty boxes: a sentence on what the refresh found, then
// that Ctrl+Shift+C copies the details. Empty when `dataAvailable`.
WString EmptyBoxesHint(const RefreshOutcome& refresh, bool dataAvailable);

// What the no-connection box adds after its text for printer-class
// interfaces that have no port: for the first kPortlessNamed of them a
// paragraph (starting with a blank line) naming the device, the cause and
// the remedy, then how many more there are. `count` is how many there are
// in all, where a bounded scan listed fewer (at least `portless.size()` is
// taken). Empty for none. The diagnosis lists them all.
constexpr std::size_t kPortlessNamed = 3;
WString PortlessText(const std::vector<PortlessInterface>& portless, std::size_t count = 0);

}  // namespace ldt

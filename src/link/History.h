#pragma once
// The readings history: every refresh that reads a machine appends one
// record per answering port to the history file; the next refresh compares
// each machine's values with its previous record.
//
// The file holds untrusted text (device strings, hand edits, lines cut by a
// power failure): every value is bounded before it is written, and the
// reader skips any line that is not one whole record of ours.

#include "link/Refresh.h"
#include "seams/HistoryFile.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ldt {

// The values a record keeps: the reply's first seventeen fields.
constexpr std::size_t kHistoryFields = 17;
// A line longer than this (in bytes, with its '\n') is not one of ours.
constexpr std::size_t kHistoryLineBytes = 32 * 1024;
// How many bytes a reading of the history looks at, from the newest back,
// over both generations of the file.
constexpr std::size_t kHistoryReadBudget = 2 * 1024 * 1024;

struct HistoryRecord {
    long long time = 0;  // seconds since 1970-01-01 UTC
    WString key;         // see MachineKey
    WString port;        // the port's path
    DeviceIdentity identity;
    std::vector<WString> values;  // as received, at most kHistoryFields
};

// What tells one machine from another: "sn:" + vendor:product + ":" +
// its USB serial number when it has one; else "at:" + vendor:product +
// ":" + where the system keeps it (the USB location on Linux, the instance
// id on Windows); else "port:" + the port's path. Bounded.
WString MachineKey(const DeviceIdentity& identity, const WString& port);

// One record per port that answered, in port order: its own reply parsed
// as the refresh parsed it, stamped `time`.
std::vector<HistoryRecord> RecordsOf(const RefreshOutcome& refresh, const CodePage& codePage, long long time);

// A record as one JSON line ending '\n', every text bounded so the line
// stays within kHistoryLineBytes.
std::string HistoryLine(const HistoryRecord& record);
// A line as HistoryLine writes it (with or without its '\n'); nothing for
// anything else: not JSON, too long, a member of the wrong type, no key,
// more values than kHistoryFields.
std::optional<HistoryRecord> ParseHistoryLine(std::string_view line);

// One value that differs from the previous reading.
struct FieldChange {
    std::size_t field = 0;  // MachineField position
    WString was, now;
    long long since = 0;  // the previous reading's time
};
std::vector<FieldChange> CompareRecords(const HistoryRecord& previous, const HistoryRecord& current);

// The field's name in the report ("File Power"), else its box's ("Field 12").
WString FieldName(std::size_t field);
// "YYYY-MM-DD hh:mm" in the computer's own time zone.
WString LocalMinuteText(long long seconds);
// "Power was 62 on 2026-12-01 10:12": the value escaped and bounded.
WString ChangeSentence(const FieldChange& change);

// The newest records of the history, newest last. With `keys`, only those
// machines' and at most `perKey` of each, reading stops as soon as every
// key has them; without, at most `perKey` of every machine. Reads from the
// end in blocks of `block` bytes, never more than `budget` bytes over both
// generations.
std::vector<HistoryRecord> ReadHistory(HistoryFile& file, const std::vector<WString>& keys, std::size_t perKey,
                                       std::size_t budget = kHistoryReadBudget, std::size_t block = 64 * 1024);

// What a refresh did with the history: per port (in port order) its key,
// whether it answered, and against which previous reading it compares.
struct PortHistory {
    WString key;
    WString port;                             // its path
    bool read = false;                        // it answered and has a record
    std::optional<HistoryRecord> previous;  // its newest earlier record
    std::vector<FieldChange> changes;
};
struct HistoryOutcome {
    std::vector<PortHistory> ports;  // one per port of the refresh
    WString problem;                 // why it was not read or written; empty when it was
};

// Reads the previous records of the machines that answered and, unless
// `record` is false, appends this refresh's records. A null file, or one
// that cannot be read or written, leaves the outcome without previous
// readings (and with a problem for a failed write): never an exception.
HistoryOutcome UpdateHistory(HistoryFile* file, const RefreshOutcome& refresh, const CodePage& codePage,
                             long long now, bool record);

// Now, in seconds since 1970-01-01 UTC.
long long HistoryNow();
// Whether LDT_NO_HISTORY asks that nothing be recorded (set and not "0").
bool HistoryOffByEnvironment();

}  // namespace ldt

#include "link/History.h"

#include "link/Diagnosis.h"
#include "machine/Json.h"
#include "machine/Report.h"
#include "seams/Messages.h"
#include "seams/Utf8.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <map>
#include <new>

namespace ldt {

namespace {

// Bounds for what a record keeps (with the history's column of
// kIdentityFields), chosen so that even a record of nothing but escaped
// characters fits in kHistoryLineBytes.
constexpr std::size_t kKeyChars = 256;

static_assert(std::size(kBoxNames) == kHistoryFields, "a name for each field");

// A small JSON reader for one line: an object whose members are strings,
// integers or arrays of strings; anything else of JSON is skipped when the
// member is not one of ours.
class LineReader {
public:
    explicit LineReader(std::string_view text) : s_(text) {}

    std::optional<HistoryRecord> Record() {
        HistoryRecord record;
        bool haveTime = false, haveValues = false;
        Blank();
        if (!Take('{') ||
            !Items('}', [&](const WString& name) { return Member(record, name, haveTime, haveValues); }))
            return std::nullopt;
        Blank();
        if (i_ != s_.size() || !haveTime || !haveValues || record.key.empty()) return std::nullopt;
        return record;
    }

private:
    bool Member(HistoryRecord& record, const WString& name, bool& haveTime, bool& haveValues) {
        if (name == u"time") return haveTime = Integer(record.time);
        if (name == u"key") return String(record.key);
        if (name == u"port") return String(record.port);
        if (name == u"values") return haveValues = Strings(record.values);
        for (const IdentityField& f : kIdentityFields)
            if (f.historyLimit && name == Ascii(f.key)) return String(record.identity.*f.member);
        return Skip(0);
    }

    void Blank() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
    }
    bool Take(std::string_view w) {
        if (s_.substr(i_, w.size()) != w) return false;
        i_ += w.size();
        return true;
    }
    bool Take(char c) { return Take(std::string_view(&c, 1)); }

    bool Integer(long long& value) {
        const char* from = s_.data() + i_;
        const auto [end, error] = std::from_chars(from, s_.data() + s_.size(), value);
        if (error != std::errc() || end - from - (*from == '-') > 15) return false;  // far beyond any time we write
        i_ += static_cast<std::size_t>(end - from);
        return true;
    }

    bool String(WString& out) {
        out.clear();
        if (!Take('"')) return false;
        while (i_ < s_.size()) {
            const unsigned char c = static_cast<unsigned char>(s_[i_]);
            if (c == '"') {
                ++i_;
                return true;
            }
            if (c < 0x20) return false;
            if (c != '\\') {
                i_ = AppendUtf8Char(s_, i_, out);
                continue;
            }
            if (++i_ >= s_.size()) return false;
            static const char kEscaped[] = "\"\\/bfnrt";
            static const char16_t kMeant[] = u"\"\\/\b\f\n\r\t";
            const char e = s_[i_++];
            const char* at = e ? std::strchr(kEscaped, e) : nullptr;
            unsigned unit = 0;
            if (at) {
                out += kMeant[at - kEscaped];
            } else if (e == 'u' && s_.size() - i_ >= 4 &&  // exactly four hex digits: no sign, no "0x", no blank
                       std::from_chars(s_.data() + i_, s_.data() + i_ + 4, unit, 16).ptr == s_.data() + i_ + 4) {
                out += static_cast<char16_t>(unit);
                i_ += 4;
            } else {
                return false;
            }
        }
        return false;
    }

    bool Strings(std::vector<WString>& out) {
        out.clear();
        return Take('[') && Items(']', [&](const WString&) {
                   WString value;
                   if (!String(value) || out.size() == kHistoryFields) return false;
                   out.push_back(std::move(value));
                   return true;
               });
    }

    // The rest of an object or an array whose opening character was taken:
    // up to `close`, items separated by ',', each an object's member name and
    // ':' first; `value` reads each value (given the member's name).
    template <typename Value>
    bool Items(char close, Value value) {
        Blank();
        if (Take(close)) return true;
        for (;;) {
            WString name;
            Blank();
            if (close == '}' && !(String(name) && (Blank(), Take(':')))) return false;
            Blank();
            if (!value(name)) return false;
            Blank();
            if (Take(',')) continue;
            return Take(close);
        }
    }

    // Any JSON value, for members we do not keep; nesting is bounded.
    bool Skip(int depth) {
        if (depth > 16 || i_ >= s_.size()) return false;
        WString ignored;
        long long number = 0;
        switch (s_[i_]) {
        case '"': return String(ignored);
        case 't': return Take("true");
        case 'f': return Take("false");
        case 'n': return Take("null");
        case '[':
        case '{':
            return Items(s_[i_++] == '{' ? '}' : ']', [&](const WString&) { return Skip(depth + 1); });
        default:
            if (!Integer(number)) return false;
            if (Take('.'))
                while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
            return true;
        }
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

std::optional<HistoryRecord> PortRecord(const PortOutcome& port, const CodePage& codePage, long long time) {
    if (!port.answered) return std::nullopt;
    MachineData data;
    ParseReply(data, ReplyText(port.reply, codePage));
    if (!data.Available()) return std::nullopt;
    HistoryRecord record;
    record.time = time;
    record.key = MachineKey(port.identity, port.path);
    record.port = BoundText(port.path, kHistoryPathChars);
    for (const IdentityField& f : kIdentityFields)
        if (f.historyLimit) record.identity.*f.member = BoundText(port.identity.*f.member, f.historyLimit);
    for (std::size_t i = 0; i < data.Count() && i < kHistoryFields; ++i) record.values.push_back(BoundText(data.At(i)));
    return record;
}

WString BoxName(std::size_t field) { return field < kHistoryFields ? kBoxNames[field] : WString(u"Field"); }

}  // namespace

WString MachineKey(const DeviceIdentity& id, const WString& port) {
    const WString ids =
        BoundText(id.vendorId, kHistoryIdChars) + u":" + BoundText(id.productId, kHistoryIdChars) + u":";
    if (!id.serial.empty()) return BoundText(u"sn:" + ids + id.serial, kKeyChars);
    if (!id.location.empty()) return BoundText(u"at:" + ids + id.location, kKeyChars);
    return BoundText(u"port:" + port, kKeyChars);
}

std::vector<HistoryRecord> RecordsOf(const RefreshOutcome& refresh, const CodePage& codePage, long long time) {
    std::vector<HistoryRecord> records;
    for (const PortOutcome& port : refresh.ports)
        if (std::optional<HistoryRecord> record = PortRecord(port, codePage, time)) records.push_back(std::move(*record));
    return records;
}

std::string HistoryLine(const HistoryRecord& r) {
    JsonWriter json;
    json.BeginObject()
        .Key("time").Number(static_cast<unsigned long long>(std::max(r.time, 0LL)))
        .Key("at").String(UtcTimeText(r.time))
        .Key("key").String(BoundText(r.key, kKeyChars))
        .Key("port").String(BoundText(r.port, kHistoryPathChars));
    for (const IdentityField& f : kIdentityFields)
        if (f.historyLimit) json.Key(f.key).String(BoundText(r.identity.*f.member, f.historyLimit));
    json.Key("values").BeginArray();
    for (std::size_t i = 0; i < r.values.size() && i < kHistoryFields; ++i) json.String(BoundText(r.values[i]));
    json.EndArray().EndObject();
    return json.Text() + "\n";
}

std::optional<HistoryRecord> ParseHistoryLine(std::string_view line) {
    if (line.size() > kHistoryLineBytes) return std::nullopt;
    return LineReader(line).Record();
}

std::vector<FieldChange> CompareRecords(const HistoryRecord& previous, const HistoryRecord& current) {
    static const WString none;
    std::vector<FieldChange> changes;
    for (std::size_t i = 0; i < kHistoryFields; ++i) {
        const WString& was = i < previous.values.size() ? previous.values[i] : none;
        const WString& now = i < current.values.size() ? current.values[i] : none;
        if (was != now) changes.push_back({i, was, now, previous.time});
    }
    return changes;
}

WString FieldName(std::size_t field) {
    for (const ReportLineSpec& line : kReportLines)
        if (static_cast<std::size_t>(line.field) == field) {
            WString label = line.label;
            return label.substr(0, label.size() - 2);  // without ": "
        }
    return BoxName(field);
}

WString LocalMinuteText(long long seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    const std::tm* local = std::localtime(&t);
    char buffer[64];
    if (!local || !std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", local))
        return UtcTimeText(seconds).substr(0, 16);
    return Ascii(buffer);
}

WString ChangeSentence(const FieldChange& change) {
    const WString was = change.was.empty() ? WString(kEmptyValue) : EscapeText(change.was, 64);
    return FillTemplate(kChangeSentence, {BoxName(change.field), was, LocalMinuteText(change.since)});
}

std::vector<HistoryRecord> ReadHistory(HistoryFile& file, const std::vector<WString>& keys, std::size_t perKey,
                                       std::size_t budget, std::size_t block) {
    block = std::max<std::size_t>(block, 1);
    // A line that holds none of the keys as our writer spells them, and no
    // escape that could spell one otherwise, is not parsed at all.
    std::vector<std::string> needles;
    for (const WString& key : keys) needles.push_back(JsonString(key));
    const auto mayHoldKey = [&](std::string_view text) {
        return needles.empty() || text.find('\\') != std::string_view::npos ||
               std::any_of(needles.begin(), needles.end(),
                           [&](const std::string& n) { return text.find(n) != std::string_view::npos; });
    };
    std::map<WString, std::size_t> counts;
    std::size_t complete = 0;
    std::vector<HistoryRecord> newestFirst;

    // Takes one whole line; returns true once nothing more is wanted.
    const auto consider = [&](std::string_view line) {
        if (line.size() > kHistoryLineBytes || !mayHoldKey(line)) return false;
        std::optional<HistoryRecord> record = ParseHistoryLine(line);
        if (!record) return false;
        if (!keys.empty() && std::find(keys.begin(), keys.end(), record->key) == keys.end()) return false;
        std::size_t& count = counts[record->key];
        if (count >= perKey) return false;
        newestFirst.push_back(std::move(*record));
        if (++count == perKey && !keys.empty()) ++complete;
        return !keys.empty() && complete == keys.size();
    };

    bool done = perKey == 0;
    for (int generation = 0; generation < 2 && !done && budget > 0; ++generation) {
        std::unique_ptr<HistorySource> source = file.Open(generation);
        if (!source) continue;
        std::uint64_t pos = source->Size();
        std::string tail;        // the start of a line whose beginning lies further back
        bool dropTail = true;    // the bytes up to the next '\n' back are no whole line (torn or too long)
        while (pos > 0 && budget > 0 && !done) {
            const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>({block, pos, budget}));
            pos -= n;
            budget -= n;
            std::string buffer = source->ReadAt(pos, n);
            if (buffer.size() != n) {
                pos = 0;
                tail.clear();
                break;
            }
            buffer += tail;
            std::size_t end = buffer.size();
            if (dropTail) {
                const std::size_t nl = buffer.rfind('\n');
                if (nl == std::string::npos) {
                    tail.clear();
                    continue;
                }
                end = nl + 1;
                dropTail = false;
            }
            std::size_t lineEnd = end;  // just after a '\n'
            // A block that holds no key wanted (and no escape) has no line to parse.
            const std::string_view whole = std::string_view(buffer).substr(0, end);
            if (!mayHoldKey(whole)) {
                const std::size_t nl = whole.find('\n');
                lineEnd = nl == std::string_view::npos ? end : nl + 1;
                if (pos == 0) lineEnd = 0;  // the first line is whole, and holds no key either
            }
            while (lineEnd >= 2 && !done) {
                const std::size_t nl = buffer.rfind('\n', lineEnd - 2);
                if (nl == std::string::npos) break;
                done = consider(std::string_view(buffer).substr(nl + 1, lineEnd - nl - 1));
                lineEnd = nl + 1;
            }
            tail.assign(buffer, 0, lineEnd);
            if (tail.size() > kHistoryLineBytes) {
                tail.clear();
                dropTail = true;
            }
        }
        if (pos == 0 && !done && !dropTail && !tail.empty()) done = consider(tail);
    }
    std::reverse(newestFirst.begin(), newestFirst.end());
    return newestFirst;
}

HistoryOutcome UpdateHistory(HistoryFile* file, const RefreshOutcome& refresh, const CodePage& codePage,
                             long long now, bool record) {
    HistoryOutcome outcome;
    try {
        std::vector<std::optional<HistoryRecord>> current;
        std::vector<WString> keys;  // of the ports that have a record; none without one
        for (const PortOutcome& port : refresh.ports) {
            PortHistory& entry = outcome.ports.emplace_back();
            entry.key = MachineKey(port.identity, port.path);
            entry.port = port.path;
            const std::optional<HistoryRecord>& r = current.emplace_back(PortRecord(port, codePage, now));
            if (r && std::find(keys.begin(), keys.end(), r->key) == keys.end()) keys.push_back(r->key);
        }
        std::vector<HistoryRecord> previous;
        if (file && !keys.empty()) previous = ReadHistory(*file, keys, 1);
        for (std::size_t i = 0; i < current.size(); ++i) {
            if (!current[i]) continue;
            PortHistory& port = outcome.ports[i];
            port.read = true;
            for (const HistoryRecord& p : previous)
                if (p.key == port.key) port.previous = p;
            if (port.previous) port.changes = CompareRecords(*port.previous, *current[i]);
        }
        if (file && record && !keys.empty()) {
            std::string lines;
            for (const std::optional<HistoryRecord>& r : current)
                if (r) lines += HistoryLine(*r);
            outcome.problem = file->Append(lines);
        }
    } catch (const std::bad_alloc&) {
        outcome.problem = kHistoryOutOfMemory;
    }
    return outcome;
}

long long HistoryNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool HistoryOffByEnvironment() {
    const char* value = std::getenv("LDT_NO_HISTORY");
    return value && *value && std::strcmp(value, "0") != 0;
}

}  // namespace ldt

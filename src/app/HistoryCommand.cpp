#include "app/HistoryCommand.h"

#include "link/Diagnosis.h"
#include "machine/Json.h"
#include "machine/Report.h"
#include "seams/Messages.h"
#include "seams/Utf8.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace ldt {

namespace {

bool IsNumber(const std::string& text) {
    return !text.empty() && text.size() <= 6 && std::all_of(text.begin(), text.end(), [](char c) {
        return c >= '0' && c <= '9';
    });
}

// For each machine read: its key and port, then "first reading", "no change
// since <time>" or "changed since <time>:" and one line per value, old ->
// new. Escaped and bounded, lines end '\n'.
WString ChangesText(const HistoryOutcome& history) {
    WString text;
    for (const PortHistory& port : history.ports) {
        if (!port.read) continue;
        text += FillTemplate(kChangesMachine, {EscapeText(port.key, 256), EscapeText(port.port, 256)}) + u"\n";
        if (!port.previous) {
            text += kFirstReading + WString(u"\n");
            continue;
        }
        const WString since = UtcTimeText(port.previous->time);
        text += FillTemplate(port.changes.empty() ? kNoChangeSince : kChangedSince, {since}) + u"\n";
        for (const FieldChange& c : port.changes)
            text += FillTemplate(kChangedValue, {FieldName(c.field), EscapeText(c.was), EscapeText(c.now)}) + u"\n";
    }
    return text;
}

// The readings, oldest first: a line with the time, key and port, then the
// report's lines of its values, indented.
WString HistoryText(const std::vector<HistoryRecord>& records) {
    WString text;
    for (const HistoryRecord& r : records) {
        text += UtcTimeText(r.time) + u"  " + FillTemplate(kChangesMachine, {EscapeText(r.key, 256), EscapeText(r.port, 256)}) +
                u"\n";
        MachineData data;
        for (const WString& v : r.values) data.Append(v);
        for (const ReportLineSpec& line : kReportLines)
            text += u"  " + WString(line.label) + EscapeText(data.At(line.field)) + u"\n";
    }
    return text;
}

// The CSV header and one line per record, lines ending CR LF.
std::string CsvText(const std::vector<HistoryRecord>& records) {
    std::string text = "time,key,port,vendorId,productId,manufacturer,product,serial,ieee1284Id,route,location";
    for (std::size_t i = 0; i < kHistoryFields; ++i) text += "," + CsvField(FieldName(i));
    text += "\r\n";
    for (const HistoryRecord& r : records) {
        const DeviceIdentity& id = r.identity;
        const WString fields[] = {UtcTimeText(r.time), r.key,        r.port,    id.vendorId, id.productId, id.manufacturer,
                                  id.product,          id.serial,    id.ieee1284Id, id.route, id.location};
        std::string line;
        for (const WString& f : fields) line += (line.empty() ? "" : ",") + CsvField(f);
        for (std::size_t i = 0; i < kHistoryFields; ++i)
            line += "," + CsvField(i < r.values.size() ? r.values[i] : WString());
        text += line + "\r\n";
    }
    return text;
}

}  // namespace

bool TakeHistoryOptions(std::vector<std::string>& args, HistoryOptions& options) {
    using Mode = HistoryOptions::Mode;
    std::vector<std::string> rest;
    bool modeSet = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const Mode mode = a == "--changes" ? Mode::Changes : a == "--csv" ? Mode::Csv
                          : a == "--history" ? Mode::History : Mode::Report;
        if (mode != Mode::Report) {
            if (std::exchange(modeSet, true)) return false;
            options.mode = mode;
        }
        if (a == "--no-history") {
            options.record = false;
        } else if (a == "--all") {
            options.all = true;
        } else if (mode == Mode::History && i + 1 < args.size() && IsNumber(args[i + 1])) {
            options.count = static_cast<std::size_t>(std::atoi(args[++i].c_str()));
            if (options.count == 0) return false;
        } else if (mode == Mode::Report) {
            rest.push_back(a);
        }
    }
    if ((options.all && options.mode != Mode::History) || (modeSet && !rest.empty())) return false;
    args = std::move(rest);
    return true;
}

std::string CsvField(const WString& text) {
    WString value;
    if (!text.empty() && WString(u"=+-@\t\r").find(text[0]) != WString::npos) value = u"'";
    // Tabs and line breaks stay (quoted); other control characters and the
    // invisible ones, which could steer a terminal or hide text, are written
    // as escapes.
    for (char16_t c : text) {
        const TextChar kind = ClassifyChar(c);
        const bool kept = c == u'\t' || c == u'\r' || c == u'\n';
        const bool escaped = (kind == TextChar::Control && !kept) || kind == TextChar::Invisible;
        value += escaped ? EscapeText(WString(1, c)) : WString(1, c);
    }
    std::string bytes = Utf16ToUtf8(value);
    if (bytes.find_first_of(",\"\r\n") == std::string::npos) return bytes;
    std::string quoted = "\"";
    for (char c : bytes) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

int RunHistoryMode(const HistoryOptions& options, HistoryFile* file, const HistoryOutcome& history,
                   const std::vector<HistoryRecord>& records, int status, const CodePage& codePage,
                   std::ostream& out) {
    using Mode = HistoryOptions::Mode;
    // The console's code page, line by line (as the report's lines are).
    const auto print = [&](const WString& text) {
        std::size_t start = 0;
        for (std::size_t nl; (nl = text.find(u'\n', start)) != WString::npos; start = nl + 1)
            out << codePage.ToAnsi(text.substr(start, nl - start)) << '\n';
    };
    if (options.mode == Mode::Changes) print(ChangesText(history));
    if (options.mode == Mode::Csv) out << CsvText(records);
    if (options.mode == Mode::History) {
        std::vector<WString> keys;
        for (const HistoryRecord& r : records)
            if (std::find(keys.begin(), keys.end(), r.key) == keys.end()) keys.push_back(r.key);
        if (file && (options.all || !keys.empty()))
            print(HistoryText(ReadHistory(*file, options.all ? std::vector<WString>{} : keys, options.count)));
        if (options.all) status = 0;
    }
    out.flush();
    return status;
}

}  // namespace ldt

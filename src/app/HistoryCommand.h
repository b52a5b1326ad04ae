#pragma once
// ldt-report's readings-history options: what changed since each machine's
// previous reading, its last readings, and a spreadsheet line per machine.

#include "link/History.h"

#include <ostream>
#include <string>
#include <vector>

namespace ldt {

struct HistoryOptions {
    enum class Mode { Report, Changes, History, Csv };
    Mode mode = Mode::Report;
    std::size_t count = 10;  // --history N
    bool all = false;        // --history of every recorded machine, present or not
    bool record = true;      // false with --no-history or LDT_NO_HISTORY
};

// Takes --no-history, --changes, --history [N], --all and --csv out of
// `args`, leaving the rest. False on a usage error: two modes, --all
// without --history, N not a positive number, or a mode beside the
// arguments left.
bool TakeHistoryOptions(std::vector<std::string>& args, HistoryOptions& options);

// For each machine read: its key and port, then "first reading", "no change
// since <time>" or "changed since <time>:" and one line per value, old ->
// new. Escaped and bounded, lines end '\n'.
WString ChangesText(const HistoryOutcome& history);
// The readings, oldest first: a line with the time, key and port, then the
// report's lines of its values, indented.
WString HistoryText(const std::vector<HistoryRecord>& records);

// The CSV header and one line per record (RFC 4180: fields with a comma,
// quote or line break are quoted, lines end CR LF; UTF-8).
std::string CsvText(const std::vector<HistoryRecord>& records);
// One CSV field: a text starting with '=', '+', '-', '@', tab or CR gets a
// leading apostrophe, so a spreadsheet shows it as text, not a formula;
// control characters other than tab and line breaks, and invisible ones,
// are escaped as the console's texts are.
std::string CsvField(const WString& text);

// Prints what `options.mode` asks for (`records`: this refresh's readings)
// and returns the exit status: `status`, the refresh's, except that
// --history --all succeeds whatever was found.
int RunHistoryMode(const HistoryOptions& options, HistoryFile* file, const HistoryOutcome& history,
                   const std::vector<HistoryRecord>& records, int status, const CodePage& codePage,
                   std::ostream& out);


}  // namespace ldt

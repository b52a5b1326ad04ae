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

// One CSV field (RFC 4180: quoted when it holds a comma, quote or line
// break; UTF-8): a text starting with '=', '+', '-', '@', tab or CR gets a
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

#pragma once
// ldt-report: one refresh, the report on standard output, as text lines or
// as one JSON object, or the refresh's diagnosis as text.

#include "link/Diagnosis.h"
#include "link/Refresh.h"
#include "seams/HistoryFile.h"

#include <ostream>
#include <string>
#include <vector>

namespace ldt {

// Exit codes, the same on every system.
constexpr int kReportOk = 0;           // the report was printed
constexpr int kReportNoMachine = 1;    // no printer-class port and no fallback device
constexpr int kReportUsage = 2;        // bad arguments
constexpr int kReportNoAnswer = 3;     // ports were found, but none opened or answered

// Runs the command with its arguments (without the program name). Report
// lines go to `out`, one per line with '\n'; messages go to `err`.
// `system` names the operating system in the diagnosis and the JSON.
// Each machine read is recorded in `history` (none: nothing is recorded or
// compared).
int RunReportCommand(const std::vector<std::string>& args, DeviceBus& bus, Clock& clock,
                     const CodePage& codePage, std::ostream& out, std::ostream& err,
                     const WString& system = {}, HistoryFile* history = nullptr);

}  // namespace ldt

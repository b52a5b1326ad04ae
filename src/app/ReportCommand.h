#pragma once
// ldt-report: one refresh, the report on standard output, as text lines or
// as one JSON object.

#include "link/Refresh.h"

#include <ostream>
#include <string>
#include <vector>

namespace ldt {

// Exit codes, the same on every system.
constexpr int kReportOk = 0;           // the report was printed
constexpr int kReportNoMachine = 1;    // no printer-class port and no fallback device
constexpr int kReportUsage = 2;        // bad arguments
constexpr int kReportNoAnswer = 3;     // ports were found, but none opened or answered

extern const char kReportUsageText[];
extern const char kNoDataFromPortsText[];

// Runs the command with its arguments (without the program name). Report
// lines go to `out`, one per line with '\n'; messages go to `err`.
int RunReportCommand(const std::vector<std::string>& args, DeviceBus& bus, Clock& clock,
                     const CodePage& codePage, std::ostream& out, std::ostream& err);

// UTF-16 as UTF-8 (JSON is UTF-8 whatever the console's code page); an
// unpaired surrogate becomes U+FFFD.
std::string ToUtf8(const WString& text);

}  // namespace ldt

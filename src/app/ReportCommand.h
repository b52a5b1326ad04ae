#pragma once
// ldt-report: one refresh, the report lines on standard output.

#include "link/Refresh.h"

#include <ostream>
#include <string>
#include <vector>

namespace ldt {

// Exit codes.
constexpr int kReportOk = 0;
constexpr int kReportNoMachine = 1;  // no channel, or channels but no data
constexpr int kReportUsage = 2;

extern const char kReportUsageText[];
extern const char kNoDataFromPortsText[];

// Runs the command with its arguments (without the program name). Report
// lines go to `out`, one per line with '\n'; messages go to `err`.
int RunReportCommand(const std::vector<std::string>& args, DeviceBus& bus, Clock& clock,
                     const CodePage& codePage, std::ostream& out, std::ostream& err);

}  // namespace ldt

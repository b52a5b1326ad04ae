#pragma once
// The sixteen-line text report of the machine data.

#include "machine/MachineData.h"
#include "seams/Messages.h"
#include "seams/Prompts.h"
#include "seams/ReportFile.h"

#include <array>
#include <string>
#include <vector>

namespace ldt {

struct ReportLineSpec {
    const char16_t* label;
    MachineField field;
};

// The report's lines, in file order.
extern const std::array<ReportLineSpec, 16> kReportLines;

// The sixteen lines, each label + value + "\r\n".
std::vector<WString> ReportLines(const MachineData& data);

// One line in the system code page, whole, without a terminating zero.
std::string ToAnsiLine(const CodePage& codePage, const WString& line);

// The report as the bytes of the file.
std::string BuildReport(const MachineData& data, const CodePage& codePage);

// The report as the file's text before its conversion to the code page:
// the sixteen lines, each ending "\r\n" and cut at an embedded zero the
// way the file's lines are.
WString ReportText(const MachineData& data);

// The name actually written for the path the user chose: a trailing ".txt"
// (case-sensitive) is dropped, then ".txt" appended.
WString ReportFileName(WString chosen);

// The Save as command: no data -> the no-data box; otherwise ask for a path
// and write the report there.
void SaveReport(const MachineData& data, Prompts& prompts, const CodePage& codePage,
                ReportFileSystem& files);

}  // namespace ldt

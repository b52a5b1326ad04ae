#pragma once
// The report file on Windows: the target is opened exclusively first, the
// bytes go to a temporary file in the same directory, which then replaces
// the target (MoveFileExW).

#include "seams/ReportFile.h"

namespace ldt {

class Win32ReportFile final : public ReportFileSystem {
public:
    // Messages read "Cannot open <path>." or "Cannot write <path>.", a line
    // break, and the system's text for the cause. Only disk files are
    // written; a name that opens a device gives OpenFailed.
    ReportWriteResult WriteWhole(const WString& path, const std::string& bytes) override;
};

}  // namespace ldt

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

    // The temporary file for `fullTarget` (an absolute path) at each
    // attempt; it is created only where no file of that name exists, and
    // the write fails when all kTemporaryAttempts names are taken.
    static constexpr unsigned kTemporaryAttempts = 16;
    static WString TemporaryName(const WString& fullTarget, unsigned attempt);
};

}  // namespace ldt

#pragma once
// The report file on POSIX file systems: written beside the target, then
// renamed over it.

#include "seams/ReportFile.h"

namespace ldt {

class PosixReportFile final : public ReportFileSystem {
public:
    // Paths are UTF-8. A file another process holds an flock() on counts as
    // held open and is not touched.
    ReportWriteResult WriteWhole(const WString& path, const std::string& bytes) override;
};

}  // namespace ldt

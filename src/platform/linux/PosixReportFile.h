#pragma once
// The report file on POSIX file systems: written to a temporary
// ".ldt~XXXXXXXXXX.tmp" beside the target, then renamed over it; rewritten
// in place where a rename would lose links, owner or group, or where the
// folder takes no new file.

#include "seams/ReportFile.h"

namespace ldt {

class PosixReportFile final : public ReportFileSystem {
public:
    // Paths are UTF-8. A file another process holds an flock() on counts as
    // held open and is not touched; a save holds one on its temporary until
    // the rename, which is how stale-temporary cleanup tells a save in
    // progress from a killed one.
    ReportWriteResult WriteWhole(const WString& path, const std::string& bytes) override;
};

}  // namespace ldt

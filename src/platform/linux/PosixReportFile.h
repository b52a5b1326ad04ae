#pragma once
// The report file on POSIX file systems, under the portable save policy
// (platform/SafeSave.h): written to a temporary ".ldt~XXXXXXXXXX.tmp"
// beside the target, which takes the target's group, permissions, access
// list and extended attributes and is then renamed over it; rewritten in
// place where the rename would lose something.

#include "seams/ReportFile.h"

namespace ldt {

class PosixReportFile final : public ReportFileSystem {
public:
    // Paths are UTF-8. A file another process holds an flock() on counts as
    // held open and is not touched; a save holds one on its temporary until
    // the rename, which is how stale-temporary cleanup tells a save in
    // progress from a killed one.
    //
    // Symbolic links: every component of the path is walked one at a time,
    // and a link met anywhere (a folder on the way or the file itself) in a
    // sticky, world-writable folder is followed only when it belongs to the
    // caller or to that folder's owner; otherwise OpenFailed. The file's own
    // name is opened without following, so it cannot become a link between
    // that check and the open.
    ReportWriteResult WriteWhole(const WString& path, const std::string& bytes) override;
};

}  // namespace ldt

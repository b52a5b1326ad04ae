#pragma once
// The report file on Windows, under the portable save policy
// (platform/SafeSave.h): the target is opened exclusively first, the bytes
// go to a temporary file in the same folder, which then takes the target's
// place through ReplaceFileW (the system's call that keeps the replaced
// file's attributes, security and streams). A file with other hard links, a
// folder that takes no new file, or a replace the system refuses for want
// of the right to remove the old file, leads to a rewrite in place.

#include "seams/ReportFile.h"

#include <windows.h>

namespace ldt {

class Win32ReportFile final : public ReportFileSystem {
public:
    // The call that replaces a file: ReplaceFileW, or a stand-in with its
    // contract (tests).
    using ReplaceCall = decltype(&ReplaceFileW);
    explicit Win32ReportFile(ReplaceCall replace = &ReplaceFileW) : replace_(replace) {}

    // Only disk files are written; a name that opens a device gives
    // OpenFailed.
    ReportWriteResult WriteWhole(const WString& path, const std::string& bytes) override;

    // Temporary files are named "~ldtNNNN.tmp" (NNNN: four hex digits, the
    // attempt), short so that they fit wherever the target's name fits. A
    // name is used only where no file of that name exists; the replace also
    // reserves one as the backup of the replaced file until it is done.
    // Such files older than ten minutes that no save holds open are left
    // from a killed save and removed by the next save in that folder.
    static constexpr unsigned kTemporaryAttempts = 16;
    static WString TemporaryName(unsigned attempt);

private:
    ReplaceCall replace_;
};

}  // namespace ldt

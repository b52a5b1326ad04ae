#pragma once
// Seam: writing the report file.

#include "seams/CodePage.h"

namespace ldt {

struct ReportWriteResult {
    enum Status {
        Written,     // the file now holds exactly the bytes given
        OpenFailed,  // the file could not be created or opened exclusively
        WriteFailed  // opened, but the bytes could not all be stored
    };
    Status status = Written;
    // For OpenFailed and WriteFailed: a sentence for the user that names the
    // file and the cause.
    WString message;
};

class ReportFileSystem {
public:
    virtual ~ReportFileSystem() = default;

    // Replaces the file at `path` with `bytes`, creating it when missing.
    // The file must be openable exclusively (a file another program holds
    // open gives OpenFailed and stays untouched). The bytes are written to a
    // temporary file beside the target and moved over it only when complete,
    // so on any failure a file that already had that name is left exactly as
    // it was, and no new file is left behind.
    virtual ReportWriteResult WriteWhole(const WString& path, const std::string& bytes) = 0;
};

}  // namespace ldt

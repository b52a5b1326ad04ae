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
    // For OpenFailed and WriteFailed: the message for the user, laid out as
    // seams/Messages.h says: "Cannot open <path>: <cause>." or "Cannot write
    // <path>: <cause>.", and after a failed in-place rewrite a line that
    // says whether the old content was put back.
    WString message;
};

class ReportFileSystem {
public:
    virtual ~ReportFileSystem() = default;

    // Gives the file at `path` exactly `bytes`, creating it when missing.
    //
    // Opening: the file must be openable exclusively (a file another
    // program holds open gives OpenFailed and stays untouched). Symbolic
    // links are followed, the file's own name and the folders on the way
    // alike, except a link in a sticky, world-writable folder that belongs
    // neither to the caller nor to that folder's owner: that gives
    // OpenFailed, so a link another user planted in a shared folder never
    // leads a save onto a file or into a folder of its choosing.
    //
    // What is kept: the file stays the same file to everyone who can reach
    // it: its other hard links see the new bytes, and its owner, group,
    // permissions, access list and extended attributes (on Windows its
    // attributes, security and streams, as far as the system's own replace
    // call keeps them) stay as they were.
    //
    // How: normally the bytes go to a temporary file in the same folder,
    // which is flushed, given what the file carries, and then replaces the
    // file in one step, so a crash at any moment leaves either the old or
    // the new content under the name. Once the replace is done the save has
    // succeeded (the folder is flushed after; a folder that cannot be
    // flushed is no failure). Where a replacement would lose something
    // (the file has other hard links, belongs to another user, carries a
    // group, access list or attribute a new file cannot be given, the
    // folder takes no new file, or the system refuses to remove the old
    // file) the file is rewritten in place instead: its old content is held
    // in memory, the new bytes are written and flushed, and on any failure
    // the old content is written back.
    //
    // On failure: a file that already had that name keeps its old content
    // (after an in-place attempt the message says it was put back, or that
    // putting it back failed too; should a replace fail half-way and leave
    // the old content under another name, the message names it), a file
    // this call created is removed, and no temporary file is left behind.
    // Temporaries of a save that was killed are removed by a later save in
    // the same folder once they are more than ten minutes old; only names
    // of the backend's own temporary pattern are touched, never one a save
    // in progress holds.
    virtual ReportWriteResult WriteWhole(const WString& path, const std::string& bytes) = 0;
};

}  // namespace ldt

#pragma once
// What a save needs from one operating system, step by step. The portable
// policy (SafeSave) chooses the steps and words every message; one
// implementation per system carries each step out on one open target file
// and at most one temporary file beside it.

#include "seams/CodePage.h"

#include <string>

namespace ldt {

// The system's error code (errno, GetLastError); 0 means success.
using SystemError = unsigned long;

// The open target, as far as the choice between replacing and rewriting it
// depends on it.
struct SaveTarget {
    bool created = false;     // no file had the name: the open made it, empty
    bool otherNames = false;  // the file has further hard links
    bool otherOwner = false;  // it belongs to another user (a new file would be ours)
};

enum class ReplaceOutcome {
    Replaced,  // the temporary now has the target's name
    Refused,   // the system would not remove the old file: nothing changed,
               // and the target is open again for a rewrite in place
    Failed,    // see the error
};

class SaveFilePrimitives {
public:
    virtual ~SaveFilePrimitives() = default;

    // Opens the file at `path` for reading and writing, exclusive of other
    // programs, creating it empty when missing (the rules of
    // ReportFileSystem::WriteWhole). On an error nothing is left created.
    virtual SystemError OpenTarget(const WString& path, SaveTarget& target) = 0;
    // Removes temporaries that killed saves left in the target's folder.
    virtual void RemoveStaleTemporaries() = 0;
    // The target's whole content.
    virtual SystemError ReadTarget(std::string& content) = 0;
    // The target holds exactly `bytes`, flushed to the disk.
    virtual SystemError WriteTarget(const std::string& bytes) = 0;
    // Removes the target if the open created it; nothing otherwise.
    virtual void RemoveCreatedTarget() = 0;

    // A new, empty temporary in the target's folder, held so that no other
    // save takes it or removes it.
    virtual SystemError CreateTemporary() = 0;
    // Gives the temporary what the target carries besides its bytes and its
    // owner (group, permissions, access lists, extended attributes); false
    // when some of it cannot be given, i.e. a replace would lose it.
    virtual bool CarryOverToTemporary() = 0;
    // The temporary holds exactly `bytes`, flushed to the disk.
    virtual SystemError WriteTemporary(const std::string& bytes) = 0;
    // The temporary takes the target's name in one step; the target is
    // closed first, so no file system has to keep it open across the
    // rename (a FUSE mount without hard_remove moves an open file aside to
    // a hidden name first, and loses it when the rename then fails). For Failed,
    // `error` says why; the old file keeps its name, or, where it could not
    // be put back, `keptIn` names the file that holds its content.
    virtual ReplaceOutcome ReplaceTarget(SystemError& error, WString& keptIn) = 0;
    // After a failed replace: whether the target's name still leads to the
    // file OpenTarget opened, i.e. the old content kept its name.
    virtual bool TargetStillNamed() = 0;
    // Removes the temporary, if there is one.
    virtual void RemoveTemporary() = 0;
    // Flushes the folder's record of the replace to the disk.
    virtual SystemError SyncFolder() = 0;

    // The system's words for `error`.
    virtual WString ErrorText(SystemError error) = 0;
};

}  // namespace ldt

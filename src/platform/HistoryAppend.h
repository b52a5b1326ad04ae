#pragma once
// The one append policy of the history file backends, over their
// primitives:
// - the folder is made when missing;
// - every appender of the file takes one exclusive lock, tried for a tenth
//   of a second at most (a lock that stays taken is a failure);
// - the current file is rotated first when the line would take it past
//   kHistoryRotateBytes;
// - a last line cut short before (a power failure) is ended first, so that
//   it cannot swallow the new one;
// - the line goes in one write, and a write that stored only part of it is
//   taken back, so that the next record starts on a line of its own.
// Messages follow the layout of seams/Messages.h.

#include "platform/SaveFilePrimitives.h"

#include <cstdint>
#include <string>

namespace ldt {

class HistoryAppendPrimitives {
public:
    virtual ~HistoryAppendPrimitives() = default;

    // Makes the history folder and its missing parents.
    virtual SystemError MakeFolder() = 0;
    // Tries once to take the appenders' exclusive lock, which is held until
    // the primitives go. `busy`: another appender holds it.
    virtual SystemError TryLock(bool& busy) = 0;
    // Sleeps between two tries of the lock.
    virtual void PauseForLock() = 0;
    // Opens the current file for appending, creating it; `size` is its size.
    virtual SystemError OpenCurrent(std::uint64_t& size) = 0;
    // Closes the current file and gives it the older generation's name,
    // replacing that file.
    virtual SystemError RotateCurrent() = 0;
    // The byte at `offset` of the current file; false when it cannot be read.
    virtual bool ReadByte(std::uint64_t offset, char& byte) = 0;
    // Appends `bytes` in one write; `written` is how many of them were stored.
    virtual SystemError Write(const std::string& bytes, std::size_t& written) = 0;
    // Cuts the current file back to `size` bytes, as far as it can.
    virtual void Truncate(std::uint64_t size) = 0;

    // The current file, for people.
    virtual WString CurrentPath() const = 0;
    // The system's words for `error`.
    virtual WString ErrorText(SystemError error) = 0;
    // The errors the policy reports for a lock still taken after the last
    // try, and for a write that stored less than it was given.
    virtual SystemError LockTakenError() const = 0;
    virtual SystemError DiskFullError() const = 0;
};

// Appends `line` (whole lines, each ending '\n') as HistoryFile::Append
// promises; an empty text on success, else the sentence for people.
WString AppendHistory(HistoryAppendPrimitives& primitives, const std::string& line);

}  // namespace ldt

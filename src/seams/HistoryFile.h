#pragma once
// Seam: the file of past readings, one JSON line per reading, kept per user
// (platform/linux: $XDG_STATE_HOME/laser-diagnostic-tool/, else
// ~/.local/state/laser-diagnostic-tool/; platform/win32: %LOCALAPPDATA%\Laser
// Diagnostic Tool\). The window and ldt-report may use it at the same time.

#include "seams/CodePage.h"

#include <cstdint>
#include <memory>
#include <string>

namespace ldt {

// One generation of the file opened for reading: what it held when opened,
// unaffected by appends and rotations that happen afterwards.
class HistorySource {
public:
    virtual ~HistorySource() = default;
    virtual std::uint64_t Size() const = 0;
    // Up to `size` bytes from `offset`; fewer at the end or on a read error.
    virtual std::string ReadAt(std::uint64_t offset, std::size_t size) = 0;
};

// The file is rotated once it would grow beyond this: the current file
// becomes the older one (replacing it) and a new current file starts.
constexpr std::uint64_t kHistoryRotateBytes = 1024 * 1024;

class HistoryFile {
public:
    virtual ~HistoryFile() = default;

    // Appends `line` (whole lines, each ending '\n') to the current file in
    // one write, under an exclusive lock that every appender of this file
    // takes, so appends of several processes never interleave and none is
    // lost. Rotates first when the file would pass kHistoryRotateBytes.
    // Creates the folder and the file when missing. Never waits long for the
    // lock (a tenth of a second at most): a lock that stays taken is a
    // failure. Returns an empty text on success, else one sentence for
    // people naming the file and the system's cause; nothing is thrown.
    virtual WString Append(const std::string& line) = 0;

    // Generation 0 is the current file, 1 the older one. Null when that
    // file does not exist or cannot be opened.
    virtual std::unique_ptr<HistorySource> Open(int generation) = 0;

    // Where the current file is, for people.
    virtual WString Where() const = 0;
};

}  // namespace ldt

#include "platform/HistoryAppend.h"

#include "seams/HistoryFile.h"
#include "seams/Messages.h"

namespace ldt {

constexpr int kLockTries = 20;  // 20 tries 5 ms apart: a tenth of a second at most

WString AppendHistory(HistoryAppendPrimitives& primitives, const std::string& line) {
    const auto fail = [&](SystemError error) {
        return CannotWrite(primitives.CurrentPath(), primitives.ErrorText(error));
    };
    if (SystemError error = primitives.MakeFolder()) return fail(error);
    for (int tries = 0;; ++tries) {
        bool busy = false;
        if (const SystemError error = primitives.TryLock(busy); !busy) {
            if (error) return fail(error);
            break;
        }
        if (tries == kLockTries) return fail(primitives.LockTakenError());
        primitives.PauseForLock();
    }

    std::uint64_t size = 0;
    if (SystemError error = primitives.OpenCurrent(size)) return fail(error);
    if (size > 0 && size + line.size() > kHistoryRotateBytes) {
        if (SystemError error = primitives.RotateCurrent()) return fail(error);
        if (SystemError error = primitives.OpenCurrent(size)) return fail(error);
    }
    std::string bytes;
    char last = '\n';
    if (size > 0 && primitives.ReadByte(size - 1, last) && last != '\n') bytes = "\n";
    bytes += line;

    std::size_t written = 0;
    SystemError error = primitives.Write(bytes, written);
    if (!error && written == bytes.size()) return {};
    if (!error) error = primitives.DiskFullError();
    // Should taking it back fail too, the next append ends the cut line itself.
    if (written > 0) primitives.Truncate(size);
    return fail(error);
}

}  // namespace ldt

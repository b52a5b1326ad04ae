#pragma once
// The one save policy of the report file backends, over their primitives:
// - the target is opened (or created) exclusively first; that open alone
//   decides OpenFailed;
// - normally the bytes go to a temporary beside it, which takes the
//   target's name in one step (a crash leaves the old or the new content);
// - where that would lose something (other hard links, another owner, a
//   group, access list or attribute the temporary cannot be given, a folder
//   that takes no new file, a replace the system refuses) the target is
//   rewritten in place: its old content is held in memory and written back
//   when the new one cannot be stored;
// - once the replace is done the save has succeeded: a folder that cannot
//   be flushed afterwards changes nothing the caller could act on.
// Messages follow the layout of seams/Messages.h.

#include "platform/SaveFilePrimitives.h"
#include "seams/ReportFile.h"

#include <cstdint>
#include <string_view>

namespace ldt {

ReportWriteResult SafeSave(SaveFilePrimitives& primitives, const WString& path, const std::string& bytes);

// A temporary older than this is left from a killed save: no save holds
// one for that long.
constexpr std::int64_t kStaleTemporarySeconds = 10 * 60;

// The names a backend gives its temporaries: `prefix`, `length` digits of
// `alphabet`, then ".tmp".
struct TemporaryNamePattern {
    std::u16string_view prefix;
    std::u16string_view alphabet;
    std::size_t length;
    bool ignoreCase;  // the folder's names are compared without regard to case

    // The name that spells `number` in the alphabet's digits (lowest last,
    // higher digits dropped).
    WString Name(std::uint64_t number) const;
    bool Matches(std::u16string_view name) const;
};

}  // namespace ldt

#include "platform/SafeSave.h"

#include "seams/Messages.h"

#include <algorithm>

namespace ldt {

namespace {

constexpr char16_t kTemporarySuffix[] = u".tmp";

ReportWriteResult WriteFailed(SaveFilePrimitives& p, const WString& path, SystemError error,
                              const WString& more = {}) {
    p.RemoveTemporary();
    p.RemoveCreatedTarget();
    return {ReportWriteResult::WriteFailed, AddLine(CannotWrite(path, p.ErrorText(error)), more)};
}

// Drops the temporary, if there is one, and writes `bytes` over the open
// target itself; on failure the old content goes back (a target this save
// created is removed instead).
ReportWriteResult RewriteInPlace(SaveFilePrimitives& p, const WString& path, const std::string& bytes,
                                 const SaveTarget& target) {
    p.RemoveTemporary();
    std::string old;
    if (const SystemError error = p.ReadTarget(old)) return WriteFailed(p, path, error);
    const SystemError error = p.WriteTarget(bytes);
    if (!error) return {};
    if (target.created) return WriteFailed(p, path, error);
    const SystemError back = p.WriteTarget(old);
    return WriteFailed(p, path, error, back ? PutBackFailed(p.ErrorText(back)) : WString(kContentPutBack));
}

char16_t Folded(char16_t c, bool ignoreCase) { return ignoreCase && c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; }

}  // namespace

ReportWriteResult SafeSave(SaveFilePrimitives& p, const WString& path, const std::string& bytes) {
    SaveTarget target;
    if (const SystemError error = p.OpenTarget(path, target))
        return {ReportWriteResult::OpenFailed, CannotOpen(path, p.ErrorText(error))};
    p.RemoveStaleTemporaries();

    // A new file in its place would leave the other names with the old
    // text, or belong to us instead of the file's owner.
    if (!target.created && (target.otherNames || target.otherOwner)) return RewriteInPlace(p, path, bytes, target);

    if (const SystemError error = p.CreateTemporary()) {
        // Typically a folder we may not write in: the file itself still is.
        if (!target.created) return RewriteInPlace(p, path, bytes, target);
        return WriteFailed(p, path, error);
    }
    if (!p.CarryOverToTemporary()) return RewriteInPlace(p, path, bytes, target);
    if (const SystemError error = p.WriteTemporary(bytes)) return WriteFailed(p, path, error);

    SystemError error = 0;
    WString keptIn;
    switch (p.ReplaceTarget(error, keptIn)) {
    case ReplaceOutcome::Replaced:
        // The new content has the name; the flush only hurries the system.
        (void)p.SyncFolder();
        return {};
    case ReplaceOutcome::Refused:
        return RewriteInPlace(p, path, bytes, target);
    case ReplaceOutcome::Failed:
        break;
    }
    if (!keptIn.empty()) return WriteFailed(p, path, error, ContentKeptIn(keptIn));
    return WriteFailed(p, path, error,
                       !target.created && p.TargetStillNamed() ? WString(kContentUnchanged) : WString());
}

WString TemporaryNamePattern::Name(std::uint64_t number) const {
    WString digits(length, alphabet.front());
    for (std::size_t i = length; i-- > 0; number /= alphabet.size()) digits[i] = alphabet[number % alphabet.size()];
    return WString(prefix) + digits + kTemporarySuffix;
}

bool TemporaryNamePattern::Matches(std::u16string_view name) const {
    // Name(0): the prefix and the suffix, with any digit between them.
    const WString model = Name(0);
    if (name.size() != model.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto same = [&](char16_t c) { return Folded(c, ignoreCase) == Folded(name[i], ignoreCase); };
        const bool digit = i >= prefix.size() && i < prefix.size() + length;
        if (digit ? std::none_of(alphabet.begin(), alphabet.end(), same) : !same(model[i])) return false;
    }
    return true;
}

}  // namespace ldt

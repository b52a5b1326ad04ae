#pragma once
// Seam: what the system asks of, or tells, the user.

#include "seams/CodePage.h"

#include <optional>

namespace ldt {

class Prompts {
public:
    virtual ~Prompts() = default;

    // A modal message box with the caption "Error", the stop icon and an OK
    // button (style 16). Returns when the user has dismissed it.
    virtual void ShowError(const WString& text) = 0;

    // The platform's standard report of a file that could not be opened;
    // `text` already names the file and the cause.
    virtual void ShowFileError(const WString& text) = 0;

    // The Save As dialog: one filter "參數檔(*.txt)" with the pattern
    // "*.txt", no default extension, no initial name, hide read-only,
    // overwrite prompt. Returns the full path chosen, or nothing when the
    // user cancelled.
    virtual std::optional<WString> AskSavePath() = 0;
};

}  // namespace ldt

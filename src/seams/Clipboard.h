#pragma once
// Seam: the system clipboard.

#include "seams/CodePage.h"

namespace ldt {

struct ClipboardResult {
    bool copied = true;
    // When not copied: the cause, in a sentence for the user (may be empty
    // when the system gives none).
    WString why;
};

class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Makes `text` the clipboard's whole content, as Unicode text: other
    // programs paste exactly these UTF-16 code units, line breaks as given
    // (no conversion of "\r\n"). The text ends at an embedded zero, if any.
    //
    // Returns copied = true once the clipboard holds the text. Returns
    // copied = false, with the cause, when the clipboard could not be taken
    // (another program holds it open, no memory, no clipboard at all); the
    // clipboard then holds its old content or nothing, never part of the
    // text. The caller tells the user: a failed copy is never silent.
    virtual ClipboardResult PutText(const WString& text) = 0;
};

}  // namespace ldt

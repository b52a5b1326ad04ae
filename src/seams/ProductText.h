#pragma once
// The product's own words, in one place for every front end and backend
// that shows them (the Prompts backends, the windows, ldt-report). The
// messages built around the system's own words are in seams/Messages.h.

namespace ldt {

// The window's title, and the caption of the file-error box.
constexpr char16_t kProductName[] = u"Laser Diagnostic Tool";
// The caption of the stop boxes (no connection, no data, unopened ports).
constexpr char16_t kErrorCaption[] = u"Error";
// The first line of the box shown when the report could not be put on the
// clipboard; the cause follows on the next line.
constexpr char16_t kCopyFailedText[] = u"The report could not be copied to the clipboard.";
// The Save As dialog's one filter: its description, and its pattern.
constexpr char16_t kSaveAsFilterText[] = u"\u53C3\u6578\u6A94(*.txt)";  // "參數檔(*.txt)"
constexpr char16_t kSaveAsFilterPattern[] = u"*.txt";
// The product version, as in the Windows version resource.
constexpr char kProductVersion[] = LDT_PRODUCT_VERSION;

}  // namespace ldt

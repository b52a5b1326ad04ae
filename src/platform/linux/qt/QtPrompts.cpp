#include "platform/linux/qt/QtPrompts.h"

#include "platform/linux/qt/QtText.h"
#include "seams/ProductText.h"

#include <QMessageBox>

namespace ldt {

void QtPrompts::ShowError(const WString& text) {
    QMessageBox::critical(owner_, ToQString(kErrorCaption), ToQString(text));
}

void QtPrompts::ShowFileError(const WString& text) {
    QMessageBox::warning(owner_, ToQString(kProductName), ToQString(text));
}

std::optional<WString> QtPrompts::AskSavePath() {
    // No caption of our own, no initial folder or name, no default suffix;
    // the dialog asks before replacing the file as typed. Qt reads the
    // filter's pattern from the parentheses of "參數檔(*.txt)".
    const QString path = QFileDialog::getSaveFileName(owner_, {}, {}, ToQString(kSaveAsFilterText), nullptr, options_);
    if (path.isEmpty()) return std::nullopt;
    return FromQString(path);
}

}  // namespace ldt

#include "platform/linux/qt/QtPrompts.h"

#include "platform/linux/qt/QtText.h"

#include <QMessageBox>

namespace ldt {

void QtPrompts::ShowError(const WString& text) {
    QMessageBox::critical(owner_, QStringLiteral("Error"), ToQString(text));
}

void QtPrompts::ShowFileError(const WString& text) {
    QMessageBox::warning(owner_, QStringLiteral("Laser Diagnostic Tool"), ToQString(text));
}

QString QtPrompts::Filter() { return QString::fromUtf16(u"\u53C3\u6578\u6A94(*.txt)"); }

std::optional<WString> QtPrompts::AskSavePath() {
    // No caption of our own, no initial folder or name, no default suffix;
    // the dialog asks before replacing the file as typed.
    const QString path = QFileDialog::getSaveFileName(owner_, QString(), QString(), Filter(), nullptr, options_);
    if (path.isEmpty()) return std::nullopt;
    return FromQString(path);
}

}  // namespace ldt

#include "platform/linux/qt/QtClipboard.h"

#include "platform/linux/qt/QtText.h"
#include "seams/Messages.h"

#include <QClipboard>
#include <QGuiApplication>

namespace ldt {

ClipboardResult QtClipboard::PutText(const WString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return {false, kNoClipboard};
    const QString wanted = ToQString(UpToZero(text));
    clipboard->setText(wanted, QClipboard::Clipboard);
    // While this program owns the clipboard, Qt answers from its own copy
    // without asking the display.
    if (clipboard->text(QClipboard::Clipboard) != wanted)
        return {false, kClipboardRefused};
    return {};
}

}  // namespace ldt

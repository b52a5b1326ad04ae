#pragma once
// The user prompts as Qt dialogs: QMessageBox for the boxes, QFileDialog
// for Save As.

#include "seams/Prompts.h"

#include <QFileDialog>
#include <QPointer>

class QWidget;

namespace ldt {

class QtPrompts final : public Prompts {
public:
    // `options` are given to the file dialog (tests ask for Qt's own dialog).
    explicit QtPrompts(QFileDialog::Options options = {}) : options_(options) {}

    // The window the boxes and the file dialog belong to; none at first.
    void SetOwner(QWidget* owner) { owner_ = owner; }

    void ShowError(const WString& text) override;
    void ShowFileError(const WString& text) override;
    std::optional<WString> AskSavePath() override;

private:
    QPointer<QWidget> owner_;
    QFileDialog::Options options_;
};

}  // namespace ldt

#pragma once
// Message boxes and the Save As dialog on Windows.

#include "seams/Prompts.h"

#include <windows.h>

namespace ldt {

class Win32Prompts final : public Prompts {
public:
    // `owner` owns the message boxes (it may be null); the Save As dialog
    // has no explicit owner.
    explicit Win32Prompts(HWND owner = nullptr) : owner_(owner) {}
    void SetOwner(HWND owner) { owner_ = owner; }

    // MessageBoxW(owner, text, L"Error", MB_ICONERROR | MB_OK) -- style 16.
    void ShowError(const WString& text) override;
    // The standard file-error box: MB_ICONEXCLAMATION | MB_OK with the
    // application's title as caption.
    void ShowFileError(const WString& text) override;
    // GetSaveFileNameW, filter "參數檔(*.txt)\0*.txt\0\0", flags
    // OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT.
    std::optional<WString> AskSavePath() override;

private:
    HWND owner_;
};

}  // namespace ldt

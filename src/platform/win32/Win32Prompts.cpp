#include "platform/win32/Win32Prompts.h"

#include "platform/win32/CommonControls.h"
#include "platform/win32/Win32Handle.h"
#include "seams/ProductText.h"

#include <commdlg.h>

#include <vector>

namespace ldt {

void Win32Prompts::ShowError(const WString& text) {
    const win32::CommonControlsScope controls;
    MessageBoxW(owner_, win32::ToWin(text).c_str(), win32::ToWin(kErrorCaption).c_str(), MB_OK | MB_ICONERROR);
}

void Win32Prompts::ShowFileError(const WString& text) {
    const win32::CommonControlsScope controls;
    MessageBoxW(owner_, win32::ToWin(text).c_str(), win32::ToWin(kProductName).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

std::optional<WString> Win32Prompts::AskSavePath() {
    const win32::CommonControlsScope controls;
    // The common dialog library is loaded on first use: it brings the
    // shell's libraries with it, which the window needs only once the user
    // saves.
    const auto getSaveFileName = win32::LateLoad<BOOL(WINAPI*)(OPENFILENAMEW*)>(L"comdlg32.dll", "GetSaveFileNameW");
    if (!getSaveFileName) return std::nullopt;
    // The description, then the pattern; the list ends with an empty string.
    const std::wstring filter =
        win32::ToWin(kSaveAsFilterText) + L'\0' + win32::ToWin(kSaveAsFilterPattern) + L'\0';
    std::vector<wchar_t> file(MAX_PATH * 4, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    if (!getSaveFileName(&ofn)) return std::nullopt;
    file.back() = L'\0';
    return win32::FromWin(std::wstring(file.data()));
}

}  // namespace ldt

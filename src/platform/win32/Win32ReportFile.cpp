#include "platform/win32/Win32ReportFile.h"

#include "platform/win32/Win32Handle.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace ldt {

namespace {

using win32::UniqueHandle;

ReportWriteResult Failure(ReportWriteResult::Status status, const char16_t* what, const WString& path,
                          DWORD error) {
    return {status, what + path + u".\r\n" + win32::SystemErrorText(error)};
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::vector<wchar_t> buffer(n + 1);
    const DWORD got = GetFullPathNameW(path.c_str(), n + 1, buffer.data(), nullptr);
    return got > 0 && got <= n ? std::wstring(buffer.data(), got) : path;
}

// Writes every byte; false with GetLastError() set otherwise.
bool WriteAll(HANDLE file, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD wrote = 0;
        if (!WriteFile(file, bytes.data() + done, ask, &wrote, nullptr)) return false;
        if (wrote == 0) {
            SetLastError(ERROR_HANDLE_DISK_FULL);
            return false;
        }
        done += wrote;
    }
    return true;
}

}  // namespace

WString Win32ReportFile::TemporaryName(const WString& fullTarget, unsigned attempt) {
    const std::string n = std::to_string(attempt);
    return fullTarget + u".~" + WString(n.begin(), n.end()) + u".tmp";
}

ReportWriteResult Win32ReportFile::WriteWhole(const WString& widePath, const std::string& bytes) {
    const std::wstring path = win32::ToWin(widePath);

    // The exclusive open of the target decides "cannot be opened"; it also
    // keeps others away while the new content is prepared.
    UniqueHandle target(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target.Valid()) return Failure(ReportWriteResult::OpenFailed, u"Cannot open ", widePath, GetLastError());
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    const std::wstring full = FullPath(path);
    if (GetFileType(target.Get()) != FILE_TYPE_DISK) {
        target.Close();
        if (!existed) DeleteFileW(full.c_str());
        return Failure(ReportWriteResult::OpenFailed, u"Cannot open ", widePath, ERROR_INVALID_NAME);
    }

    DWORD error = ERROR_SUCCESS;
    auto fail = [&error] {
        error = GetLastError();
        if (error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
    };
    // CREATE_NEW never reuses or follows an existing name.
    std::wstring temp;
    UniqueHandle out;
    for (unsigned attempt = 0; attempt < kTemporaryAttempts && !out.Valid(); ++attempt) {
        temp = win32::ToWin(TemporaryName(win32::FromWin(full), attempt));
        out = UniqueHandle(
            CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.Valid() && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS &&
            GetLastError() != ERROR_ACCESS_DENIED)
            break;
    }
    const bool haveTemp = out.Valid();
    if (!haveTemp || !WriteAll(out.Get(), bytes) || !FlushFileBuffers(out.Get()) || !out.Close()) fail();
    target.Close();
    if (error == ERROR_SUCCESS &&
        !MoveFileExW(temp.c_str(), full.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        fail();
    if (error != ERROR_SUCCESS) {
        if (haveTemp) DeleteFileW(temp.c_str());
        if (!existed) DeleteFileW(full.c_str());
        return Failure(ReportWriteResult::WriteFailed, u"Cannot write ", widePath, error);
    }
    return {};
}

}  // namespace ldt

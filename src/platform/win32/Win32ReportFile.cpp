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

// The directory part of a full path, without the trailing separator.
std::wstring DirectoryOf(const std::wstring& path) {
    const std::size_t cut = path.find_last_of(L"\\/");
    if (cut == std::wstring::npos) return L".";
    if (cut == 2 && path[1] == L':') return path.substr(0, 3);  // "C:\"
    return path.substr(0, cut);
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
    // GetTempFileNameW creates the (empty) temporary file under a unique name.
    wchar_t temp[MAX_PATH + 1] = {};
    const bool haveTemp = GetTempFileNameW(DirectoryOf(full).c_str(), L"ldt", 0, temp) != 0;
    if (!haveTemp) {
        fail();
    } else {
        UniqueHandle out(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
        if (!out.Valid() || !WriteAll(out.Get(), bytes) || !FlushFileBuffers(out.Get()) || !out.Close())
            fail();
    }
    target.Close();
    if (error == ERROR_SUCCESS &&
        !MoveFileExW(temp, full.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        fail();
    if (error != ERROR_SUCCESS) {
        if (haveTemp) DeleteFileW(temp);
        if (!existed) DeleteFileW(full.c_str());
        return Failure(ReportWriteResult::WriteFailed, u"Cannot write ", widePath, error);
    }
    return {};
}

}  // namespace ldt

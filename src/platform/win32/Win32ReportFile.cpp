#include "platform/win32/Win32ReportFile.h"

#include "platform/win32/Win32Handle.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <vector>

namespace ldt {

namespace {

using win32::UniqueHandle;

constexpr wchar_t kTemporaryPrefix[] = L"~ldt";
constexpr wchar_t kTemporarySuffix[] = L".tmp";
constexpr std::size_t kTemporaryDigits = 4;
// A temporary this old is left from a killed save (in 100 ns units).
constexpr ULONGLONG kStaleAge = 10ull * 60 * 10'000'000;
// The attributes a program may set; re-applied after a replace that
// dropped them.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

WString Describe(const char16_t* what, const WString& path, DWORD error) {
    return what + path + u".\r\n" + win32::SystemErrorText(error);
}

ReportWriteResult Failure(ReportWriteResult::Status status, const char16_t* what, const WString& path,
                          DWORD error) {
    return {status, Describe(what, path, error)};
}

DWORD LastError() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : error;
}

std::wstring FullPath(const std::wstring& path) {
    const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::vector<wchar_t> buffer(n + 1);
    const DWORD got = GetFullPathNameW(path.c_str(), n + 1, buffer.data(), nullptr);
    return got > 0 && got <= n ? std::wstring(buffer.data(), got) : path;
}

// The \\?\ form of a full path, which no MAX_PATH limit applies to, so a
// temporary name longer than the target's never fails where the target fits.
std::wstring LongForm(const std::wstring& full) {
    if (full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0) return full;
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    if (full.size() >= 2 && full[1] == L':') return L"\\\\?\\" + full;
    return full;
}

bool IsTemporaryName(const wchar_t* name) {
    const std::wstring n(name);
    const std::size_t prefix = std::wcslen(kTemporaryPrefix), suffix = std::wcslen(kTemporarySuffix);
    if (n.size() != prefix + kTemporaryDigits + suffix) return false;
    if (_wcsnicmp(n.c_str(), kTemporaryPrefix, prefix) != 0) return false;
    if (_wcsicmp(n.c_str() + prefix + kTemporaryDigits, kTemporarySuffix) != 0) return false;
    return std::all_of(n.begin() + prefix, n.begin() + prefix + kTemporaryDigits,
                       [](wchar_t c) { return std::iswxdigit(c) != 0; });
}

// Deletes our temporaries in `dir` older than kStaleAge. A save in
// progress holds its temporary open without sharing, so the delete fails.
void RemoveStaleTemporaries(const std::wstring& dir) {
    WIN32_FIND_DATAW found;
    HANDLE first = FindFirstFileW((dir + L"\\" + kTemporaryPrefix + L"*" + kTemporarySuffix).c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) return;
    const std::unique_ptr<void, decltype(&FindClose)> search(first, &FindClose);
    FILETIME nowTime;
    GetSystemTimeAsFileTime(&nowTime);
    const ULONGLONG now = (ULONGLONG(nowTime.dwHighDateTime) << 32) | nowTime.dwLowDateTime;
    do {
        const ULONGLONG written =
            (ULONGLONG(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsTemporaryName(found.cFileName) &&
            now > written && now - written > kStaleAge)
            DeleteFileW((dir + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(search.get(), &found));
}

// A new temporary in `dir`, opened for writing without sharing; its path
// in `name`. Invalid (GetLastError set) when none could be made.
UniqueHandle CreateTemporary(const std::wstring& dir, std::wstring& name) {
    for (unsigned attempt = 0; attempt < Win32ReportFile::kTemporaryAttempts; ++attempt) {
        name = dir + L"\\" + win32::ToWin(Win32ReportFile::TemporaryName(attempt));
        UniqueHandle file(
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.Valid()) return file;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) break;
    }
    name.clear();
    return UniqueHandle();
}

bool Rewind(HANDLE file) {
    LARGE_INTEGER zero{};
    return SetFilePointerEx(file, zero, nullptr, FILE_BEGIN);
}

// Writes every byte from the start and cuts the file there; false with
// GetLastError() set otherwise.
bool WriteAll(HANDLE file, const std::string& bytes) {
    if (!Rewind(file)) return false;
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
    return SetEndOfFile(file) && FlushFileBuffers(file);
}

bool ReadAll(HANDLE file, std::string& out) {
    if (!Rewind(file)) return false;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
        if (got == 0) return true;
        try {
            out.append(buffer, got);
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
    }
    return false;
}

// Writes `bytes` over the open file itself, keeping its old content in
// memory and writing it back when any step fails.
ReportWriteResult RewriteInPlace(HANDLE file, const std::string& bytes, const WString& path) {
    std::string old;
    if (!ReadAll(file, old)) return Failure(ReportWriteResult::WriteFailed, u"Cannot write ", path, LastError());
    if (WriteAll(file, bytes)) return {};
    WString message = Describe(u"Cannot write ", path, LastError());
    if (WriteAll(file, old))
        message += u"\r\nIts previous content was put back.";
    else
        message += u"\r\nPutting its previous content back failed too: " + win32::SystemErrorText(LastError());
    return {ReportWriteResult::WriteFailed, message};
}

}  // namespace

WString Win32ReportFile::TemporaryName(unsigned attempt) {
    static const char16_t digits[] = u"0123456789abcdef";
    WString name(kTemporaryPrefix, kTemporaryPrefix + std::wcslen(kTemporaryPrefix));
    for (std::size_t i = kTemporaryDigits; i-- > 0;) name += digits[(attempt >> (4 * i)) & 0xF];
    return name + u".tmp";
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
    auto dropNewTarget = [&] {
        target.Close();
        if (!existed) DeleteFileW(full.c_str());
    };
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(target.Get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(target.Get(), &info)) {
        dropNewTarget();
        return Failure(ReportWriteResult::OpenFailed, u"Cannot open ", widePath, ERROR_INVALID_NAME);
    }
    const std::wstring dir = LongForm(full.substr(0, full.find_last_of(L'\\')));
    RemoveStaleTemporaries(dir);

    // A new file in its place would leave the other names with the old text.
    if (existed && info.nNumberOfLinks > 1) return RewriteInPlace(target.Get(), bytes, widePath);

    std::wstring temp;
    UniqueHandle out = CreateTemporary(dir, temp);
    if (!out.Valid()) {
        // Typically a folder we may not write in: the file itself still is.
        if (existed) return RewriteInPlace(target.Get(), bytes, widePath);
        const DWORD error = LastError();
        dropNewTarget();
        return Failure(ReportWriteResult::WriteFailed, u"Cannot write ", widePath, error);
    }
    if (!WriteAll(out.Get(), bytes) || !out.Close()) {
        const DWORD error = LastError();
        out.Close();
        DeleteFileW(temp.c_str());
        dropNewTarget();
        return Failure(ReportWriteResult::WriteFailed, u"Cannot write ", widePath, error);
    }

    if (!existed) {
        target.Close();
        if (MoveFileExW(temp.c_str(), full.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
        const DWORD error = LastError();
        DeleteFileW(temp.c_str());
        DeleteFileW(full.c_str());
        return Failure(ReportWriteResult::WriteFailed, u"Cannot write ", widePath, error);
    }

    // The replaced file goes to a reserved backup name first, so that a
    // replace that fails half-way never leaves the old content nowhere.
    std::wstring backup;
    CreateTemporary(dir, backup);
    target.Close();
    const BOOL replaced = ReplaceFileW(full.c_str(), temp.c_str(), backup.empty() ? nullptr : backup.c_str(),
                                       REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
    const DWORD error = replaced ? ERROR_SUCCESS : LastError();
    if (!replaced) DeleteFileW(temp.c_str());
    WString lost;
    if (!backup.empty()) {
        if (GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES || MoveFileExW(backup.c_str(), full.c_str(), 0))
            DeleteFileW(backup.c_str());
        else
            lost = u"\r\nIts previous content is in " + win32::FromWin(backup) + u".";
    }
    if (!replaced) return {ReportWriteResult::WriteFailed, Describe(u"Cannot write ", widePath, error) + lost};

    // ReplaceFileW keeps the attributes; an implementation that dropped
    // them gets them back here.
    const DWORD now = GetFileAttributesW(full.c_str());
    if (now != INVALID_FILE_ATTRIBUTES && (now & kSettableAttributes) != (info.dwFileAttributes & kSettableAttributes)) {
        const DWORD wanted = (now & ~kSettableAttributes) | (info.dwFileAttributes & kSettableAttributes);
        SetFileAttributesW(full.c_str(), wanted ? wanted : FILE_ATTRIBUTE_NORMAL);
    }
    return {};
}

}  // namespace ldt

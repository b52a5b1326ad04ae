#include "platform/win32/Win32ReportFile.h"

#include "platform/SafeSave.h"
#include "platform/win32/Win32Handle.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace ldt {

namespace {

using win32::UniqueHandle;

constexpr TemporaryNamePattern kTemporaries{u"~ldt", u"0123456789abcdef", 4, true};
// The attributes a program may set; re-applied after a replace that
// dropped them.
constexpr DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

SystemError LastError() {
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

// A new temporary in `dir`, opened for writing without sharing; its path
// in `name`. Invalid (GetLastError set) when none could be made.
UniqueHandle CreateTemporaryIn(const std::wstring& dir, std::wstring& name) {
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

ULONGLONG Ticks(const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

bool Rewind(HANDLE file) {
    LARGE_INTEGER zero{};
    return SetFilePointerEx(file, zero, nullptr, FILE_BEGIN);
}

// Writes every byte from the start, cuts the file there and flushes it;
// false with GetLastError() set otherwise.
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

UniqueHandle OpenExclusive(const std::wstring& path, DWORD disposition) {
    return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

class Win32Save final : public SaveFilePrimitives {
public:
    explicit Win32Save(Win32ReportFile::ReplaceCall replace) : replace_(replace) {}

    // The exclusive open of the target also keeps others away while the new
    // content is prepared.
    SystemError OpenTarget(const WString& path, SaveTarget& target) override {
        const std::wstring name = win32::ToWin(path);
        target_ = OpenExclusive(name, OPEN_ALWAYS);
        if (!target_.Valid()) return LastError();
        created_ = GetLastError() != ERROR_ALREADY_EXISTS;
        full_ = FullPath(name);
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileType(target_.Get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(target_.Get(), &info)) {
            RemoveCreatedTarget();
            return ERROR_INVALID_NAME;
        }
        attributes_ = info.dwFileAttributes;
        dir_ = LongForm(full_.substr(0, full_.find_last_of(L'\\')));
        target = {created_, info.nNumberOfLinks > 1, false};
        return 0;
    }

    // A save in progress holds its temporary open without sharing, so the
    // delete fails.
    void RemoveStaleTemporaries() override {
        WIN32_FIND_DATAW found;
        const HANDLE first = FindFirstFileW((dir_ + L"\\~ldt*.tmp").c_str(), &found);
        if (first == INVALID_HANDLE_VALUE) return;
        const std::unique_ptr<void, decltype(&FindClose)> search(first, &FindClose);
        FILETIME nowTime;
        GetSystemTimeAsFileTime(&nowTime);
        const ULONGLONG now = Ticks(nowTime);
        constexpr ULONGLONG kStale = ULONGLONG(kStaleTemporarySeconds) * 10'000'000;  // in 100 ns
        do {
            const ULONGLONG written = Ticks(found.ftLastWriteTime);
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                kTemporaries.Matches(win32::FromWin(found.cFileName)) && now > written && now - written > kStale)
                DeleteFileW((dir_ + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(search.get(), &found));
    }

    SystemError ReadTarget(std::string& content) override { return ReadAll(target_.Get(), content) ? 0 : LastError(); }
    SystemError WriteTarget(const std::string& bytes) override { return WriteAll(target_.Get(), bytes) ? 0 : LastError(); }

    void RemoveCreatedTarget() override {
        if (!created_) return;
        target_.Close();
        DeleteFileW(full_.c_str());
        created_ = false;
    }

    SystemError CreateTemporary() override {
        temp_ = CreateTemporaryIn(dir_, tempPath_);
        return temp_.Valid() ? 0 : LastError();
    }

    // ReplaceFileW itself carries attributes, security and streams over.
    bool CarryOverToTemporary() override { return true; }

    SystemError WriteTemporary(const std::string& bytes) override {
        return WriteAll(temp_.Get(), bytes) && temp_.Close() ? 0 : LastError();
    }

    ReplaceOutcome ReplaceTarget(SystemError& error, WString& keptIn) override {
        target_.Close();
        if (created_) {
            if (!MoveFileExW(tempPath_.c_str(), full_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                error = LastError();
                return ReplaceOutcome::Failed;
            }
            tempPath_.clear();
            created_ = false;
            return ReplaceOutcome::Replaced;
        }
        // The replaced file goes to a reserved backup name first, so that a
        // replace that fails half-way never leaves the old content nowhere.
        std::wstring backup;
        CreateTemporaryIn(dir_, backup);
        const BOOL replaced = replace_(full_.c_str(), tempPath_.c_str(), backup.empty() ? nullptr : backup.c_str(),
                                       REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
        error = replaced ? ERROR_SUCCESS : LastError();
        if (!backup.empty()) {
            if (GetFileAttributesW(full_.c_str()) != INVALID_FILE_ATTRIBUTES ||
                MoveFileExW(backup.c_str(), full_.c_str(), 0))
                DeleteFileW(backup.c_str());
            else
                keptIn = win32::FromWin(backup);
        }
        if (replaced) {
            tempPath_.clear();
            KeepAttributes();
            return ReplaceOutcome::Replaced;
        }
        // Without the right to remove the old file the system refuses the
        // replace and leaves both files as they were: the old file itself
        // may still be written.
        if (keptIn.empty() && (error == ERROR_ACCESS_DENIED || error == ERROR_UNABLE_TO_REMOVE_REPLACED)) {
            target_ = OpenExclusive(full_, OPEN_EXISTING);
            if (target_.Valid()) return ReplaceOutcome::Refused;
            error = LastError();
        }
        return ReplaceOutcome::Failed;
    }

    bool TargetStillNamed() override { return GetFileAttributesW(full_.c_str()) != INVALID_FILE_ATTRIBUTES; }

    void RemoveTemporary() override {
        temp_.Close();
        if (!tempPath_.empty()) DeleteFileW(tempPath_.c_str());
        tempPath_.clear();
    }

    // MoveFileExW and ReplaceFileW write the folder's record through.
    SystemError SyncFolder() override { return 0; }

    WString ErrorText(SystemError error) override { return win32::SystemErrorText(error); }

private:
    // ReplaceFileW keeps the attributes; an implementation that dropped
    // them gets them back here.
    void KeepAttributes() {
        const DWORD now = GetFileAttributesW(full_.c_str());
        if (now == INVALID_FILE_ATTRIBUTES || (now & kSettableAttributes) == (attributes_ & kSettableAttributes))
            return;
        const DWORD wanted = (now & ~kSettableAttributes) | (attributes_ & kSettableAttributes);
        SetFileAttributesW(full_.c_str(), wanted ? wanted : FILE_ATTRIBUTE_NORMAL);
    }

    Win32ReportFile::ReplaceCall replace_;
    UniqueHandle target_, temp_;
    std::wstring full_, dir_, tempPath_;
    bool created_ = false;
    DWORD attributes_ = 0;
};

}  // namespace

WString Win32ReportFile::TemporaryName(unsigned attempt) { return kTemporaries.Name(attempt); }

ReportWriteResult Win32ReportFile::WriteWhole(const WString& path, const std::string& bytes) {
    Win32Save primitives(replace_);
    return SafeSave(primitives, path, bytes);
}

}  // namespace ldt

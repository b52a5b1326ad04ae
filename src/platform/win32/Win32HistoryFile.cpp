#include "platform/win32/Win32HistoryFile.h"

#include "platform/HistoryAppend.h"
#include "platform/win32/Win32Handle.h"

#include <shlobj.h>

namespace ldt {

namespace {

// `path` opened shared with every other opener.
HANDLE OpenShared(const std::wstring& path, DWORD access, DWORD disposition) {
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[1024];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

// An absolute path: on a drive (C:\ and on) or a share (\\server\share and on).
bool Absolute(const std::wstring& path) {
    return (path.size() > 2 && path[1] == L':' && path[2] == L'\\') || path.rfind(L"\\\\", 0) == 0;
}

// Makes `path` and its missing parents, going up only as far as the
// nearest folder that exists: never a share, a drive's root or the long
// path prefix itself. 0 or the system's error.
DWORD MakeFolders(const std::wstring& path) {
    if (CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return 0;
    const DWORD error = GetLastError();
    const std::size_t cut = path.find_last_of(L'\\');
    if (error != ERROR_PATH_NOT_FOUND || cut == std::wstring::npos || cut == 0) return error;
    if (const DWORD parent = MakeFolders(path.substr(0, cut))) return parent;
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS ? 0 : GetLastError();
}

// Up to `size` bytes at `offset`, whatever the handle's own position; how
// many came (0 at the end or on an error).
DWORD ReadAt(HANDLE file, std::uint64_t offset, char* into, DWORD size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    return ReadFile(file, into, size, &n, &at) ? n : 0;
}

class HandleSource final : public HistorySource {
public:
    HandleSource(win32::UniqueHandle file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::string ReadAt(std::uint64_t offset, std::size_t size) override {
        std::string out(size, '\0');
        std::size_t got = 0;
        while (got < size) {
            const DWORD n = ldt::ReadAt(file_.Get(), offset + got, &out[got], static_cast<DWORD>(size - got));
            if (n == 0) break;
            got += n;
        }
        out.resize(got);
        return out;
    }

private:
    win32::UniqueHandle file_;
    std::uint64_t size_;
};

class Win32Append final : public HistoryAppendPrimitives {
public:
    Win32Append(std::wstring folder, std::wstring current, std::wstring older)
        : folder_(std::move(folder)), current_(std::move(current)), older_(std::move(older)) {}
    ~Win32Append() override {
        file_.Reset();  // closed before the next appender may rotate it
        if (locked_) UnlockFileEx(lock_.Get(), 0, 1, 0, &whole_);
    }

    SystemError MakeFolder() override { return MakeFolders(folder_); }
    SystemError TryLock(bool& busy) override {
        if (!lock_) lock_.Reset(OpenShared(folder_ + L"\\history.lock", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS));
        if (!lock_) return GetLastError();
        locked_ = LockFileEx(lock_.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole_);
        if (locked_) return 0;
        const DWORD error = GetLastError();
        busy = error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING;
        return error;
    }
    void PauseForLock() override { Sleep(5); }
    SystemError OpenCurrent(std::uint64_t& size) override {
        file_.Reset(OpenShared(current_, GENERIC_READ | FILE_APPEND_DATA, OPEN_ALWAYS));
        LARGE_INTEGER bytes{};
        if (!file_ || !GetFileSizeEx(file_.Get(), &bytes)) return GetLastError();
        size = static_cast<std::uint64_t>(bytes.QuadPart);
        return 0;
    }
    SystemError RotateCurrent() override {
        file_.Reset();
        return MoveFileExW(current_.c_str(), older_.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : GetLastError();
    }
    bool ReadByte(std::uint64_t offset, char& byte) override { return ReadAt(file_.Get(), offset, &byte, 1) == 1; }
    SystemError Write(const std::string& bytes, std::size_t& written) override {
        DWORD n = 0;
        const BOOL ok = WriteFile(file_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
        written = n;
        return ok ? 0 : GetLastError();
    }
    void Truncate(std::uint64_t size) override {
        // The append handle cannot move the end; a second handle can.
        win32::UniqueHandle again(OpenShared(current_, GENERIC_WRITE, OPEN_EXISTING));
        LARGE_INTEGER at{};
        at.QuadPart = static_cast<LONGLONG>(size);
        if (again && SetFilePointerEx(again.Get(), at, nullptr, FILE_BEGIN)) SetEndOfFile(again.Get());
    }
    WString CurrentPath() const override { return win32::FromWin(current_); }
    WString ErrorText(SystemError error) override { return win32::SystemErrorText(static_cast<DWORD>(error)); }
    SystemError LockTakenError() const override { return ERROR_LOCK_VIOLATION; }
    SystemError DiskFullError() const override { return ERROR_DISK_FULL; }

private:
    const std::wstring folder_, current_, older_;
    win32::UniqueHandle lock_, file_;
    OVERLAPPED whole_{};
    bool locked_ = false;
};

}  // namespace

Win32HistoryFile::Win32HistoryFile() {
    std::wstring base = Environment(L"LOCALAPPDATA");
    if (!Absolute(base)) base = Environment(L"USERPROFILE") + L"\\AppData\\Local";
    if (!Absolute(base)) {
        // Without the profile's variables (a service, a stripped
        // environment), the shell says where the folder is rather than the
        // history landing in the current drive's root.
        wchar_t shell[MAX_PATH] = {};
        const auto folderPath =
            win32::LateLoad<HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPWSTR)>(L"shell32.dll", "SHGetFolderPathW");
        base = folderPath && folderPath(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, shell) == S_OK ? shell : L"";
    }
    if (!base.empty()) folder_ = base + L"\\Laser Diagnostic Tool";
}

std::wstring Win32HistoryFile::Path(int generation) const {
    if (folder_.empty()) return {};  // nowhere known: no file opens, none is made
    return folder_ + (generation == 0 ? L"\\history.jsonl" : L"\\history.1.jsonl");
}

WString Win32HistoryFile::Where() const { return win32::FromWin(Path(0)); }

WString Win32HistoryFile::Append(const std::string& line) {
    Win32Append primitives(folder_, Path(0), Path(1));
    return AppendHistory(primitives, line);
}

std::unique_ptr<HistorySource> Win32HistoryFile::Open(int generation) {
    win32::UniqueHandle file(OpenShared(Path(generation), GENERIC_READ, OPEN_EXISTING));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.Get(), &size)) return nullptr;
    return std::make_unique<HandleSource>(std::move(file), static_cast<std::uint64_t>(size.QuadPart));
}

}  // namespace ldt

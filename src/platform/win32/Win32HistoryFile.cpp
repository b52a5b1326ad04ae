#include "platform/win32/Win32HistoryFile.h"

#include "platform/win32/Win32Handle.h"
#include "seams/Messages.h"

namespace ldt {

namespace {

constexpr int kLockTries = 20;  // 20 tries 5 ms apart: a tenth of a second at most
constexpr DWORD kLockPauseMs = 5;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[1024];
    const DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
    return n > 0 && n < 1024 ? std::wstring(buffer, n) : std::wstring();
}

// Makes `path` and its missing parents; 0 or the system's error.
DWORD MakeFolders(const std::wstring& path) {
    for (std::size_t at = 0; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != L'\\') continue;
        const std::wstring part = path.substr(0, at);
        if (part.empty() || part.back() == L':' || (part.size() <= 2 && part[0] == L'\\')) continue;
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return GetLastError();
    }
    return 0;
}

class HandleSource final : public HistorySource {
public:
    HandleSource(win32::UniqueHandle file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::string ReadAt(std::uint64_t offset, std::size_t size) override {
        std::string out(size, '\0');
        std::size_t got = 0;
        while (got < size) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset + got);
            at.OffsetHigh = static_cast<DWORD>((offset + got) >> 32);
            DWORD n = 0;
            if (!ReadFile(file_.Get(), &out[got], static_cast<DWORD>(size - got), &n, &at) || n == 0) break;
            got += n;
        }
        out.resize(got);
        return out;
    }

private:
    win32::UniqueHandle file_;
    std::uint64_t size_;
};

}  // namespace

Win32HistoryFile::Win32HistoryFile() {
    std::wstring base = Environment(L"LOCALAPPDATA");
    if (base.empty()) base = Environment(L"USERPROFILE") + L"\\AppData\\Local";
    folder_ = base + L"\\Laser Diagnostic Tool";
}

std::wstring Win32HistoryFile::Path(int generation) const {
    return folder_ + (generation == 0 ? L"\\history.jsonl" : L"\\history.1.jsonl");
}

WString Win32HistoryFile::Where() const { return win32::FromWin(Path(0)); }

WString Win32HistoryFile::Append(const std::string& line) {
    const std::wstring path = Path(0);
    const auto fail = [&](DWORD error) { return CannotWrite(win32::FromWin(path), win32::SystemErrorText(error)); };
    if (DWORD error = MakeFolders(folder_)) return fail(error);

    win32::UniqueHandle lock(CreateFileW((folder_ + L"\\history.lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                                         kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!lock) return fail(GetLastError());
    OVERLAPPED whole{};
    for (int tries = 0;; ++tries) {
        if (LockFileEx(lock.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole)) break;
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) return fail(error);
        if (tries == kLockTries) return fail(error);
        Sleep(kLockPauseMs);
    }
    struct Unlock {
        HANDLE h;
        OVERLAPPED* o;
        ~Unlock() { UnlockFileEx(h, 0, 1, 0, o); }
    } unlock{lock.Get(), &whole};

    const auto openCurrent = [&] {
        return win32::UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ | FILE_APPEND_DATA, kShareAll, nullptr,
                                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    win32::UniqueHandle file = openCurrent();
    if (!file) return fail(GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) return fail(GetLastError());
    if (size.QuadPart > 0 && static_cast<std::uint64_t>(size.QuadPart) + line.size() > kHistoryRotateBytes) {
        file.Reset();
        if (!MoveFileExW(path.c_str(), Path(1).c_str(), MOVEFILE_REPLACE_EXISTING)) return fail(GetLastError());
        file = openCurrent();
        if (!file) return fail(GetLastError());
        size.QuadPart = 0;
    }
    // A line cut short before (a power failure) must not swallow this one.
    std::string bytes;
    if (size.QuadPart > 0) {
        char last = '\n';
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(size.QuadPart - 1);
        at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
        DWORD n = 0;
        if (ReadFile(file.Get(), &last, 1, &n, &at) && n == 1 && last != '\n') bytes = "\n";
    }
    bytes += line;

    DWORD written = 0;
    const BOOL ok = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (ok && written == bytes.size()) return {};
    const DWORD error = ok ? ERROR_DISK_FULL : GetLastError();
    // Take back a partial line, so the next record starts on a line of its
    // own (should that fail too, the next append starts a new line itself).
    if (written > 0) {
        win32::UniqueHandle again(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (again && SetFilePointerEx(again.Get(), size, nullptr, FILE_BEGIN)) SetEndOfFile(again.Get());
    }
    return fail(error);
}

std::unique_ptr<HistorySource> Win32HistoryFile::Open(int generation) {
    win32::UniqueHandle file(CreateFileW(Path(generation).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.Get(), &size)) return nullptr;
    return std::make_unique<HandleSource>(std::move(file), static_cast<std::uint64_t>(size.QuadPart));
}

}  // namespace ldt

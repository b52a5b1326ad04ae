#pragma once
// Helpers for the Windows backend's tests: scratch directories and whole-file
// reads through the platform's own calls.

#include "platform/win32/Win32Handle.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace ldt::testing {

// Names of the plain files in `dir`, sorted.
inline std::vector<std::wstring> FilesIn(const std::wstring& dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

// A fresh, uniquely named directory under the Windows temporary directory;
// removed with its files at the end.
class ScratchDir {
public:
    ScratchDir() {
        wchar_t base[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH, base);
        static unsigned counter = 0;
        for (;;) {
            path_ = std::wstring(base) + L"ldt-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(++counter);
            if (CreateDirectoryW(path_.c_str(), nullptr)) break;
        }
    }
    ~ScratchDir() {
        for (const std::wstring& name : Files()) DeleteFileW(Join(name).c_str());
        RemoveDirectoryW(path_.c_str());
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring Join(const std::wstring& name) const { return path_ + L"\\" + name; }

    // Names of the plain files in the directory, sorted.
    std::vector<std::wstring> Files() const { return FilesIn(path_); }

private:
    std::wstring path_;
};

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The whole content of a file, or "<unreadable>" when it cannot be opened.
inline std::string ReadAll(const std::wstring& path) {
    win32::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return "<unreadable>";
    std::string out;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
    return out;
}

inline bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    win32::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD wrote = 0;
    return file.Valid() && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
           wrote == bytes.size();
}

inline WString W(const std::wstring& s) { return win32::FromWin(s); }

// Milliseconds on the performance counter.
inline double NowMs() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace ldt::testing

#include "platform/Platform.h"
#include "platform/SleepClock.h"
#include "platform/win32/AnsiCodePage.h"
#include "platform/win32/Win32DeviceBus.h"
#include "platform/win32/Win32Handle.h"
#include "platform/win32/Win32HistoryFile.h"
#include "platform/win32/Win32ReportFile.h"

#include <windows.h>

#include <string>

namespace ldt::platform {

std::unique_ptr<DeviceBus> MakeDeviceBus() { return std::make_unique<Win32DeviceBus>(); }
std::unique_ptr<Clock> MakeClock() { return std::make_unique<SleepClock>(); }
std::unique_ptr<CodePage> MakeCodePage() { return std::make_unique<AnsiCodePage>(); }
std::unique_ptr<ReportFileSystem> MakeReportFileSystem() { return std::make_unique<Win32ReportFile>(); }
std::unique_ptr<HistoryFile> MakeHistoryFile() { return std::make_unique<Win32HistoryFile>(); }

WString DescribeSystem() {
    // RtlGetVersion tells the true version, unlike GetVersionExW, which a
    // program without a manifest naming the system is lied to by.
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    const auto getVersion = win32::Loaded<LONG(WINAPI*)(OSVERSIONINFOW*)>(L"ntdll.dll", "RtlGetVersion");
    std::string text = "Windows";
    if (getVersion && getVersion(&info) == 0)
        text += " " + std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
                std::to_string(info.dwBuildNumber);
    // Wine says so through an export of its own.
    const auto wineVersion = win32::Loaded<const char*(CDECL*)()>(L"ntdll.dll", "wine_get_version");
    if (wineVersion) text += std::string(" (Wine ") + wineVersion() + ")";
    return Ascii(text);
}

}  // namespace ldt::platform

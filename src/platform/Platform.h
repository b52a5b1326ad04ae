#pragma once
// The current platform's implementations of the seams, chosen by the build:
// platform/win32 on Windows, platform/linux elsewhere.

#include "seams/Clock.h"
#include "seams/CodePage.h"
#include "seams/DeviceBus.h"
#include "seams/HistoryFile.h"
#include "seams/ReportFile.h"

#include <memory>

namespace ldt::platform {

std::unique_ptr<DeviceBus> MakeDeviceBus();
std::unique_ptr<Clock> MakeClock();
std::unique_ptr<CodePage> MakeCodePage();
std::unique_ptr<ReportFileSystem> MakeReportFileSystem();
// The user's readings history (never null; it may fail when used).
std::unique_ptr<HistoryFile> MakeHistoryFile();
// The operating system for a diagnosis: its name, release and machine
// ("Linux 6.1.0-13-amd64 x86_64", "Windows 10.0.19045"). Never fails.
WString DescribeSystem();

}  // namespace ldt::platform

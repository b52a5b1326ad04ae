#include "platform/Platform.h"
#include "platform/SleepClock.h"
#include "platform/win32/AnsiCodePage.h"
#include "platform/win32/Win32DeviceBus.h"
#include "platform/win32/Win32ReportFile.h"

namespace ldt::platform {

std::unique_ptr<DeviceBus> MakeDeviceBus() { return std::make_unique<Win32DeviceBus>(); }
std::unique_ptr<Clock> MakeClock() { return std::make_unique<SleepClock>(); }
std::unique_ptr<CodePage> MakeCodePage() { return std::make_unique<AnsiCodePage>(); }
std::unique_ptr<ReportFileSystem> MakeReportFileSystem() { return std::make_unique<Win32ReportFile>(); }

}  // namespace ldt::platform

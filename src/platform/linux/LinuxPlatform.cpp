#include "platform/Platform.h"
#include "platform/SleepClock.h"
#include "platform/linux/PosixReportFile.h"
#include "platform/linux/SysfsDeviceBus.h"
#include "platform/linux/Utf8CodePage.h"

namespace ldt::platform {

std::unique_ptr<DeviceBus> MakeDeviceBus() { return std::make_unique<SysfsDeviceBus>(); }
std::unique_ptr<Clock> MakeClock() { return std::make_unique<SleepClock>(); }
std::unique_ptr<CodePage> MakeCodePage() { return std::make_unique<Utf8CodePage>(); }
std::unique_ptr<ReportFileSystem> MakeReportFileSystem() { return std::make_unique<PosixReportFile>(); }

}  // namespace ldt::platform

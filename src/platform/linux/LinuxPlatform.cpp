#include "platform/Platform.h"
#include "platform/SleepClock.h"
#include "platform/linux/PosixHistoryFile.h"
#include "platform/linux/PosixReportFile.h"
#include "platform/linux/SysfsDeviceBus.h"
#include "platform/linux/Utf8CodePage.h"

#include <sys/utsname.h>

namespace ldt::platform {

std::unique_ptr<DeviceBus> MakeDeviceBus() { return std::make_unique<SysfsDeviceBus>(); }
std::unique_ptr<Clock> MakeClock() { return std::make_unique<SleepClock>(); }
std::unique_ptr<CodePage> MakeCodePage() { return std::make_unique<Utf8CodePage>(); }
std::unique_ptr<ReportFileSystem> MakeReportFileSystem() { return std::make_unique<PosixReportFile>(); }
std::unique_ptr<HistoryFile> MakeHistoryFile() { return std::make_unique<PosixHistoryFile>(); }

WString DescribeSystem() {
    utsname name{};
    if (uname(&name) != 0) return u"Linux";
    return Utf8CodePage().ToWide(std::string(name.sysname) + " " + name.release + " " + name.machine);
}

}  // namespace ldt::platform

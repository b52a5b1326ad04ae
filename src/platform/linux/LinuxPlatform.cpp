#include "platform/Platform.h"
#include "platform/linux/PosixReportFile.h"
#include "platform/linux/SysfsDeviceBus.h"
#include "platform/linux/Utf8CodePage.h"

#include <sys/utsname.h>

#include <chrono>
#include <thread>

namespace ldt::platform {

namespace {
class SleepClock final : public Clock {
public:
    void Pause(unsigned milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};
}  // namespace

std::unique_ptr<DeviceBus> MakeDeviceBus() { return std::make_unique<SysfsDeviceBus>(); }
std::unique_ptr<Clock> MakeClock() { return std::make_unique<SleepClock>(); }
std::unique_ptr<CodePage> MakeCodePage() { return std::make_unique<Utf8CodePage>(); }
std::unique_ptr<ReportFileSystem> MakeReportFileSystem() { return std::make_unique<PosixReportFile>(); }

WString DescribeSystem() {
    utsname name{};
    if (uname(&name) != 0) return u"Linux";
    return Utf8CodePage().ToWide(std::string(name.sysname) + " " + name.release + " " + name.machine);
}

}  // namespace ldt::platform

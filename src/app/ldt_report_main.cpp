#include "app/ReportCommand.h"
#include "platform/Platform.h"

#include <iostream>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    auto bus = ldt::platform::MakeDeviceBus();
    auto clock = ldt::platform::MakeClock();
    auto codePage = ldt::platform::MakeCodePage();
    auto history = ldt::platform::MakeHistoryFile();
    return ldt::RunReportCommand(args, *bus, *clock, *codePage, std::cout, std::cerr,
                                 ldt::platform::DescribeSystem(), history.get());
}

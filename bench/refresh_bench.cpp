// Refresh cost against simulated machines on 1 and 3 channels, as a ratio to
// the floor of one 50 ms pause per channel measured in the same run.
// Prints figures; never fails on timing.

#include "link/Refresh.h"
#include "machine-sim/MachineSimulator.h"
#include "platform/Platform.h"
#include "platform/linux/SysfsDeviceBus.h"
#include "platform/linux/Utf8CodePage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace ldt;
using Steady = std::chrono::steady_clock;

namespace {

class QuietPrompts final : public Prompts {
public:
    void ShowError(const WString&) override {}
    void ShowFileError(const WString&) override {}
    std::optional<WString> AskSavePath() override { return std::nullopt; }
};

double MedianMs(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    const fs::path root = fs::temp_directory_path() / ("ldt-bench-" + std::to_string(::getpid()));
    fs::create_directories(root / "sys/class/usbmisc");
    fs::create_directories(root / "dev/usb");

    std::vector<std::unique_ptr<MachineSimulator>> sims;
    auto addChannel = [&](int n) {
        const std::string name = "lp" + std::to_string(n);
        const fs::path iface = root / "sys/devices/usb1" / name;
        fs::create_directories(iface);
        std::ofstream(iface / "bInterfaceClass") << "07\n";
        fs::create_directories(root / "sys/class/usbmisc" / name);
        fs::create_directory_symlink(iface, root / "sys/class/usbmisc" / name / "device");
        MachineSimulatorOptions o;
        o.linkPath = (root / "dev/usb" / name).string();
        sims.push_back(std::make_unique<MachineSimulator>(o));
        std::string error;
        if (!sims.back()->Start(&error)) {
            std::fprintf(stderr, "simulator: %s\n", error.c_str());
            std::exit(1);
        }
    };

    auto clock = platform::MakeClock();
    Utf8CodePage codePage;
    QuietPrompts prompts;
    SysfsDeviceBus bus((root / "sys").string(), (root / "dev").string());

    std::printf("refresh benchmark, median of %d rounds\n", rounds);
    for (int channels : {1, 3}) {
        while (static_cast<int>(sims.size()) < channels) addChannel(static_cast<int>(sims.size()));
        std::vector<double> refresh, floor;
        for (int r = 0; r < rounds; ++r) {
            MachineLink link;
            MachineData data;
            auto t0 = Steady::now();
            RefreshMachineData(link, data, {bus, *clock, codePage, prompts});
            auto t1 = Steady::now();
            if (data.Count() != 17u * static_cast<unsigned>(channels)) {
                std::fprintf(stderr, "unexpected field count %zu\n", data.Count());
                return 1;
            }
            for (int c = 0; c < channels; ++c) clock->Pause(kReplyPauseMs);
            auto t2 = Steady::now();
            refresh.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            floor.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
        }
        const double rm = MedianMs(refresh), fm = MedianMs(floor);
        std::printf("  %d channel%s: refresh %.2f ms, floor %.2f ms, ratio %.3f (goal <= 1.05)\n", channels,
                    channels == 1 ? " " : "s", rm, fm, rm / fm);
    }
    sims.clear();
    fs::remove_all(root);
    return 0;
}

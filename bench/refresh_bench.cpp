// Refresh cost against simulated machines behind many usblp nodes at once.
//  - N ports, N - 1 silent and one answering (N = 1, 4, 16, 32), against the
//    floor of one 50 ms pause plus the 1 s read bound (the pause plus one
//    round trip when none is silent);
//  - N answering ports against the pause plus one round trip, measured as a
//    refresh of one answering port in the same run.
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
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace ldt;
using Steady = std::chrono::steady_clock;

namespace {

constexpr int kBoundMs = 1000;

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

// A fake sysfs and /dev tree with simulators behind lp0, lp1, ...
class Bench {
public:
    Bench() : root_(fs::temp_directory_path() / ("ldt-bench-" + std::to_string(::getpid()))) {}
    ~Bench() {
        sims_.clear();
        fs::remove_all(root_);
    }

    // Ports lp0 .. lp(n-1): the first `answering` answer, the rest are silent.
    void Ports(int n, int answering) {
        sims_.clear();
        fs::remove_all(root_);
        fs::create_directories(root_ / "sys/class/usbmisc");
        fs::create_directories(root_ / "dev/usb");
        for (int i = 0; i < n; ++i) {
            const std::string name = "lp" + std::to_string(i);
            const fs::path iface = root_ / "sys/devices/usb1" / name;
            fs::create_directories(iface);
            std::ofstream(iface / "bInterfaceClass") << "07\n";
            fs::create_directories(root_ / "sys/class/usbmisc" / name);
            fs::create_directory_symlink(iface, root_ / "sys/class/usbmisc" / name / "device");
            MachineSimulatorOptions o;
            o.mode = i < answering ? SimulatorMode::Normal : SimulatorMode::Silent;
            o.linkPath = (root_ / "dev/usb" / name).string();
            sims_.push_back(std::make_unique<MachineSimulator>(o));
            std::string error;
            if (!sims_.back()->Start(&error)) {
                std::fprintf(stderr, "simulator: %s\n", error.c_str());
                std::exit(1);
            }
        }
        answering_ = answering;
    }

    // The median refresh time over `rounds`.
    double RefreshMs(int rounds) {
        SysfsDeviceBus bus((root_ / "sys").string(), (root_ / "dev").string(), kBoundMs);
        std::vector<double> times;
        for (int r = 0; r < rounds; ++r) {
            MachineLink link;
            MachineData data;
            const auto t0 = Steady::now();
            RefreshMachineData(link, data, {bus, *clock_, codePage_, prompts_});
            times.push_back(std::chrono::duration<double, std::milli>(Steady::now() - t0).count());
            if (data.Count() != 17u * static_cast<unsigned>(answering_)) {
                std::fprintf(stderr, "unexpected field count %zu\n", data.Count());
                std::exit(1);
            }
        }
        return MedianMs(times);
    }

private:
    fs::path root_;
    std::vector<std::unique_ptr<MachineSimulator>> sims_;
    int answering_ = 0;
    std::unique_ptr<Clock> clock_ = platform::MakeClock();
    Utf8CodePage codePage_;
    QuietPrompts prompts_;
};

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 5;
    Bench bench;
    bench.Ports(1, 1);
    const double roundTrip = bench.RefreshMs(rounds * 3);
    std::printf("refresh benchmark, median of %d rounds; one answering port: %.2f ms (the pause + one round trip)\n",
                rounds, roundTrip);

    const double silentFloor = kReplyPauseMs + kBoundMs;
    std::printf("N ports, N - 1 silent, one answering; floor %.0f ms (pause + bound) when any is silent:\n", silentFloor);
    for (int n : {1, 4, 16, 32}) {
        bench.Ports(n, 1);
        const double ms = bench.RefreshMs(rounds);
        const double floor = n > 1 ? silentFloor : roundTrip;
        std::printf("  N = %2d: %8.2f ms, ratio %.3f (goal <= 1.10; one port at a time: %.0f ms)\n", n, ms, ms / floor,
                    (n - 1) * silentFloor + roundTrip);
    }
    std::printf("N answering ports, against one answering port:\n");
    for (int n : {1, 4, 16, 32}) {
        bench.Ports(n, n);
        const double ms = bench.RefreshMs(rounds * 3);
        std::printf("  N = %2d: %8.2f ms, ratio %.3f (goal <= 1.10)\n", n, ms, ms / roundTrip);
    }
    return 0;
}

// Refresh cost against simulated machines behind many usblp nodes at once.
//  - N ports, N - 1 silent and one answering (N = 1, 4, 16, 32), against the
//    floor of one 50 ms pause plus the 1 s read bound (the pause plus one
//    round trip when none is silent);
//  - N answering ports against the pause plus one round trip, measured as a
//    refresh of one answering port in the same run;
//  - one answering port with the readings history kept, against the same
//    refresh without: a 50 MB history of other machines ending in the
//    machine's previous reading (its power different), a garbage line and a
//    cut last line; and a history that does not hold the machine at all.
//    The marks must be right (the power alone changed on the first round).
// Prints figures; never fails on timing.

#include "link/History.h"
#include "link/Refresh.h"
#include "machine-sim/MachineSimulator.h"
#include "platform/Platform.h"
#include "platform/linux/PosixHistoryFile.h"
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

    // The median refresh time over `rounds`, each followed by the history's
    // comparison and append when `history` is given. `changed` receives the
    // changes the first round found.
    double RefreshMs(int rounds, HistoryFile* history = nullptr, std::vector<FieldChange>* changed = nullptr) {
        SysfsDeviceBus bus((root_ / "sys").string(), (root_ / "dev").string(), kBoundMs);
        std::vector<double> times;
        for (int r = 0; r < rounds; ++r) {
            MachineLink link;
            MachineData data;
            const auto t0 = Steady::now();
            const RefreshOutcome outcome = RefreshMachineData(link, data, {bus, *clock_, codePage_, prompts_});
            if (history) {
                HistoryOutcome kept = UpdateHistory(history, outcome, codePage_, HistoryNow(), true);
                if (r == 0 && changed && !kept.ports.empty()) *changed = kept.ports[0].changes;
                if (!kept.problem.empty()) std::fprintf(stderr, "history not written\n");
            }
            times.push_back(std::chrono::duration<double, std::milli>(Steady::now() - t0).count());
            if (data.Count() != 17u * static_cast<unsigned>(answering_)) {
                std::fprintf(stderr, "unexpected field count %zu\n", data.Count());
                std::exit(1);
            }
        }
        return MedianMs(times);
    }

    // The record a refresh of the first port makes.
    HistoryRecord FirstRecord() {
        SysfsDeviceBus bus((root_ / "sys").string(), (root_ / "dev").string(), kBoundMs);
        MachineLink link;
        MachineData data;
        return RecordsOf(RefreshMachineData(link, data, {bus, *clock_, codePage_, prompts_}), codePage_, 0).at(0);
    }
    fs::path Root() const { return root_; }

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

    // The readings history.
    bench.Ports(1, 1);
    HistoryRecord previous = bench.FirstRecord();
    previous.time = 1764583920;
    const WString power = previous.values.at(static_cast<std::size_t>(MachineField::FilePower));
    previous.values[static_cast<std::size_t>(MachineField::FilePower)] = power + u"0";
    HistoryRecord other = previous;
    other.key = u"sn:1a2b:3c4d:OTHER";
    const std::string otherLine = HistoryLine(other);
    const fs::path folder = bench.Root() / "state";
    fs::create_directories(folder);
    const auto writeHistory = [&](bool withMachine) {
        std::ofstream out(folder / "history.jsonl", std::ios::binary | std::ios::trunc);
        std::string chunk;
        while (chunk.size() < (1u << 20)) chunk += otherLine;
        for (int mb = 0; mb < 50; ++mb) out << chunk;
        if (withMachine) out << HistoryLine(previous);
        out << "garbage, not a record\n" << otherLine.substr(0, otherLine.size() / 2);
    };
    writeHistory(true);
    PosixHistoryFile file(folder.string());
    std::vector<FieldChange> changed;
    const double withHistory = bench.RefreshMs(rounds * 3, &file, &changed);
    const double without = bench.RefreshMs(rounds * 3);
    const bool marksRight = changed.size() == 1 && changed[0].field == static_cast<std::size_t>(MachineField::FilePower) &&
                            changed[0].now == power && changed[0].since == previous.time;
    std::printf("one answering port with a 50 MB history (garbage line, cut last line): %.2f ms, without: %.2f ms,"
                " ratio %.3f (goal <= 1.05); marks %s\n",
                withHistory, without, withHistory / without, marksRight ? "right (the power alone)" : "WRONG");
    writeHistory(false);
    const double notFound = bench.RefreshMs(rounds * 3, &file);
    std::printf("  the machine not in the history (a whole read budget of %zu bytes): %.2f ms, ratio %.3f\n",
                kHistoryReadBudget, notFound, notFound / without);
    return marksRight ? 0 : 1;
}

// The query exchange against the simulated machine, reached as \\.\KORVA1
// through the Wine prefix's device links. Each suite runs under its own
// simulator mode (see CMakeLists.txt); they are excluded from the plain run.

#include "platform/SleepClock.h"
#include "platform/win32/AnsiCodePage.h"
#include "platform/win32/Win32DeviceBus.h"

#include "Win32TestSupport.h"
#include "fakes/Fakes.h"
#include "link/Refresh.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace ldt {
namespace {

using testing::NowMs;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The simulator's query log, named by its Unix path (drive Z: is "/").
std::string ReadSimLog() {
    std::string unixPath = Env("LDT_SIM_LOG");
    if (unixPath.empty()) return "";
    std::wstring path = L"Z:";
    for (char c : unixPath) path.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    const std::string log = testing::ReadAll(path);
    return log == "<unreadable>" ? "" : log;
}

// What the log gained since `before`, waiting up to a second for it.
std::string LogGrowth(const std::string& before) {
    std::string now;
    for (int i = 0; i < 20; ++i) {
        now = ReadSimLog();
        if (now.size() > before.size()) break;
        Sleep(50);
    }
    return now.size() >= before.size() ? now.substr(before.size()) : now;
}

struct Refresh {
    Win32DeviceBus bus;
    SleepClock clock;
    AnsiCodePage codePage;
    fakes::FakePrompts prompts;
    MachineLink link;
    MachineData data;
    double elapsedMs = 0;

    void Run() {
        const double start = NowMs();
        RefreshMachineData(link, data, {bus, clock, codePage, prompts});
        elapsedMs = NowMs() - start;
    }
};

TEST(SimNormal, FallbackExchangeParsesSeventeenFields_andAgainOnTheNextRefresh) {
    ASSERT_FALSE(Env("LDT_SIM_LOG").empty()) << "run through with-sim.sh (ctest does)";
    const std::string before = ReadSimLog();
    Refresh r;
    r.Run();
    std::printf("refresh through \\\\.\\KORVA1 took %.1f ms\n", r.elapsedMs);

    EXPECT_TRUE(r.prompts.errors.empty());
    ASSERT_EQ(r.data.Count(), 17u);
    const std::string reply = Env("LDT_SIM_REPLY");
    if (!reply.empty()) {
        std::size_t field = 0, start = 0;
        for (std::size_t comma; (comma = reply.find(',', start)) != std::string::npos; start = comma + 1, ++field)
            EXPECT_EQ(fakes::Narrow(r.data.At(field)), reply.substr(start, comma - start)) << "field " << field;
        EXPECT_EQ(field, 17u);
    }
    // The padded reply completes the read at once: no time-out was needed.
    EXPECT_LT(r.elapsedMs, 800.0);
    EXPECT_EQ(LogGrowth(before), "Y\n");

    // The device opens again for the next refresh, with the same answer.
    const WString firmware = r.data.At(MachineField::FirmwareVersion);
    r.data.Clear();
    r.Run();
    EXPECT_EQ(r.data.Count(), 17u);
    EXPECT_EQ(r.data.At(MachineField::FirmwareVersion), firmware);
    EXPECT_TRUE(r.prompts.errors.empty());
}

TEST(SimSilent, RefreshGivesUpWithinTheReadTimeout) {
    ASSERT_FALSE(Env("LDT_SIM_LOG").empty()) << "run through with-sim.sh (ctest does)";
    const std::string before = ReadSimLog();
    Refresh r;
    r.Run();
    std::printf("refresh against a silent machine took %.1f ms\n", r.elapsedMs);
    EXPECT_FALSE(r.data.Available());
    EXPECT_TRUE(r.prompts.errors.empty());
    EXPECT_GE(r.elapsedMs, 1000.0);  // the 50 ms pause plus the 1 s wait
    EXPECT_LT(r.elapsedMs, 3000.0);
    EXPECT_EQ(LogGrowth(before), "Y\n");  // the query did reach the machine
}

// The reply comes 300 ms after the query: within the read's wait.
TEST(SimLate, ReplyWithinTheWaitIsTaken) {
    Refresh r;
    r.Run();
    std::printf("refresh against a machine answering after 300 ms took %.1f ms\n", r.elapsedMs);
    EXPECT_EQ(r.data.Count(), 17u);
    EXPECT_GE(r.elapsedMs, 250.0);
    EXPECT_LT(r.elapsedMs, 1000.0);
}

// 300 bytes of reply: one read takes the first 256, which end on a comma;
// the next refresh drops the 44 left over rather than take them for its
// own answer.
TEST(SimLong, OneReadTakesAtMost256Bytes_theRestIsDroppedNextTime) {
    for (int refresh = 0; refresh < 2; ++refresh) {
        Refresh r;
        r.Run();
        ASSERT_EQ(r.data.Count(), 64u) << refresh;
        EXPECT_EQ(r.data.At(0), u"000");
        EXPECT_EQ(r.data.At(63), u"063");
    }
}

// The device goes away when queried.
TEST(SimHangup, VanishingDeviceEndsTheRefreshQuietly) {
    Refresh r;
    r.Run();
    std::printf("refresh against a machine that hangs up took %.1f ms\n", r.elapsedMs);
    EXPECT_FALSE(r.data.Available());
    EXPECT_TRUE(r.prompts.errors.empty());
    EXPECT_LT(r.elapsedMs, 3000.0);
}

TEST(NoMachine, FallbackFindsNoDevice) {
    Win32DeviceBus bus;
    EXPECT_EQ(ProbeFallbackDevices(bus).kind, FallbackResult::NoDevice);

    Refresh r;
    r.Run();
    EXPECT_FALSE(r.data.Available());
    ASSERT_EQ(r.prompts.errors.size(), 1u);
    EXPECT_EQ(r.prompts.errors[0], kNoConnectionText);
}

}  // namespace
}  // namespace ldt

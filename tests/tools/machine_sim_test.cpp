// The simulated machine, driven through its pty as the tool would drive the
// real one: open the slave, write a query, poll and read.

#include "machine-sim/MachineSimulator.h"
#include "platform/linux/UniqueFd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using ldt::MachineSimulator;
using ldt::MachineSimulatorOptions;
using ldt::SimulatorMode;
using ldt::UniqueFd;
using SteadyClock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const std::string kQueryX("\x1A\x24\x69\x34\x58", 5);
const std::string kQueryY("\x1A\x24\x69\x34\x59", 5);

UniqueFd OpenClient(const std::string& path) {
    return UniqueFd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
}

void WriteAll(int fd, const std::string& bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

// One poll and one read of at most `max` bytes; empty when nothing comes.
std::string ReadOnce(int fd, std::chrono::milliseconds timeout, std::size_t max = 256) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0 || !(p.revents & POLLIN)) return {};
    std::string buffer(max, '\0');
    const ssize_t n = ::read(fd, buffer.data(), max);
    buffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return buffer;
}

// Reads until `count` bytes have come or the time is up.
std::string ReadBytes(int fd, std::size_t count, std::chrono::milliseconds timeout) {
    const auto end = SteadyClock::now() + timeout;
    std::string text;
    while (text.size() < count && SteadyClock::now() < end) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - SteadyClock::now());
        const std::string part = ReadOnce(fd, std::max(left, 1ms), count - text.size());
        if (part.empty()) break;
        text += part;
    }
    return text;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFileAtomically(const fs::path& path, const std::string& text) {
    const fs::path temporary = path.string() + ".new";
    std::ofstream(temporary, std::ios::binary) << text;
    fs::rename(temporary, path);
}

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "ldt-sim-test-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

// A started simulator and a client on its slave.
struct Rig {
    explicit Rig(MachineSimulatorOptions options) : simulator(std::move(options)) {
        std::string error;
        started = simulator.Start(&error);
        EXPECT_TRUE(started) << error;
        if (started) client = OpenClient(simulator.SlavePath());
        EXPECT_GE(client.Get(), 0);
    }
    MachineSimulator simulator;
    bool started = false;
    UniqueFd client;
};

MachineSimulatorOptions WithMode(SimulatorMode mode, std::chrono::milliseconds delay = 100ms) {
    MachineSimulatorOptions options;
    options.mode = mode;
    options.delay = delay;
    return options;
}

// Normal and Zero answer at once with their whole reply.
TEST(MachineSimulator, NormalAndZeroAnswerWithTheirWholeReply) {
    for (const auto& [mode, reply] : {std::pair{SimulatorMode::Normal, MachineSimulator::DefaultReply()},
                                      std::pair{SimulatorMode::Zero, MachineSimulator::ZeroReply()}}) {
        SCOPED_TRACE(ldt::SimulatorModeName(mode));
        Rig rig(WithMode(mode));
        ASSERT_TRUE(rig.started);
        WriteAll(rig.client.Get(), kQueryX);
        EXPECT_EQ(ReadBytes(rig.client.Get(), reply.size(), 1s), reply);
    }
    // What clients of the canned replies rely on.
    const std::string normal = MachineSimulator::DefaultReply(), zero = MachineSimulator::ZeroReply();
    EXPECT_EQ(std::count(normal.begin(), normal.end(), ','), 17);
    EXPECT_EQ(normal.back(), ',');
    EXPECT_LT(zero.find('\0'), zero.find(','));
}

TEST(MachineSimulator, FindsQueriesInTheByteStreamAndCountsThem) {
    TempDir dir;
    MachineSimulatorOptions options = WithMode(SimulatorMode::Silent);
    options.logPath = (dir.Path() / "queries.log").string();
    Rig rig(options);
    ASSERT_TRUE(rig.started);

    const int fd = rig.client.Get();
    WriteAll(fd, "noise\x1A\x1A" + kQueryY + "\x1A\x24\x69\x34Z" + kQueryX);
    WriteAll(fd, kQueryY.substr(0, 2));  // a query in two writes
    std::this_thread::sleep_for(20ms);
    WriteAll(fd, kQueryY.substr(2) + kQueryX.substr(0, 4) + "x" + kQueryY);

    ASSERT_TRUE(rig.simulator.WaitForQueries(4, 1s));
    EXPECT_EQ(rig.simulator.QueryCountX(), 1u);
    EXPECT_EQ(rig.simulator.QueryCountY(), 3u);
    EXPECT_EQ(ReadFile(options.logPath), "Y\nX\nY\nY\n");
}

TEST(MachineSimulator, SilentNeverAnswers) {
    Rig rig(WithMode(SimulatorMode::Silent));
    ASSERT_TRUE(rig.started);
    WriteAll(rig.client.Get(), kQueryX);
    EXPECT_EQ(ReadOnce(rig.client.Get(), 300ms), "");
    EXPECT_EQ(rig.simulator.QueryCountX(), 1u);
}

TEST(MachineSimulator, LateAnswersAfterTheDelay) {
    Rig rig(WithMode(SimulatorMode::Late, 150ms));
    ASSERT_TRUE(rig.started);
    rig.simulator.SetReply("late,");
    const auto start = SteadyClock::now();
    WriteAll(rig.client.Get(), kQueryX);
    EXPECT_EQ(ReadOnce(rig.client.Get(), 80ms), "");
    EXPECT_EQ(ReadBytes(rig.client.Get(), 5, 1s), "late,");
    EXPECT_GE(SteadyClock::now() - start, 120ms);
}

TEST(MachineSimulator, SplitArrivesInTwoReads) {
    Rig rig(WithMode(SimulatorMode::Split, 100ms));
    ASSERT_TRUE(rig.started);
    WriteAll(rig.client.Get(), kQueryY);
    const std::string first = ReadOnce(rig.client.Get(), 1s);
    const std::string second = ReadOnce(rig.client.Get(), 1s);
    const std::string reply = MachineSimulator::DefaultReply();
    EXPECT_EQ(first, reply.substr(0, reply.size() / 2));
    EXPECT_EQ(first + second, reply);
}

TEST(MachineSimulator, LongReplyExceedsOneRead) {
    Rig rig(WithMode(SimulatorMode::Long));
    ASSERT_TRUE(rig.started);
    const std::string reply = MachineSimulator::LongReply();
    ASSERT_EQ(reply.size(), 300u);
    EXPECT_EQ(reply[255], ',');

    WriteAll(rig.client.Get(), kQueryX);
    std::this_thread::sleep_for(50ms);  // as the tool does
    const std::string first = ReadOnce(rig.client.Get(), 1s, 256);
    EXPECT_EQ(first, reply.substr(0, 256));
    EXPECT_EQ(ReadBytes(rig.client.Get(), 44, 1s), reply.substr(256));
}

TEST(MachineSimulator, HangupLooksLikeAnUnpluggedDevice) {
    TempDir dir;
    MachineSimulatorOptions options = WithMode(SimulatorMode::Hangup);
    options.linkPath = (dir.Path() / "korva1").string();
    Rig rig(options);
    ASSERT_TRUE(rig.started);
    ASSERT_TRUE(fs::is_symlink(options.linkPath));

    WriteAll(rig.client.Get(), kQueryX);
    pollfd p{rig.client.Get(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    char byte;
    const ssize_t n = ::read(rig.client.Get(), &byte, 1);
    EXPECT_TRUE(n == 0 || (n < 0 && errno == EIO)) << n << " " << errno;
    EXPECT_EQ(rig.simulator.QueryCountX(), 1u);
    for (int i = 0; i < 100 && fs::exists(fs::symlink_status(options.linkPath)); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(fs::exists(fs::symlink_status(options.linkPath)));
    rig.simulator.Stop();
}

TEST(MachineSimulator, ReplyAndModeChangeWhileServing) {
    Rig rig(WithMode(SimulatorMode::Normal));
    ASSERT_TRUE(rig.started);
    const int fd = rig.client.Get();

    rig.simulator.SetReply("A,B,");
    WriteAll(fd, kQueryX);
    EXPECT_EQ(ReadBytes(fd, 4, 1s), "A,B,");

    rig.simulator.SetReply("C,");
    WriteAll(fd, kQueryY);
    EXPECT_EQ(ReadBytes(fd, 2, 1s), "C,");

    rig.simulator.SetMode(SimulatorMode::Silent);
    WriteAll(fd, kQueryX);
    ASSERT_TRUE(rig.simulator.WaitForQueries(3, 1s));
    EXPECT_EQ(ReadOnce(fd, 50ms), "");

    rig.simulator.SetMode(SimulatorMode::Late);
    rig.simulator.SetDelay(10ms);
    WriteAll(fd, kQueryX);
    EXPECT_EQ(ReadBytes(fd, 2, 1s), "C,");
}

TEST(MachineSimulator, ReplyFileIsReadAtEachQuery) {
    TempDir dir;
    const fs::path file = dir.Path() / "reply.txt";
    MachineSimulatorOptions options;
    options.reply = "fallback,";
    options.replyFile = file.string();
    Rig rig(options);
    ASSERT_TRUE(rig.started);
    const int fd = rig.client.Get();

    WriteAll(fd, kQueryX);  // no file yet
    EXPECT_EQ(ReadBytes(fd, 9, 1s), "fallback,");

    WriteFileAtomically(file, "one,two,");
    WriteAll(fd, kQueryX);
    EXPECT_EQ(ReadBytes(fd, 8, 1s), "one,two,");

    WriteFileAtomically(file, std::string("x\0y,", 4));
    WriteAll(fd, kQueryX);
    EXPECT_EQ(ReadBytes(fd, 4, 1s), std::string("x\0y,", 4));

    // Something other than a regular file is not read (a FIFO would block).
    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    WriteAll(fd, kQueryX);
    EXPECT_EQ(ReadBytes(fd, 9, 1s), "fallback,");
}

TEST(MachineSimulator, PadFillsEveryReplyTo256Bytes) {
    MachineSimulatorOptions options;
    options.pad = true;
    Rig rig(options);
    ASSERT_TRUE(rig.started);
    const int fd = rig.client.Get();

    WriteAll(fd, kQueryX);
    std::string reply = ReadBytes(fd, 256, 1s);
    ASSERT_EQ(reply.size(), 256u);
    EXPECT_EQ(ReadOnce(fd, 100ms), "");
    const std::string text = MachineSimulator::DefaultReply();
    EXPECT_EQ(reply.substr(0, text.size()), text);
    EXPECT_EQ(reply.substr(text.size()), std::string(256 - text.size(), '\0'));

    rig.simulator.SetReply("");
    WriteAll(fd, kQueryY);
    EXPECT_EQ(ReadBytes(fd, 256, 1s), std::string(256, '\0'));
}

TEST(MachineSimulator, LinkReplacesAStaleLinkButNothingElse) {
    TempDir dir;
    const fs::path link = dir.Path() / "korva1";
    fs::create_symlink("/nonexistent", link);
    {
        MachineSimulatorOptions options;
        options.linkPath = link.string();
        MachineSimulator simulator(options);
        ASSERT_TRUE(simulator.Start());
        EXPECT_EQ(fs::read_symlink(link), simulator.SlavePath());
        UniqueFd client = OpenClient(link.string());
        ASSERT_GE(client.Get(), 0);
        WriteAll(client.Get(), kQueryX);
        EXPECT_EQ(ReadBytes(client.Get(), 4, 1s), MachineSimulator::DefaultReply().substr(0, 4));
        simulator.Stop();
        EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    }

    std::ofstream(link) << "keep";
    MachineSimulatorOptions options;
    options.linkPath = link.string();
    MachineSimulator simulator(options);
    std::string error;
    EXPECT_FALSE(simulator.Start(&error));
    EXPECT_NE(error.find("not a symlink"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(link), "keep");
}

// A stop that waited for the reply would take the 10 s delay, or hang on the
// stalled write; the bound is loose so that a slow machine does not fail it.
TEST(MachineSimulator, StopIsPromptWhileWaitingOrBlocked) {
    const auto kPrompt = 3s;
    {
        Rig rig(WithMode(SimulatorMode::Late, 10s));
        ASSERT_TRUE(rig.started);
        WriteAll(rig.client.Get(), kQueryX);
        ASSERT_TRUE(rig.simulator.WaitForQueries(1, 1s));
        const auto start = SteadyClock::now();
        rig.simulator.Stop();
        EXPECT_LT(SteadyClock::now() - start, kPrompt);
    }
    {
        // The client never reads: the replies fill the pty and writing stalls.
        Rig rig(WithMode(SimulatorMode::Long));
        ASSERT_TRUE(rig.started);
        ::fcntl(rig.client.Get(), F_SETFL, O_NONBLOCK);
        std::string queries;
        for (int i = 0; i < 400; ++i) queries += kQueryX;
        for (std::size_t done = 0; done < queries.size();) {
            const ssize_t n = ::write(rig.client.Get(), queries.data() + done, queries.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        std::this_thread::sleep_for(100ms);
        const auto start = SteadyClock::now();
        rig.simulator.Stop();
        EXPECT_LT(SteadyClock::now() - start, kPrompt);
    }
}

TEST(MachineSimulator, StartOnlyOnce) {
    MachineSimulator simulator;
    EXPECT_EQ(simulator.SlavePath(), "");
    ASSERT_TRUE(simulator.Start());
    std::string error;
    EXPECT_FALSE(simulator.Start(&error));
    EXPECT_EQ(error, "already started");
    simulator.Stop();
    simulator.Stop();
}

TEST(SimulatorMode, NamesRoundTrip) {
    for (const char* name : {"normal", "silent", "late", "split", "zero", "long", "hangup"}) {
        SimulatorMode mode = SimulatorMode::Normal;
        ASSERT_TRUE(ldt::ParseSimulatorMode(name, mode)) << name;
        EXPECT_STREQ(ldt::SimulatorModeName(mode), name);
    }
    SimulatorMode mode;
    EXPECT_FALSE(ldt::ParseSimulatorMode("loud", mode));
}

#ifdef LDT_MACHINE_SIM_EXE

// The CLI, run as a child process with its standard output on a pipe.
class Cli {
public:
    explicit Cli(const std::vector<std::string>& arguments, bool quiet = false) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        out_ = UniqueFd(fds[0]);
        UniqueFd writeEnd(fds[1]);
        std::vector<std::string> args = {LDT_MACHINE_SIM_EXE};
        args.insert(args.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
        if (quiet) posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Cli() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    bool Running() const { return pid_ > 0; }
    void Signal(int signal) const { ::kill(pid_, signal); }

    // The first line of standard output, without its newline.
    std::string FirstLine() {
        std::string text;
        while (text.find('\n') == std::string::npos) {
            const std::string part = ReadOnce(out_.Get(), 5s);
            if (part.empty()) break;
            text += part;
        }
        return text.substr(0, text.find('\n'));
    }

    // Exit code, or -1 when the process does not end in time.
    int Wait(std::chrono::milliseconds timeout) {
        const auto end = SteadyClock::now() + timeout;
        while (SteadyClock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(5ms);
        }
        return -1;
    }

private:
    UniqueFd out_;
    pid_t pid_ = -1;
};

TEST(MachineSimulatorCli, ServesUntilSigtermThenCleansUp) {
    TempDir dir;
    const fs::path link = dir.Path() / "korva1";
    const fs::path log = dir.Path() / "queries.log";
    const fs::path replyFile = dir.Path() / "reply.txt";
    WriteFileAtomically(replyFile, "1,2,");
    Cli cli({"--reply-file", replyFile.string(), "--link", link.string(), "--log=" + log.string(), "--pad"});
    ASSERT_TRUE(cli.Running());

    const std::string slave = cli.FirstLine();
    ASSERT_EQ(slave.rfind("/dev/pts/", 0), 0u) << slave;
    EXPECT_EQ(fs::read_symlink(link), slave);

    UniqueFd client = OpenClient(link.string());
    ASSERT_GE(client.Get(), 0);
    WriteAll(client.Get(), kQueryY);
    EXPECT_EQ(ReadBytes(client.Get(), 256, 2s), "1,2," + std::string(252, '\0'));
    WriteFileAtomically(replyFile, "3,");
    WriteAll(client.Get(), kQueryX);
    EXPECT_EQ(ReadBytes(client.Get(), 2, 2s), "3,");
    EXPECT_EQ(ReadFile(log), "Y\nX\n");

    cli.Signal(SIGTERM);
    EXPECT_EQ(cli.Wait(3s), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(MachineSimulatorCli, HangupThenSigintExitsCleanly) {
    Cli cli({"--mode", "hangup"});
    ASSERT_TRUE(cli.Running());
    UniqueFd client = OpenClient(cli.FirstLine());
    ASSERT_GE(client.Get(), 0);
    WriteAll(client.Get(), kQueryX);
    pollfd p{client.Get(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 2000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);

    std::this_thread::sleep_for(20ms);
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(3s), 0);
}

TEST(MachineSimulatorCli, RejectsBadArguments) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--mode", "loud"}, {"--delay", "-5"}, {"--link"}, {"--frobnicate"},
          {"--device", "/dev/null", "--link", "/tmp/x"}}) {
        Cli cli(args, true);
        ASSERT_TRUE(cli.Running());
        EXPECT_EQ(cli.Wait(3s), 2) << args[0];
    }
    Cli help({"--help"});
    EXPECT_NE(help.FirstLine().find("Usage: ldt-machine-sim"), std::string::npos);
    EXPECT_EQ(help.Wait(3s), 0);
}

// A raw pty pair standing in for a device node: the simulator serves the
// slave, the test plays the host on the master.
struct PtyDevice {
    PtyDevice() : master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        termios tio{};
        char name[64];
        if (!master.Valid() || ::grantpt(master.Get()) != 0 || ::unlockpt(master.Get()) != 0 ||
            ::ptsname_r(master.Get(), name, sizeof name) != 0 || ::tcgetattr(master.Get(), &tio) != 0)
            return;
        ::cfmakeraw(&tio);
        if (::tcsetattr(master.Get(), TCSANOW, &tio) == 0) slave = name;
    }
    UniqueFd master;
    std::string slave;
};

// --device: waits for the path to open, says so on each open, and after the
// device fails (here a hang-up) opens it again and serves the new one.
TEST(MachineSimulatorCli, DeviceIsAwaitedServedAndReopenedAfterItFails) {
    TempDir dir;
    const fs::path node = dir.Path() / "g_printer0";
    Cli cli({"--device", node.string()}, true);
    ASSERT_TRUE(cli.Running());
    std::this_thread::sleep_for(100ms);  // it waits for a path that is not there yet

    PtyDevice first;
    ASSERT_FALSE(first.slave.empty());
    fs::create_symlink(first.slave, node);
    EXPECT_EQ(cli.FirstLine(), node.string());
    WriteAll(first.master.Get(), kQueryX);
    EXPECT_EQ(ReadBytes(first.master.Get(), MachineSimulator::DefaultReply().size(), 2s), MachineSimulator::DefaultReply());

    first.master.Reset();  // the device fails; its path now leads elsewhere
    PtyDevice second;
    ASSERT_FALSE(second.slave.empty());
    fs::remove(node);
    fs::create_symlink(second.slave, node);
    EXPECT_EQ(cli.FirstLine(), node.string());
    WriteAll(second.master.Get(), kQueryY);
    EXPECT_EQ(ReadBytes(second.master.Get(), MachineSimulator::DefaultReply().size(), 2s), MachineSimulator::DefaultReply());

    cli.Signal(SIGTERM);
    EXPECT_EQ(cli.Wait(3s), 0);
}

#endif  // LDT_MACHINE_SIM_EXE

}  // namespace

// ldt-machine-sim: serves a simulated laser machine on a pseudo-terminal,
// or on a character device such as a USB printer gadget, until SIGTERM or
// SIGINT.
//
// The process forks: the child calls setsid() and makes the pty its own
// controlling terminal, so that no other session (Wine's server in
// particular) adopts it; the parent stays where it was started, forwards
// termination signals and exits with the child's status. The pid a caller
// knows therefore keeps working with kill, and the child follows a parent
// that dies.

#include "machine-sim/MachineSimulator.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>

namespace {

constexpr int kUsageError = 2;
constexpr long kMaxDelayMs = 600000;
constexpr time_t kChildExitGraceSeconds = 5;

const char kUsage[] =
    "Usage: ldt-machine-sim [OPTION]...\n"
    "Simulates the laser machine on a pseudo-terminal. Prints the slave's path as\n"
    "the first line of standard output, then answers queries until SIGTERM or\n"
    "SIGINT, removes the link and exits 0. With --device it serves that character\n"
    "device instead (e.g. a USB printer gadget's /dev/g_printer0) and prints its\n"
    "path each time it has opened it; while it cannot be opened, or after it\n"
    "failed (unplugged), it tries again.\n"
    "\n"
    "  --mode MODE        normal (default), silent, late, split, zero, long, hangup\n"
    "  --delay MS         delay for late and split (default 200)\n"
    "  --reply TEXT       reply text (default: seventeen sample fields)\n"
    "  --reply-file FILE  read at each query; while it is a readable regular file\n"
    "                     its bytes are the reply (replace it by rename to change it)\n"
    "  --pad              pad every reply with zero bytes up to 256 (for Wine)\n"
    "  --link PATH        symlink to the slave, e.g. $WINEPREFIX/dosdevices/korva1\n"
    "  --device PATH      serve this character device instead of a pty\n"
    "  --log FILE         append a line \"X\" or \"Y\" per query\n"
    "  --help             show this text\n";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "ldt-machine-sim: %s\n%s", message.c_str(), kUsage);
    return kUsageError;
}

bool ParseDelay(const std::string& text, std::chrono::milliseconds& delay) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (errno != 0 || value > kMaxDelayMs) return false;
    delay = std::chrono::milliseconds(value);
    return true;
}

// Fills `options`; returns -1 to go on, else the exit code.
int ParseArguments(int argc, char** argv, ldt::MachineSimulatorOptions& options) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool hasValue = false;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        if (name == "--help" && !hasValue) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (name == "--pad" && !hasValue) {
            options.pad = true;
            continue;
        }
        if (name != "--mode" && name != "--delay" && name != "--reply" && name != "--reply-file" &&
            name != "--link" && name != "--log" && name != "--device")
            return UsageError("unknown option " + name);
        if (!hasValue) {
            if (i + 1 >= argc) return UsageError(name + " needs a value");
            value = argv[++i];
        }
        if (name == "--mode") {
            if (!ldt::ParseSimulatorMode(value, options.mode)) return UsageError("unknown mode " + value);
        } else if (name == "--delay") {
            if (!ParseDelay(value, options.delay)) return UsageError("bad delay " + value);
        } else if (name == "--reply") {
            options.reply = value;
        } else if (name == "--reply-file") {
            options.replyFile = value;
        } else if (name == "--link") {
            options.linkPath = value;
        } else if (name == "--device") {
            if (value.empty()) return UsageError("--device needs a path");
            options.devicePath = value;
        } else {
            options.logPath = value;
        }
    }
    if (!options.devicePath.empty() && !options.linkPath.empty())
        return UsageError("--link and --device exclude each other");
    return -1;
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
}

// Child: own session, serve, wait for SIGTERM or SIGINT, clean up.
int RunSimulator(ldt::MachineSimulatorOptions options, pid_t parent) {
    // Closing the pty (hang-up mode, or at exit) sends SIGHUP to its session.
    ::signal(SIGHUP, SIG_IGN);
    if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent) return 1;
    if (::setsid() < 0) {
        std::perror("ldt-machine-sim: setsid");
        return 1;
    }
    const bool device = !options.devicePath.empty();
    options.controllingTerminal = !device;
    if (device) {
        options.onDeviceOpen = [path = options.devicePath] {
            std::printf("%s\n", path.c_str());
            std::fflush(stdout);
        };
    }

    ldt::MachineSimulator simulator(std::move(options));
    std::string error;
    if (!simulator.Start(&error)) {
        std::fprintf(stderr, "ldt-machine-sim: %s\n", error.c_str());
        return 1;
    }
    if (!device) {
        std::printf("%s\n", simulator.SlavePath().c_str());
        std::fflush(stdout);
    }

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    int received = 0;
    while (sigwait(&stopSignals, &received) != 0) {
    }
    simulator.Stop();
    return 0;
}

// Parent: forward termination signals to the child until it exits. A child
// that has not exited some seconds after being told is killed.
int RelayUntilChildExits(pid_t child, const sigset_t& signals) {
    bool told = false;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) return ExitCodeOf(status);
        if (done < 0 && errno != EINTR) return 1;

        const timespec grace{kChildExitGraceSeconds, 0};
        const int signal = told ? ::sigtimedwait(&signals, nullptr, &grace) : ::sigwaitinfo(&signals, nullptr);
        if (signal < 0 && errno == EAGAIN) {
            ::kill(child, SIGKILL);
        } else if (signal == SIGTERM || signal == SIGINT || signal == SIGHUP) {
            ::kill(child, signal == SIGINT ? SIGINT : SIGTERM);
            told = true;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    ldt::MachineSimulatorOptions options;
    if (const int code = ParseArguments(argc, argv, options); code >= 0) return code;

    // A stdout closed by the caller must not kill us before we clean up.
    ::signal(SIGPIPE, SIG_IGN);

    // Blocked before the fork (and so before any thread starts): both
    // processes take them with sigwait.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    sigaddset(&signals, SIGCHLD);
    sigprocmask(SIG_BLOCK, &signals, nullptr);

    const pid_t parent = ::getpid();
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("ldt-machine-sim: fork");
        return 1;
    }
    if (child == 0) return RunSimulator(std::move(options), parent);
    return RelayUntilChildExits(child, signals);
}

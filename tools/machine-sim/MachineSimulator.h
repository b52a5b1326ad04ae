#pragma once
// A simulated laser machine on a pseudo-terminal, for tests and demos
// (Linux only). Clients open SlavePath() (or the optional symlink), write a
// five-byte query and read the reply; the server runs on its own thread.
// It can serve an existing character device instead (a USB printer
// gadget's /dev/g_printerN): it reads the queries from it and writes the
// replies to it.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ldt {

// How the simulated machine answers a query.
enum class SimulatorMode {
    Normal,  // the reply text at once
    Silent,  // never answers
    Late,    // the reply text after the delay
    Split,   // the first half of the reply, the delay, then the rest
    Zero,    // ZeroReply(): a zero byte inside the text
    Long,    // LongReply(): more than 256 bytes
    Hangup,  // on the first query the device goes away (POLLHUP / EIO)
};

// "normal", "silent", "late", "split", "zero", "long", "hangup".
bool ParseSimulatorMode(const std::string& name, SimulatorMode& mode);
const char* SimulatorModeName(SimulatorMode mode);

struct MachineSimulatorOptions {
    SimulatorMode mode = SimulatorMode::Normal;
    std::chrono::milliseconds delay{200};  // Late and Split
    std::optional<std::string> reply;      // reply text; unset: DefaultReply()
    // Read again at each query; while it is a readable regular file its
    // bytes replace the reply text.
    std::string replyFile;
    bool pad = false;      // pad every reply with zero bytes up to 256
    std::string linkPath;  // symlink to the slave, removed on Stop()
    std::string logPath;   // one line "X" or "Y" appended per query
    // Serve this character device instead of a pty (no link, no
    // controlling terminal). While it cannot be opened (a gadget that is
    // unplugged fails with ENODEV) the server tries again every few tens of
    // milliseconds; when it fails or hangs up, the server closes it and
    // opens it again, because a descriptor opened before an unplug receives
    // nothing after the next plug-in.
    std::string devicePath;
    // Called on the server thread each time the device has been opened.
    std::function<void()> onDeviceOpen;
    // Make the pty the controlling terminal of the caller's session
    // (TIOCSCTTY). The caller must already be a session leader without one;
    // the CLI calls setsid() first. Never set it from tests in-process.
    bool controllingTerminal = false;
};

class MachineSimulator {
public:
    static constexpr std::size_t kReplyBytes = 256;  // what a client reads at most

    // Seventeen plausible comma-terminated fields.
    static std::string DefaultReply();
    // "abc", a zero byte, "def," (8 bytes).
    static std::string ZeroReply();
    // 300 bytes: fields "000," to "074,"; the first 256 bytes end on a comma.
    static std::string LongReply();

    explicit MachineSimulator(MachineSimulatorOptions options = {});
    ~MachineSimulator();  // stops
    MachineSimulator(const MachineSimulator&) = delete;
    MachineSimulator& operator=(const MachineSimulator&) = delete;

    // Opens the pty, creates the link and log, starts serving. Only once per
    // object. On failure returns false, describes why in `error` and leaves
    // nothing behind.
    bool Start(std::string* error = nullptr);
    // Stops the server thread promptly, closes the pty, removes the link.
    // Idempotent.
    void Stop();

    // The slave's path, e.g. "/dev/pts/7", or the device path; empty before
    // Start().
    const std::string& SlavePath() const;

    // Changeable while serving; take effect at the next query.
    void SetReply(std::string text);
    void SetMode(SimulatorMode mode);
    void SetDelay(std::chrono::milliseconds delay);

    // Queries seen so far, by variant.
    std::size_t QueryCountX() const;
    std::size_t QueryCountY() const;
    // Waits until X + Y queries reach `total`; false on time-out.
    bool WaitForQueries(std::size_t total, std::chrono::milliseconds timeout) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ldt

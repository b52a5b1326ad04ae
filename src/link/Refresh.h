#pragma once
// The refresh: forget, find the channels, query them all at once, parse the
// replies in port order.

#include "link/PortDiscovery.h"
#include "machine/MachineData.h"
#include "seams/Clock.h"
#include "seams/Messages.h"
#include "seams/Prompts.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ldt {

using QueryCommand = std::array<std::uint8_t, 5>;
constexpr QueryCommand QueryCommandX = {0x1A, 0x24, 0x69, 0x34, 0x58};  // every enumerated port
constexpr QueryCommand QueryCommandY = {0x1A, 0x24, 0x69, 0x34, 0x59};  // the fallback device

constexpr unsigned kReplyPauseMs = 50;
constexpr std::size_t kReplyBytes = 256;

struct LinkServices {
    DeviceBus& bus;
    Clock& clock;
    const CodePage& codePage;
    Prompts& prompts;
};

// What one channel did in a refresh.
struct PortOutcome {
    WString path;            // as listed (without the backslash OpenPort adds); empty for an empty slot
    bool opened = false;
    bool answered = false;   // its read brought at least one byte
    std::size_t written = 0;   // bytes of the query the device took
    std::size_t received = 0;  // bytes its read brought
    WString reason, remedy;  // why it did not open (see OpenResult)
    DeviceIdentity identity;   // the device behind the interface, as the bus tells it
    std::string reply;         // the bytes its read brought, as they came (at most kReplyBytes)
    unsigned elapsedMs = 0;    // from the query's write to the end of the reads of its batch
};

struct RefreshOutcome {
    // No printer-class interface and neither fallback name opened: the case
    // of the no-connection message.
    bool noConnection = false;
    // Every channel tried, in port order (the fallback device, when used,
    // as the only one).
    std::vector<PortOutcome> ports;
    // The fallback names, when they were tried (no interface was listed).
    std::vector<FallbackTry> fallback;
    // Printer-class interfaces present without a port (see DeviceBus), and
    // how many there are in all, the ones the bus did not list included.
    std::vector<PortlessInterface> portless;
    std::size_t portlessCount = 0;
};

// Whether a refresh may show the no-connection box: a refresh the user
// asked for does; one the program runs by itself (a device came or went)
// stays silent.
enum class RefreshKind { Requested, Automatic };

// A reply's text: its bytes up to the first zero byte, converted.
WString ReplyText(const std::string& reply, const CodePage& codePage);

// The exchange over a batch of open devices: drops what they sent before
// and nobody read (a few milliseconds' wait), writes `command` to all of
// them, pauses 50 ms once, then reads each once (at most 256 bytes) within
// one shared deadline, the bus's bound (kBusBoundMs). Each reply is cut at
// its first zero byte, converted and parsed into `data` in the order of
// `devices`, so the result is what querying them one after another gives.
// Notes in ports[i] what devices[i] did: the bytes it took and brought, the
// reply, and the time the exchange took. The devices stay open; the
// caller's owners close them.
void ExchangeQuery(const std::vector<Device*>& devices, const std::vector<PortOutcome*>& ports,
                   const QueryCommand& command, MachineData& data, const LinkServices& services);

// The whole refresh. Shows at most one message box (no channel at all, and
// only for a requested refresh); that box names the printer-class
// interfaces present without a port, if any, and what to do about them.
RefreshOutcome RefreshMachineData(MachineLink& link, MachineData& data, const LinkServices& services,
                                  RefreshKind kind = RefreshKind::Requested);

// When ports were found but none of them opened: one paragraph per port
// naming it, the system's reason and the remedy. Empty otherwise.
WString UnopenedPortsText(const RefreshOutcome& outcome);

}  // namespace ldt

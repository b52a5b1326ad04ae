#pragma once
// The refresh: forget, find the channels, query each, parse the replies.

#include "link/PortDiscovery.h"
#include "machine/MachineData.h"
#include "seams/Clock.h"
#include "seams/Prompts.h"

#include <array>
#include <cstdint>

namespace ldt {

using QueryCommand = std::array<std::uint8_t, 5>;
constexpr QueryCommand QueryCommandX = {0x1A, 0x24, 0x69, 0x34, 0x58};  // every enumerated port
constexpr QueryCommand QueryCommandY = {0x1A, 0x24, 0x69, 0x34, 0x59};  // the fallback device

constexpr unsigned kReplyPauseMs = 50;
constexpr std::size_t kReplyBytes = 256;

extern const char16_t kNoConnectionText[];

struct LinkServices {
    DeviceBus& bus;
    Clock& clock;
    const CodePage& codePage;
    Prompts& prompts;
};

// Zeroes the port table, sets the interface class and empties the data.
void ClearMachineData(MachineLink& link, MachineData& data);

// Writes `command`, pauses 50 ms, reads once (at most 256 bytes), converts
// the bytes up to the first zero and parses them into `data`. Closes the
// device.
void ExchangeQuery(Device device, const QueryCommand& command, MachineData& data,
                   const LinkServices& services);

// The whole refresh. Shows at most one message box (no channel at all).
void RefreshMachineData(MachineLink& link, MachineData& data, const LinkServices& services);

}  // namespace ldt

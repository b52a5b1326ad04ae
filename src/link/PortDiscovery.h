#pragma once
// Finding the channels to the machine: printer-class interfaces, else the
// two fallback device names.

#include "seams/DeviceBus.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ldt {

constexpr std::size_t kPortSlots = 32;
constexpr std::size_t kSlotBytes = 256;
constexpr unsigned kMaxEnumerationIndex = 100;
// The longest path a slot keeps: the rest of the slot is room for the
// backslash OpenPort appends and the terminating zero. A longer path is
// never cut (a cut path opens nothing, or another device); its slot stays
// empty, so it counts as a port that does not open.
constexpr std::size_t kMaxPathChars = kSlotBytes - 2;

// Slot i holds the 8-bit, zero-terminated device path of enumeration index i.
using PortTable = std::array<std::array<char, kSlotBytes>, kPortSlots>;

// The dialog's link state: the table, the count of the last enumeration and
// the interface class it enumerates.
struct MachineLink {
    PortTable portTable{};
    std::int32_t portCount = 0;
    Guid interfaceClass{};
};

// Lists the present interfaces of link.interfaceClass into link.portTable and
// returns the number of enumeration indexes visited (0 to 100), which is also
// stored in link.portCount. Indexes past the last slot count but are not
// stored. When `identities` is given it receives, per slot visited, the
// device behind the interface (empty for slots that were not listed).
std::int32_t EnumeratePrinterPorts(MachineLink& link, DeviceBus& bus,
                                   std::vector<DeviceIdentity>* identities = nullptr);

// One fallback name the probe tried to open.
struct FallbackTry {
    WString name;
    bool opened = false;
    WString reason;  // when it did not open: the system's reason
};

struct FallbackResult {
    enum Kind {
        NoDevice,       // neither name opened
        InvalidHandle,  // only the first name opened (and has been closed)
        Opened,         // the second name opened: `device` holds it
    };
    Kind kind = NoDevice;
    std::unique_ptr<Device> device;
    std::vector<FallbackTry> tried;  // both names, in the order tried
};

extern const char16_t kFallbackName0[];  // "\\.\KORVA0", the write-only probe
extern const char16_t kFallbackName1[];  // "\\.\KORVA1", handed over for the exchange

// Tries both names in order, where the bus has them; else nothing is tried
// (NoDevice, with `tried` empty).
FallbackResult ProbeFallbackDevices(DeviceBus& bus);

// Appends a backslash to slot `slot`'s path in place, converts it with the
// code page and opens it for shared reading and writing. The result holds no
// device when the open failed or the slot is out of range.
OpenResult OpenPort(MachineLink& link, std::size_t slot, DeviceBus& bus, const CodePage& codePage);

// Slot `slot`'s path as wide text: as listed before OpenPort, with the
// backslash after it.
WString SlotPath(const MachineLink& link, std::size_t slot, const CodePage& codePage);

}  // namespace ldt

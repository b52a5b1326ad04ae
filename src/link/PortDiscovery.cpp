#include "link/PortDiscovery.h"

#include <cstring>

namespace ldt {

const char16_t kFallbackName0[] = u"\\\\.\\KORVA0";
const char16_t kFallbackName1[] = u"\\\\.\\KORVA1";

namespace {

void StorePath(std::array<char, kSlotBytes>& slot, const WString& path) {
    std::size_t n = 0;
    for (; n < path.size() && n < kMaxPathChars && path[n] != 0; ++n)
        slot[n] = static_cast<char>(path[n] & 0xFF);
    slot[n] = 0;
}

}  // namespace

std::int32_t EnumeratePrinterPorts(MachineLink& link, DeviceBus& bus) {
    std::int32_t count = 0;
    if (auto set = bus.OpenInterfaceSet(link.interfaceClass)) {
        unsigned i = 0;
        for (; i < kMaxEnumerationIndex; ++i) {
            WString path;
            const InterfaceQuery q = set->Query(i, path);
            if (q == InterfaceQuery::NoMoreItems) break;
            if (q != InterfaceQuery::Ok || i >= kPortSlots) continue;
            StorePath(link.portTable[i], path);
        }
        count = static_cast<std::int32_t>(i);
    }
    link.portCount = count;
    return count;
}

FallbackResult ProbeFallbackDevices(DeviceBus& bus) {
    Device first(bus, bus.Open(kFallbackName0, OpenMode::WriteExclusive));
    Device second(bus, bus.Open(kFallbackName1, OpenMode::ReadWriteExclusive));
    FallbackResult result;
    if (second.Valid()) {
        result.kind = FallbackResult::Opened;
        result.device = std::move(second);
    } else if (first.Valid()) {
        result.kind = FallbackResult::InvalidHandle;
    }
    return result;  // `first` closes here
}

Device OpenPort(MachineLink& link, std::size_t slot, DeviceBus& bus, const CodePage& codePage) {
    if (slot >= kPortSlots) return Device(bus, kInvalidDevice);
    auto& bytes = link.portTable[slot];
    const std::size_t len = strnlen(bytes.data(), kSlotBytes);
    if (len + 1 < kSlotBytes) {
        bytes[len] = '\\';
        bytes[len + 1] = 0;
    }
    const WString path = codePage.ToWide(std::string(bytes.data()));
    return Device(bus, bus.Open(path, OpenMode::ReadWriteShared));
}

}  // namespace ldt

#include "link/PortDiscovery.h"

#include <algorithm>
#include <cstring>

namespace ldt {

const char16_t kFallbackName0[] = u"\\\\.\\KORVA0";
const char16_t kFallbackName1[] = u"\\\\.\\KORVA1";

std::int32_t EnumeratePrinterPorts(MachineLink& link, DeviceBus& bus, std::vector<DeviceIdentity>* identities) {
    if (identities) identities->clear();
    link.portCount = 0;
    if (auto set = bus.OpenInterfaceSet(link.interfaceClass)) {
        unsigned i = 0;
        for (; i < kMaxEnumerationIndex; ++i) {
            WString path;
            const InterfaceQuery q = set->Query(i, path);
            if (q == InterfaceQuery::NoMoreItems) break;
            if (i >= kPortSlots) continue;
            if (identities) identities->push_back(q == InterfaceQuery::Ok ? set->Identify(i) : DeviceIdentity{});
            if (q != InterfaceQuery::Ok) continue;
            // The path up to any zero, stored whole or not at all: a cut path opens nothing, or another device.
            const WString stored = UpToZero(path);
            if (stored.size() > kMaxPathChars) continue;
            std::transform(stored.begin(), stored.end(), link.portTable[i].begin(),
                           [](char16_t c) { return static_cast<char>(c & 0xFF); });
            link.portTable[i][stored.size()] = 0;
        }
        link.portCount = static_cast<std::int32_t>(i);
    }
    return link.portCount;
}

FallbackResult ProbeFallbackDevices(DeviceBus& bus) {
    FallbackResult result;
    if (!bus.HasFallbackNames()) return result;
    OpenResult first = bus.Open(kFallbackName0, OpenMode::WriteExclusive);
    result.tried.push_back({kFallbackName0, first.device != nullptr, std::move(first.reason)});
    OpenResult second = bus.Open(kFallbackName1, OpenMode::ReadWriteExclusive);
    result.tried.push_back({kFallbackName1, second.device != nullptr, std::move(second.reason)});
    result.kind = second.device ? FallbackResult::Opened
                  : first.device ? FallbackResult::InvalidHandle
                                 : FallbackResult::NoDevice;
    result.device = std::move(second.device);
    return result;  // the first device closes here
}

WString SlotPath(const MachineLink& link, std::size_t slot, const CodePage& codePage) {
    if (slot >= kPortSlots) return {};
    const auto& bytes = link.portTable[slot];
    return codePage.ToWide(std::string(bytes.data(), strnlen(bytes.data(), kSlotBytes)));
}

OpenResult OpenPort(MachineLink& link, std::size_t slot, DeviceBus& bus, const CodePage& codePage) {
    if (slot >= kPortSlots) return {};
    auto& bytes = link.portTable[slot];
    const std::size_t len = strnlen(bytes.data(), kSlotBytes);
    if (len + 1 < kSlotBytes) {
        bytes[len] = '\\';
        bytes[len + 1] = 0;
    }
    return bus.Open(SlotPath(link, slot, codePage), OpenMode::ReadWriteShared);
}

}  // namespace ldt

#include "link/Refresh.h"

#include <algorithm>
#include <cstring>

namespace ldt {

const char16_t kNoConnectionText[] =
    u"USB connection is not detected.  Please check the USB connection and USB settings.";

void ClearMachineData(MachineLink& link, MachineData& data) {
    for (auto& slot : link.portTable) slot.fill(0);
    link.interfaceClass = kUsbPrintInterfaceClass;
    data.Clear();
}

void ExchangeQuery(Device device, const QueryCommand& command, MachineData& data,
                   const LinkServices& services) {
    if (!device.Valid()) return;
    DeviceBus& bus = services.bus;
    bus.Write(device.Handle(), command.data(), command.size());
    services.clock.Pause(kReplyPauseMs);
    char buffer[kReplyBytes + 1];
    std::size_t n = bus.Read(device.Handle(), buffer, kReplyBytes);
    n = std::min(n, kReplyBytes);
    buffer[n] = 0;
    ParseReply(data, services.codePage.ToWide(std::string(buffer, strlen(buffer))));
}

void RefreshMachineData(MachineLink& link, MachineData& data, const LinkServices& services) {
    ClearMachineData(link, data);
    const std::int32_t count = EnumeratePrinterPorts(link, services.bus);
    if (count == 0) {
        FallbackResult fallback = ProbeFallbackDevices(services.bus);
        switch (fallback.kind) {
        case FallbackResult::NoDevice:
            services.prompts.ShowError(kNoConnectionText);
            return;
        case FallbackResult::InvalidHandle:
            return;
        case FallbackResult::Opened:
            ExchangeQuery(std::move(fallback.device), QueryCommandY, data, services);
            return;
        }
    }
    const std::size_t ports = std::min<std::size_t>(static_cast<std::size_t>(count), kPortSlots);
    for (std::size_t i = 0; i < ports; ++i) {
        Device port = OpenPort(link, i, services.bus, services.codePage);
        if (port.Valid()) ExchangeQuery(std::move(port), QueryCommandX, data, services);
    }
}

}  // namespace ldt

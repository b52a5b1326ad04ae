#include "link/Refresh.h"

#include "seams/Messages.h"

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

std::vector<ExchangeCounts> ExchangeQuery(const std::vector<Device*>& devices, const QueryCommand& command,
                                          MachineData& data, const LinkServices& services) {
    if (devices.empty()) return {};
    std::vector<DeviceWrite> writes;
    writes.reserve(devices.size());
    for (Device* d : devices) writes.push_back({d});
    services.bus.WriteEach(writes, command.data(), command.size());
    services.clock.Pause(kReplyPauseMs);

    // One buffer per device, each with room for the terminating zero.
    std::vector<std::array<char, kReplyBytes + 1>> buffers(devices.size());
    std::vector<DeviceRead> reads;
    reads.reserve(devices.size());
    for (std::size_t i = 0; i < devices.size(); ++i) reads.push_back({devices[i], buffers[i].data(), kReplyBytes});
    services.bus.ReadEach(reads);

    std::vector<ExchangeCounts> counts;
    for (std::size_t i = 0; i < reads.size(); ++i) {
        const std::size_t n = std::min(reads[i].received, kReplyBytes);
        buffers[i][n] = 0;
        const char* text = buffers[i].data();
        ParseReply(data, services.codePage.ToWide(std::string(text, strlen(text))));
        counts.push_back({std::min(writes[i].written, command.size()), n});
    }
    return counts;
}

namespace {

RefreshOutcome QueryFallback(MachineData& data, const LinkServices& services, RefreshKind kind) {
    RefreshOutcome outcome;
    FallbackResult fallback = ProbeFallbackDevices(services.bus);
    switch (fallback.kind) {
    case FallbackResult::NoDevice:
        outcome.noConnection = true;
        if (kind == RefreshKind::Requested) services.prompts.ShowError(kNoConnectionText);
        break;
    case FallbackResult::InvalidHandle:
        break;
    case FallbackResult::Opened: {
        PortOutcome port;
        port.path = kFallbackName1;
        port.opened = true;
        const ExchangeCounts counts = ExchangeQuery({fallback.device.get()}, QueryCommandY, data, services).at(0);
        port.written = counts.written;
        port.received = counts.received;
        port.answered = counts.received > 0;
        outcome.ports.push_back(std::move(port));
        break;
    }
    }
    return outcome;
}

}  // namespace

RefreshOutcome RefreshMachineData(MachineLink& link, MachineData& data, const LinkServices& services,
                                  RefreshKind kind) {
    ClearMachineData(link, data);
    const std::int32_t count = EnumeratePrinterPorts(link, services.bus);
    if (count == 0) return QueryFallback(data, services, kind);

    RefreshOutcome outcome;
    std::vector<std::unique_ptr<Device>> open;  // closes every port on return
    std::vector<std::size_t> openPorts;         // their places in outcome.ports
    const std::size_t ports = std::min<std::size_t>(static_cast<std::size_t>(count), kPortSlots);
    for (std::size_t i = 0; i < ports; ++i) {
        PortOutcome port;
        port.path = SlotPath(link, i, services.codePage);
        OpenResult result = OpenPort(link, i, services.bus, services.codePage);
        port.opened = result.device != nullptr;
        if (port.opened) {
            open.push_back(std::move(result.device));
            openPorts.push_back(outcome.ports.size());
        } else {
            port.reason = std::move(result.reason);
            port.remedy = std::move(result.remedy);
        }
        outcome.ports.push_back(std::move(port));
    }

    std::vector<Device*> devices;
    for (const auto& d : open) devices.push_back(d.get());
    const std::vector<ExchangeCounts> counts = ExchangeQuery(devices, QueryCommandX, data, services);
    for (std::size_t i = 0; i < counts.size(); ++i) {
        PortOutcome& port = outcome.ports[openPorts[i]];
        port.written = counts[i].written;
        port.received = counts[i].received;
        port.answered = counts[i].received > 0;
    }
    return outcome;
}

WString UnopenedPortsText(const RefreshOutcome& outcome) {
    if (outcome.ports.empty()) return {};
    WString text;
    for (const PortOutcome& port : outcome.ports) {
        if (port.opened) return {};
        if (port.path.empty()) continue;  // a slot whose path could not be listed (or was too long)
        if (!text.empty()) text += u"\n\n";
        text += AddLine(CannotOpen(port.path, port.reason), port.remedy);
    }
    return text;
}

}  // namespace ldt

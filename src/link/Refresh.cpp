#include "link/Refresh.h"

#include "link/Diagnosis.h"
#include "seams/Messages.h"

#include <algorithm>
#include <chrono>

namespace ldt {

WString ReplyText(const std::string& reply, const CodePage& codePage) {
    return codePage.ToWide(UpToZero(reply));
}

// What a device sent before the query and nobody read (the rest of a reply
// that came in pieces or past 256 bytes, or one that came after its reads
// had ended) would be taken for the answer to this query. It is read and
// dropped first: while any device still brings some, a few rounds that
// each wait only for input already on its way. The first round asks only
// whether a device holds anything (a transfer takes one USB frame, 1 ms);
// once one is sending, the rounds wait longer for the rest.
constexpr int kFirstPendingWaitMs = 2;
constexpr int kPendingWaitMs = 5;
constexpr int kPendingRounds = 4;

void ExchangeQuery(const std::vector<Device*>& devices, const std::vector<PortOutcome*>& ports,
                   const QueryCommand& command, MachineData& data, const LinkServices& services) {
    if (devices.empty()) return;
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::array<char, kReplyBytes>> buffers(devices.size());
    const auto oneReadEach = [&] {
        std::vector<DeviceRead> reads;
        for (std::size_t i = 0; i < devices.size(); ++i) reads.push_back({devices[i], buffers[i].data(), kReplyBytes});
        return reads;
    };
    std::vector<DeviceRead> pending = oneReadEach();
    for (int round = 0; round < kPendingRounds; ++round) {
        services.bus.ReadPending(pending, round == 0 ? kFirstPendingWaitMs : kPendingWaitMs);
        if (std::none_of(pending.begin(), pending.end(), [](const DeviceRead& r) { return r.received > 0; })) break;
    }
    std::vector<DeviceWrite> writes;
    for (Device* d : devices) writes.push_back({d});
    services.bus.WriteEach(writes, command.data(), command.size());
    services.clock.Pause(kReplyPauseMs);

    std::vector<DeviceRead> reads = oneReadEach();
    services.bus.ReadEach(reads);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    for (std::size_t i = 0; i < reads.size(); ++i) {
        PortOutcome& port = *ports[i];
        port.reply.assign(buffers[i].data(), std::min(reads[i].received, kReplyBytes));
        ParseReply(data, ReplyText(port.reply, services.codePage));
        port.written = std::min(writes[i].written, command.size());
        port.received = port.reply.size();
        port.answered = port.received > 0;
        port.elapsedMs = static_cast<unsigned>(elapsed.count());
    }
}

RefreshOutcome RefreshMachineData(MachineLink& link, MachineData& data, const LinkServices& services,
                                  RefreshKind kind) {
    for (auto& slot : link.portTable) slot.fill(0);
    link.interfaceClass = kUsbPrintInterfaceClass;
    data.Clear();
    RefreshOutcome outcome;
    outcome.portless = services.bus.FindPortlessInterfaces();
    outcome.portlessCount = outcome.portless.size() + services.bus.PortlessNotListed();
    std::vector<DeviceIdentity> identities;
    const std::int32_t count = EnumeratePrinterPorts(link, services.bus, &identities);
    if (count == 0) {
        FallbackResult fallback = ProbeFallbackDevices(services.bus);
        outcome.fallback = std::move(fallback.tried);
        if (fallback.kind == FallbackResult::NoDevice) {
            outcome.noConnection = true;
            if (kind == RefreshKind::Requested)
                services.prompts.ShowError(kNoConnectionText + PortlessText(outcome.portless, outcome.portlessCount));
        } else if (fallback.kind == FallbackResult::Opened) {
            PortOutcome& port = outcome.ports.emplace_back();
            port.path = kFallbackName1;
            port.opened = true;
            ExchangeQuery({fallback.device.get()}, {&port}, QueryCommandY, data, services);
        }
        return outcome;
    }

    std::vector<std::unique_ptr<Device>> open;  // closes every port on return
    std::vector<Device*> devices;               // the open ones, with their ports
    std::vector<PortOutcome*> exchanged;
    outcome.ports.resize(std::min<std::size_t>(static_cast<std::size_t>(count), kPortSlots));
    for (std::size_t i = 0; i < outcome.ports.size(); ++i) {
        PortOutcome& port = outcome.ports[i];
        port.path = SlotPath(link, i, services.codePage);
        if (i < identities.size()) port.identity = std::move(identities[i]);
        OpenResult result = OpenPort(link, i, services.bus, services.codePage);
        port.opened = result.device != nullptr;
        if (port.opened) {
            devices.push_back(result.device.get());
            exchanged.push_back(&port);
            open.push_back(std::move(result.device));
        } else {
            port.reason = std::move(result.reason);
            port.remedy = std::move(result.remedy);
        }
    }
    ExchangeQuery(devices, exchanged, QueryCommandX, data, services);
    return outcome;
}

WString UnopenedPortsText(const RefreshOutcome& outcome) {
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

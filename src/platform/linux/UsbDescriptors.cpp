#include "platform/linux/UsbDescriptors.h"

namespace ldt {

namespace {

constexpr std::uint8_t kConfigurationType = 2, kInterfaceType = 4, kEndpointType = 5;
constexpr std::uint8_t kBulk = 2;

// One alternate setting being read.
struct Alternate {
    PrinterInterface endpoints;
    bool zeroPacket = false;
};

DescriptorProblem ProblemOf(const Alternate& a) {
    if (!a.endpoints.bulkOut) return a.zeroPacket ? DescriptorProblem::ZeroPacketSize : DescriptorProblem::NoBulkOut;
    if (!a.endpoints.bulkIn) return a.zeroPacket ? DescriptorProblem::ZeroPacketSize : DescriptorProblem::NoBulkIn;
    return DescriptorProblem::None;
}

}  // namespace

PrinterInterfaceParse FindPrinterInterface(const std::uint8_t* bytes, std::size_t size, int configuration,
                                           int number) {
    PrinterInterfaceParse result;
    bool inConfiguration = false;
    std::optional<Alternate> current;  // a printer alternate setting of interface `number` being read
    std::optional<PrinterInterface> best;
    auto close = [&] {
        if (!current) return;
        const DescriptorProblem problem = ProblemOf(*current);
        if (problem == DescriptorProblem::None) {
            if (!best || (best->protocol != 2 && current->endpoints.protocol == 2)) best = current->endpoints;
        } else if (result.problem == DescriptorProblem::NoInterface ||
                   static_cast<int>(problem) > static_cast<int>(result.problem)) {
            // The problem of the setting that came furthest is the one told.
            result.problem = problem;
        }
        current.reset();
    };
    for (std::size_t at = 0; at + 2 <= size;) {
        const std::uint8_t length = bytes[at], type = bytes[at + 1];
        if (length < 2 || length > size - at) break;
        const std::uint8_t* d = bytes + at;
        if (type == kConfigurationType && length >= 9) {
            close();
            inConfiguration = d[5] == configuration;
        } else if (type == kInterfaceType && length >= 9) {
            close();
            if (inConfiguration && d[2] == number && d[5] == 7 && d[6] == 1 && d[7] >= 1 && d[7] <= 3)
                current = Alternate{{d[2], d[3], d[7]}};
        } else if (type == kEndpointType && length >= 7 && current && (d[3] & 3) == kBulk) {
            const std::uint16_t packet = static_cast<std::uint16_t>((d[4] | d[5] << 8) & 0x7ff);
            const bool in = d[2] & 0x80;
            std::uint8_t& address = in ? current->endpoints.bulkIn : current->endpoints.bulkOut;
            if (packet == 0) {
                current->zeroPacket = true;
            } else if (!address) {
                address = d[2];
                (in ? current->endpoints.inPacket : current->endpoints.outPacket) = packet;
            }
        }
        at += length;
    }
    close();
    if (best) {
        result.found = best;
        result.problem = DescriptorProblem::None;
    }
    return result;
}

std::optional<std::string> Parse1284Id(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2) return std::nullopt;
    const std::size_t length = static_cast<std::size_t>(bytes[0]) << 8 | bytes[1];
    if (length < 2 || length > size) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(bytes) + 2, length - 2);
}

}  // namespace ldt

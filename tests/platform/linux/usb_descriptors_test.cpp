#include "platform/linux/UsbDescriptors.h"

#include <gtest/gtest.h>

#include <vector>

using namespace ldt;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Config(std::uint8_t value) { return {9, 2, 0, 0, 1, value, 0, 0x80, 50}; }
Bytes Interface(std::uint8_t number, std::uint8_t alternate, std::uint8_t cls, std::uint8_t protocol) {
    return {9, 4, number, alternate, 2, cls, 1, protocol, 0};
}
Bytes Endpoint(std::uint8_t address, std::uint8_t type, std::uint16_t packet) {
    return {7, 5, address, type, static_cast<std::uint8_t>(packet), static_cast<std::uint8_t>(packet >> 8), 0};
}
Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all = {18, 1, 0, 2, 0, 0, 0, 64, 0x2b, 0x1a, 0x4d, 0x3c, 0, 1, 1, 2, 3, 1};  // device descriptor
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace

// Untrusted descriptors: only a printer interface of the active
// configuration with both bulk endpoints and a packet size is used; every
// other case gives its reason, and cut or looping lengths end the walk.
TEST(UsbDescriptors, printerInterface_foundOrTheReasonWhyNot) {
    const Bytes good = Join({Config(1), Interface(0, 0, 7, 2), Endpoint(0x02, 2, 64), Endpoint(0x81, 2, 64)});
    const struct {
        const char* name;
        Bytes bytes;
        DescriptorProblem problem;
        std::uint8_t alternate, out, in;
    } rows[] = {
        {"plain", good, DescriptorProblem::None, 0, 0x02, 0x81},
        {"bidirectional alternate preferred",
         Join({Config(1), Interface(0, 0, 7, 1), Endpoint(0x01, 2, 64), Endpoint(0x82, 2, 64), Interface(0, 1, 7, 2),
               Endpoint(0x03, 2, 512), Endpoint(0x84, 2, 512)}),
         DescriptorProblem::None, 1, 0x03, 0x84},
        {"other configuration only", Join({Config(2), Interface(0, 0, 7, 2), Endpoint(0x02, 2, 64), Endpoint(0x81, 2, 64)}),
         DescriptorProblem::NoInterface, 0, 0, 0},
        {"another class", Join({Config(1), Interface(0, 0, 3, 2), Endpoint(0x02, 2, 64), Endpoint(0x81, 2, 64)}),
         DescriptorProblem::NoInterface, 0, 0, 0},
        {"one-way printer", Join({Config(1), Interface(0, 0, 7, 1), Endpoint(0x02, 2, 64)}), DescriptorProblem::NoBulkIn, 0, 0, 0},
        {"interrupt, not bulk", Join({Config(1), Interface(0, 0, 7, 2), Endpoint(0x02, 3, 64), Endpoint(0x81, 2, 64)}),
         DescriptorProblem::NoBulkOut, 0, 0, 0},
        {"packet size 0", Join({Config(1), Interface(0, 0, 7, 2), Endpoint(0x02, 2, 0), Endpoint(0x81, 2, 64)}),
         DescriptorProblem::ZeroPacketSize, 0, 0, 0},
        {"cut short", Bytes(good.begin(), good.end() - 3), DescriptorProblem::NoBulkIn, 0, 0, 0},
        {"zero length stops the walk", Join({Config(1), Interface(0, 0, 7, 2), {0, 5}, Endpoint(0x02, 2, 64)}),
         DescriptorProblem::NoBulkOut, 0, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto parse = FindPrinterInterface(row.bytes.data(), row.bytes.size(), 1, 0);
        EXPECT_EQ(parse.problem, row.problem);
        ASSERT_EQ(parse.found.has_value(), row.problem == DescriptorProblem::None);
        if (!parse.found) continue;
        EXPECT_EQ(parse.found->alternate, row.alternate);
        EXPECT_EQ(parse.found->bulkOut, row.out);
        EXPECT_EQ(parse.found->bulkIn, row.in);
        EXPECT_NE(parse.found->inPacket, 0);
    }
}

// The length prefix counts itself and must lie within what came.
TEST(UsbDescriptors, deviceId_lengthPrefixChecked) {
    const Bytes ok = {0, 10, 'M', 'F', 'G', ':', 'A', ';', 'x', 'x', 'j', 'u', 'n', 'k'};
    EXPECT_EQ(Parse1284Id(ok.data(), ok.size()), std::string("MFG:A;xx"));
    for (const Bytes& bad : {Bytes{}, Bytes{0}, Bytes{0, 1, 'A'}, Bytes{0, 9, 'M', 'F', 'G'}, Bytes{0xff, 0xff, 'A'}})
        EXPECT_FALSE(Parse1284Id(bad.data(), bad.size()).has_value());
}

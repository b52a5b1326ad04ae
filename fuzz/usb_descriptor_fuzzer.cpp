// Fuzz target: a device's untrusted descriptors and GET_DEVICE_ID reply
// through the parsers the raw USB route trusts. Input: the configuration
// value, the interface number, then the bytes.

#include "FuzzCheck.h"
#include "platform/linux/UsbDescriptors.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const int configuration = data[0], number = data[1];
    const std::uint8_t* bytes = data + 2;
    const std::size_t length = size - 2;

    const ldt::PrinterInterfaceParse parse = ldt::FindPrinterInterface(bytes, length, configuration, number);
    FUZZ_CHECK(parse.found.has_value() == (parse.problem == ldt::DescriptorProblem::None));
    if (const auto& e = parse.found) {
        // Only a usable pair of the asked interface is ever handed on.
        FUZZ_CHECK(e->number == number);
        FUZZ_CHECK(e->protocol >= 1 && e->protocol <= 3);
        FUZZ_CHECK(e->bulkOut != 0 && !(e->bulkOut & 0x80) && e->outPacket != 0);
        FUZZ_CHECK((e->bulkIn & 0x80) && e->inPacket != 0);
    }

    if (const auto id = ldt::Parse1284Id(bytes, length)) {
        // The text lies within the bytes and matches the prefix it came with.
        FUZZ_CHECK(id->size() + 2 <= length);
        FUZZ_CHECK(id->size() + 2 == (static_cast<std::size_t>(bytes[0]) << 8 | bytes[1]));
    }
    return 0;
}

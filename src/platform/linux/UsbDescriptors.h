#pragma once
// Reading what a USB device says about itself, from bytes alone: its
// descriptors (as sysfs's `descriptors` file holds them) and the reply of
// the printer class's GET_DEVICE_ID request. The bytes come from the device
// and are untrusted: every length is checked against what is there, and a
// value that cannot be used gives a reason instead of a result.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace ldt {

// The endpoints of one printer-class interface (class 7, subclass 1,
// protocol 1-3) that carry an exchange.
struct PrinterInterface {
    std::uint8_t number = 0;      // bInterfaceNumber
    std::uint8_t alternate = 0;   // bAlternateSetting that has the endpoints
    std::uint8_t protocol = 0;    // 1 one-way, 2 bidirectional, 3 IEEE 1284.4
    std::uint8_t bulkOut = 0;     // endpoint addresses (bulkIn has bit 7 set)
    std::uint8_t bulkIn = 0;
    std::uint16_t outPacket = 0;  // wMaxPacketSize of each, never 0
    std::uint16_t inPacket = 0;
};

// Why a printer interface cannot be used.
enum class DescriptorProblem {
    None,
    NoInterface,     // no printer-class interface of that number in the configuration
    NoBulkOut,       // no alternate setting has a bulk OUT endpoint
    NoBulkIn,        // ... a bulk IN endpoint
    ZeroPacketSize,  // its bulk endpoints have a wMaxPacketSize of 0
};

struct PrinterInterfaceParse {
    std::optional<PrinterInterface> found;  // set exactly when problem is None
    DescriptorProblem problem = DescriptorProblem::NoInterface;
};

// Finds interface `number` of configuration `configuration` (its
// bConfigurationValue) in `bytes`: a sequence of descriptors (a device
// descriptor, then one or more configurations with their interfaces and
// endpoints), each beginning with its length and type. Of the interface's
// alternate settings that are printer class, the first with a usable bulk
// OUT and bulk IN endpoint is taken, a bidirectional one (protocol 2) before
// others. Parsing stops at the first descriptor whose length is below 2 or
// runs past the end; what came before it still counts.
PrinterInterfaceParse FindPrinterInterface(const std::uint8_t* bytes, std::size_t size, int configuration,
                                           int number);

// The IEEE 1284 device id in a GET_DEVICE_ID reply of `size` bytes: a
// two-byte big-endian length that counts itself, then the text. A length
// below 2 or beyond the bytes received gives nothing: the reply is
// malformed or was cut short, and a text read past its end could be another
// request's bytes. Bytes after the text are ignored.
std::optional<std::string> Parse1284Id(const std::uint8_t* bytes, std::size_t size);

}  // namespace ldt

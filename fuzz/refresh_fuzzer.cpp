// Fuzz target: the whole refresh through a fake bus whose ports, paths,
// replies and reads come from the input. The result must be what querying
// the ports one after another gives, every device must be closed, and no
// path may be cut or opened twice.
//
// Input, read front to back (missing bytes read as 0):
//   byte 0: bit 0 no interface set; bits 1-2 which fallback names open;
//           bits 3-7 the number of listed interfaces (0-31), plus 8 when
//           byte 1 bit 7 is set
//   per interface: a byte: bits 0-1 the query result (Ok, OtherError,
//           DetailFailed, Ok), bit 2 the device opens, bit 3 the read
//           brings only part of the reply, bit 4 nothing at all;
//           a byte: path length / 2 (longer ones up to 510 characters);
//           a byte: reply length; then that many reply bytes
//   the fallback device's reply: a length byte, then the bytes

#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "fakes/Fakes.h"
#include "link/Refresh.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace {

using namespace ldt;

using Input = FuzzInput;

// What the one-by-one sequence stores from one read: the first 256 bytes,
// up to the first zero byte, parsed.
void OneByOne(MachineData& data, const std::string& read, const CodePage& codePage) {
    std::string text = read.substr(0, kReplyBytes);
    text = text.substr(0, std::strlen(text.c_str()));
    ParseReply(data, codePage.ToWide(text));
}

struct NoClock final : Clock {
    void Pause(unsigned ms) override { paused += ms; }
    unsigned paused = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    Input in(bytes, size);
    fakes::FakeBus bus;
    fakes::Latin1CodePage codePage;
    fakes::FakePrompts prompts;
    NoClock clock;

    const std::uint8_t head = in.Byte();
    const std::uint8_t more = in.Byte();
    bus.giveSet = !(head & 1);
    const unsigned fallback = (head >> 1) & 3;
    const unsigned count = (head >> 3) + ((more & 0x80) ? 8 : 0);

    MachineData expected;
    std::size_t expectedOpens = 0;
    for (unsigned i = 0; i < count; ++i) {
        const std::uint8_t flags = in.Byte();
        const std::size_t length = in.Byte() * 2u;
        const std::size_t replyLength = in.Byte();
        const std::string reply = in.Bytes(replyLength);
        static const InterfaceQuery kResults[] = {InterfaceQuery::Ok, InterfaceQuery::OtherError,
                                                  InterfaceQuery::DetailFailed, InterfaceQuery::Ok};
        const InterfaceQuery result = kResults[flags & 3];
        // Distinct paths: the index first, then filler.
        std::string path = "p" + std::to_string(i) + "-";
        path.resize(std::max(path.size(), length), 'x');
        bus.interfaces.push_back({result, path});
        const bool listed = result == InterfaceQuery::Ok && path.size() <= kMaxPathChars && i < kPortSlots;
        if (!(flags & 4)) continue;
        std::string read = (flags & 16) ? std::string() : (flags & 8) ? reply.substr(0, reply.size() / 2) : reply;
        bus.devices[path + "\\"].replies = {read, reply};  // a second read would see the rest
        if (bus.giveSet && listed) {
            ++expectedOpens;
            OneByOne(expected, read, codePage);
        }
    }
    const std::string fallbackReply = in.Bytes(in.Byte());
    if (fallback & 1) bus.devices["\\\\.\\KORVA0"] = {};
    if (fallback & 2) bus.devices["\\\\.\\KORVA1"].replies = {fallbackReply};
    const bool anyListed = bus.giveSet && count > 0;
    if (!anyListed && (fallback & 2)) OneByOne(expected, fallbackReply, codePage);

    MachineLink link;
    MachineData data;
    const RefreshOutcome outcome = RefreshMachineData(link, data, {bus, clock, codePage, prompts});

    // The data is what one port after another would have given.
    FUZZ_CHECK(data.Count() == expected.Count());
    for (std::size_t i = 0; i < data.Count(); ++i) FUZZ_CHECK(data.At(i) == expected.At(i));
    // Every device was closed; each got at most one write and one read.
    FUZZ_CHECK(bus.open.empty());
    FUZZ_CHECK(bus.writeBatches <= 1 && bus.readBatches <= 1);
    FUZZ_CHECK(bus.writes.size() == bus.readCapacities.size());
    std::set<std::string> written;
    for (const auto& w : bus.writes) FUZZ_CHECK(written.insert(w.first).second);
    for (std::size_t c : bus.readCapacities) FUZZ_CHECK(c == kReplyBytes);
    // Paths are opened whole, with one backslash, never cut.
    for (const auto& o : bus.opens) {
        FUZZ_CHECK(o.path.size() <= kSlotBytes - 1);
        if (o.path.rfind("p", 0) == 0) {
            const std::string listedPath = o.path.substr(0, o.path.size() - 1);
            FUZZ_CHECK(o.path.back() == '\\');
            FUZZ_CHECK(std::any_of(bus.interfaces.begin(), bus.interfaces.end(),
                                   [&](const auto& f) { return f.path == listedPath; }));
        }
    }
    FUZZ_CHECK(anyListed || bus.writes.size() <= 1);
    if (anyListed) FUZZ_CHECK(bus.writes.size() == expectedOpens);
    // One pause, and only when something was asked.
    FUZZ_CHECK(clock.paused == (bus.writes.empty() ? 0u : kReplyPauseMs));
    // The no-connection box exactly when nothing at all was found.
    const bool nothing = !anyListed && !(fallback & 3);
    FUZZ_CHECK(outcome.noConnection == nothing);
    FUZZ_CHECK(prompts.errors.size() == (nothing ? 1u : 0u));
    std::size_t answered = 0;
    for (const PortOutcome& p : outcome.ports) answered += p.answered;
    FUZZ_CHECK(!data.Available() || answered > 0);
    return 0;
}

// Fuzz target: a device reply through the real exchange, parser, report and
// paint, with the device and the window stubbed out.

#include "link/Refresh.h"
#include "machine/Report.h"
#include "platform/linux/Utf8CodePage.h"
#include "ui/DataPanel.h"

#include <cstdlib>
#include <cstring>

namespace {

using namespace ldt;

// Answers every read with the fuzz input, as one transfer.
class InputBus final : public DeviceBus {
    struct InputDevice final : Device {};

public:
    InputBus(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::unique_ptr<InterfaceSet> OpenInterfaceSet(const Guid&) override { return nullptr; }
    OpenResult Open(const WString&, OpenMode) override { return {std::make_unique<InputDevice>(), {}, {}}; }
    void WriteEach(std::vector<DeviceWrite>& writes, const void*, std::size_t size) override {
        for (DeviceWrite& w : writes) w.written = size;
    }
    void ReadPending(std::vector<DeviceRead>& reads, int) override {
        for (DeviceRead& r : reads) r.received = 0;
    }
    void ReadEach(std::vector<DeviceRead>& reads) override {
        for (DeviceRead& r : reads) {
            r.received = size_ < r.capacity ? size_ : r.capacity;
            std::memcpy(r.buffer, data_, r.received);
        }
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

class NoClock final : public Clock {
public:
    void Pause(unsigned) override {}
};

class NoPrompts final : public Prompts {
public:
    void ShowError(const WString&) override {}
    void ShowFileError(const WString&) override {}
    std::optional<WString> AskSavePath() override { return std::nullopt; }
};

class NullCanvas final : public Canvas {
public:
    void CopySkin(int, int, int, int, int, int) override {}
    void SetTextFont(const FontSpec&) override {}
    void SetTextColor(unsigned) override {}
    void DrawString(const Rect&, const WString& text, unsigned) override { drawn += text.size(); }
    void DrawAppIcon(int, int) override {}
    void DrawFocusCue(const Rect&) override {}
    std::size_t drawn = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputBus bus(data, size);
    NoClock clock;
    NoPrompts prompts;
    Utf8CodePage codePage;
    MachineData machine;
    const auto device = bus.Open(u"fuzz", OpenMode::ReadWriteShared).device;
    PortOutcome port;
    ExchangeQuery({device.get()}, {&port}, QueryCommandX, machine, {bus, clock, codePage, prompts});

    // Every stored field came from the first 256 bytes, before any zero byte.
    const std::size_t limit = strnlen(reinterpret_cast<const char*>(data), size < 256 ? size : 256);
    std::size_t stored = 0;
    for (std::size_t i = 0; i < machine.Count(); ++i) stored += machine.At(i).size() + 1;
    if (stored > limit) std::abort();

    const std::string report = BuildReport(machine, codePage);
    if (report.size() < 16 * 2) std::abort();

    NullCanvas canvas;
    PaintDataPanel(canvas, {false, 813, 388, 32, 32}, machine);

    // Decoding is stable: what was decoded encodes and decodes to itself.
    const WString wide = codePage.ToWide(std::string(reinterpret_cast<const char*>(data), size));
    if (codePage.ToWide(codePage.ToAnsi(wide)) != wide) std::abort();
    return 0;
}

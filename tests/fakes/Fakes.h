#pragma once
// Plain fakes of the seams for the core's tests.

#include "seams/Canvas.h"
#include "seams/Clipboard.h"
#include "seams/Clock.h"
#include "seams/CodePage.h"
#include "seams/DeviceBus.h"
#include "seams/HistoryFile.h"
#include "seams/Prompts.h"
#include "seams/ReportFile.h"

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ldt::fakes {

inline std::string Narrow(const WString& s) { return std::string(s.begin(), s.end()); }
inline WString Widen(const std::string& s) { return WString(s.begin(), s.end()); }

// Latin-1: each byte is one code unit; code units above 0xFF become '?'.
class Latin1CodePage final : public CodePage {
public:
    WString ToWide(const std::string& bytes) const override {
        WString out;
        for (unsigned char c : bytes) out.push_back(c);
        return out;
    }
    std::string ToAnsi(const WString& text) const override {
        std::string out;
        for (char16_t c : text) out.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
        return out;
    }
};

class FakeClock final : public Clock {
public:
    void Pause(unsigned ms) override { pauses.push_back(ms); }
    std::vector<unsigned> pauses;
};

class FakePrompts final : public Prompts {
public:
    void ShowError(const WString& text) override { errors.push_back(text); }
    void ShowFileError(const WString& text) override { fileErrors.push_back(text); }
    std::optional<WString> AskSavePath() override {
        ++saveAsked;
        return savePath;
    }
    std::vector<WString> errors, fileErrors;
    std::optional<WString> savePath;
    int saveAsked = 0;
};

// The history's two generations in memory; `failure` makes appends fail.
class FakeHistory final : public HistoryFile {
public:
    WString Append(const std::string& line) override {
        if (!failure.empty()) return failure;
        generations[0] += line;
        return {};
    }
    std::unique_ptr<HistorySource> Open(int generation) override {
        struct Source final : HistorySource {
            std::string bytes;
            std::size_t* read;
            std::uint64_t Size() const override { return bytes.size(); }
            std::string ReadAt(std::uint64_t offset, std::size_t size) override {
                *read += size;
                return bytes.substr(static_cast<std::size_t>(offset), size);
            }
        };
        if (generations[generation].empty()) return nullptr;
        auto source = std::make_unique<Source>();
        source->bytes = generations[generation];
        source->read = &bytesRead;
        return source;
    }
    WString Where() const override { return u"history.jsonl"; }
    std::string generations[2];
    WString failure;
    std::size_t bytesRead = 0;
};

class FakeFiles final : public ReportFileSystem {
public:
    ReportWriteResult WriteWhole(const WString& path, const std::string& bytes) override {
        if (next.status == ReportWriteResult::Written) files[Narrow(path)] = bytes;
        ++writes;
        return next;
    }
    std::map<std::string, std::string> files;
    ReportWriteResult next;
    int writes = 0;
};

class FakeClipboard final : public Clipboard {
public:
    ClipboardResult PutText(const WString& text) override {
        ++puts;
        if (next.copied) content = text;
        return next;
    }
    WString content;
    ClipboardResult next;  // what the next PutText answers
    int puts = 0;
};

// A scripted device bus. Interfaces are listed by index; devices are named
// by path and answer every read with their next scripted reply.
class FakeBus final : public DeviceBus {
public:
    struct Interface {
        Interface(InterfaceQuery r, std::string p, WString wide = {}, DeviceIdentity id = {})
            : result(r), path(std::move(p)), widePath(std::move(wide)), identity(std::move(id)) {}
        InterfaceQuery result;
        std::string path;
        WString widePath;  // used instead of `path` when not empty
        DeviceIdentity identity;  // what Identify tells
    };
    struct DeviceScript {
        std::deque<std::string> replies;  // one per read; none left -> 0 bytes
        WString refusal = {};             // not empty: the device exists but does not open, for this reason
        WString remedy = {};
        bool refusesWrites = false;  // opens, but takes none of the query
        std::deque<std::string> pending = {};  // one per ReadPending: what came before the query
    };
    struct OpenRecord {
        std::string path;
        OpenMode mode;
    };

    bool giveSet = true;
    std::vector<Interface> interfaces;  // past the end -> NoMoreItems
    std::map<std::string, DeviceScript> devices;
    bool reverseCompletion = false;  // ReadEach fills the last read first
    std::vector<PortlessInterface> portless;  // what FindPortlessInterfaces finds
    std::set<std::string> mayReturn;          // the paths PortMayReturn says yes to
    bool fallbackNames = true;                // HasFallbackNames

    // What happened.
    std::vector<unsigned> queried;
    int setsOpened = 0, setsDestroyed = 0;
    std::vector<OpenRecord> opens;
    std::map<const Device*, std::string> open;  // still open
    std::vector<std::string> closed;
    std::vector<std::pair<std::string, std::string>> writes;  // path, bytes
    std::vector<std::size_t> readCapacities;
    int writeBatches = 0, readBatches = 0, pendingBatches = 0;
    std::vector<unsigned> identified;
    std::vector<std::string> askedMayReturn;

    std::vector<PortlessInterface> FindPortlessInterfaces() override { return portless; }
    bool HasFallbackNames() const override { return fallbackNames; }
    bool PortMayReturn(const WString& path) override {
        askedMayReturn.push_back(Narrow(path));
        return mayReturn.count(Narrow(path)) > 0;
    }

    std::unique_ptr<InterfaceSet> OpenInterfaceSet(const Guid& g) override {
        lastClass = g;
        if (!giveSet) return nullptr;
        ++setsOpened;
        return std::make_unique<Set>(*this);
    }
    OpenResult Open(const WString& path, OpenMode mode) override {
        const std::string p = Narrow(path);
        opens.push_back({p, mode});
        OpenResult result;
        const auto it = devices.find(p);
        if (it == devices.end()) {
            result.reason = u"No such file or directory";
        } else if (!it->second.refusal.empty()) {
            result.reason = it->second.refusal;
            result.remedy = it->second.remedy;
        } else {
            result.device = std::make_unique<FakeDevice>(*this, p);
            open[result.device.get()] = p;
        }
        return result;
    }
    void WriteEach(std::vector<DeviceWrite>& batch, const void* data, std::size_t size) override {
        ++writeBatches;
        for (DeviceWrite& w : batch) {
            const std::string& path = open.at(w.device);
            writes.emplace_back(path, std::string(static_cast<const char*>(data), size));
            w.written = devices.at(path).refusesWrites ? 0 : size;
        }
    }
    void ReadPending(std::vector<DeviceRead>& reads, int) override {
        ++pendingBatches;
        for (DeviceRead& r : reads) {
            auto& q = devices.at(open.at(r.device)).pending;
            r.received = q.empty() ? 0 : std::min(q.front().size(), r.capacity);
            if (!q.empty()) q.pop_front();
        }
    }
    void ReadEach(std::vector<DeviceRead>& reads) override {
        ++readBatches;
        for (std::size_t k = 0; k < reads.size(); ++k) {
            DeviceRead& r = reads[reverseCompletion ? reads.size() - 1 - k : k];
            readCapacities.push_back(r.capacity);
            r.received = 0;
            auto& q = devices.at(open.at(r.device)).replies;
            if (q.empty()) continue;
            const std::string reply = q.front();
            q.pop_front();
            r.received = std::min(reply.size(), r.capacity);
            std::copy(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(r.received),
                      static_cast<char*>(r.buffer));
        }
    }
    Guid lastClass{};

private:
    struct FakeDevice final : Device {
        FakeDevice(FakeBus& b, std::string p) : bus(b), path(std::move(p)) {}
        ~FakeDevice() override {
            bus.closed.push_back(path);
            bus.open.erase(this);
        }
        FakeBus& bus;
        std::string path;
    };
    struct Set final : InterfaceSet {
        explicit Set(FakeBus& b) : bus(b) {}
        ~Set() override { ++bus.setsDestroyed; }
        InterfaceQuery Query(unsigned index, WString& path) override {
            bus.queried.push_back(index);
            if (index >= bus.interfaces.size()) return InterfaceQuery::NoMoreItems;
            const Interface& i = bus.interfaces[index];
            if (i.result == InterfaceQuery::Ok) path = i.widePath.empty() ? Widen(i.path) : i.widePath;
            return i.result;
        }
        DeviceIdentity Identify(unsigned index) override {
            bus.identified.push_back(index);
            return index < bus.interfaces.size() ? bus.interfaces[index].identity : DeviceIdentity{};
        }
        FakeBus& bus;
    };
};

struct TextOp {
    std::string text;
    unsigned format;
};

struct Point2 {
    int x, y;
};

// Records what a paint draws, in order.
class RecordingCanvas final : public Canvas {
public:
    struct Op {
        enum Kind { Copy, Font, Text, Icon, Focus, Color } kind;
        Rect rect{};    // Copy: dst x, y, width, height in left..bottom; Text, Focus: rect; Icon: x, y
        Point2 src{};   // Copy: source
        std::string text;
        unsigned format = 0;
    };
    void CopySkin(int dx, int dy, int w, int h, int sx, int sy) override {
        ops.push_back({Op::Copy, {dx, dy, w, h}, {sx, sy}, {}, 0});
    }
    void SetTextFont(const FontSpec& f) override {
        ops.push_back({Op::Font, {f.height, f.width, 0, 0}, {}, {}, 0});
    }
    void DrawString(const Rect& r, const WString& text, unsigned format) override {
        ops.push_back({Op::Text, r, {}, Narrow(text), format});
    }
    void SetTextColor(unsigned rgb) override { ops.push_back({Op::Color, {}, {}, {}, rgb}); }  // format: the colour
    void DrawAppIcon(int x, int y) override { ops.push_back({Op::Icon, {x, y, 0, 0}, {}, {}, 0}); }
    void DrawFocusCue(const Rect& r) override { ops.push_back({Op::Focus, r, {}, {}, 0}); }

    std::vector<TextOp> Texts() const {
        std::vector<TextOp> t;
        for (const Op& op : ops)
            if (op.kind == Op::Text) t.push_back({op.text, op.format});
        return t;
    }
    std::vector<Op> ops;
};

}  // namespace ldt::fakes

#pragma once
// Plain fakes of the seams for the core's tests.

#include "seams/Canvas.h"
#include "seams/Clock.h"
#include "seams/CodePage.h"
#include "seams/DeviceBus.h"
#include "seams/Prompts.h"
#include "seams/ReportFile.h"

#include <deque>
#include <map>
#include <optional>
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

// A scripted device bus. Interfaces are listed by index; devices are named
// by path and answer every read with their next scripted reply.
class FakeBus final : public DeviceBus {
public:
    struct Interface {
        Interface(InterfaceQuery r, std::string p, WString wide = {})
            : result(r), path(std::move(p)), widePath(std::move(wide)) {}
        InterfaceQuery result;
        std::string path;
        WString widePath;  // used instead of `path` when not empty
    };
    struct DeviceScript {
        std::deque<std::string> replies;  // one per read; none left -> 0 bytes
    };
    struct OpenRecord {
        std::string path;
        OpenMode mode;
    };

    bool giveSet = true;
    std::vector<Interface> interfaces;  // past the end -> NoMoreItems
    std::map<std::string, DeviceScript> devices;

    // What happened.
    std::vector<unsigned> queried;
    int setsOpened = 0, setsDestroyed = 0;
    std::vector<OpenRecord> opens;
    std::map<DeviceHandle, std::string> open;  // still open
    std::vector<std::string> closed;
    std::vector<std::pair<std::string, std::string>> writes;  // path, bytes
    std::vector<std::size_t> readCapacities;

    std::unique_ptr<InterfaceSet> OpenInterfaceSet(const Guid& g) override {
        lastClass = g;
        if (!giveSet) return nullptr;
        ++setsOpened;
        return std::make_unique<Set>(*this);
    }
    DeviceHandle Open(const WString& path, OpenMode mode) override {
        const std::string p = Narrow(path);
        opens.push_back({p, mode});
        if (!devices.count(p)) return kInvalidDevice;
        const DeviceHandle h = nextHandle++;
        open[h] = p;
        return h;
    }
    void Write(DeviceHandle h, const void* data, std::size_t size) override {
        writes.emplace_back(open.at(h), std::string(static_cast<const char*>(data), size));
    }
    std::size_t Read(DeviceHandle h, void* buffer, std::size_t capacity) override {
        readCapacities.push_back(capacity);
        auto& q = devices.at(open.at(h)).replies;
        if (q.empty()) return 0;
        const std::string r = q.front();
        q.pop_front();
        const std::size_t n = std::min(r.size(), capacity);
        std::copy(r.begin(), r.begin() + static_cast<std::ptrdiff_t>(n), static_cast<char*>(buffer));
        return n;
    }
    void Close(DeviceHandle h) override {
        closed.push_back(open.at(h));
        open.erase(h);
    }
    Guid lastClass{};

private:
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
        FakeBus& bus;
    };
    DeviceHandle nextHandle = 100;
};

struct TextOp {
    Rect rect;
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
        enum Kind { Copy, Font, Text, Icon } kind;
        Rect rect{};    // Copy: dst x, y, width, height in left..bottom; Text: rect
        Point2 src{};   // Copy: source
        std::string text;
        unsigned format = 0;
        const FontSpec* font = nullptr;
    };
    void CopySkin(int dx, int dy, int w, int h, int sx, int sy) override {
        ops.push_back({Op::Copy, {dx, dy, w, h}, {sx, sy}, {}, 0, nullptr});
    }
    void SetTextFont(const FontSpec& font) override { ops.push_back({Op::Font, {}, {}, {}, 0, &font}); }
    void DrawString(const Rect& r, const WString& text, unsigned format) override {
        ops.push_back({Op::Text, r, {}, Narrow(text), format, nullptr});
    }
    void DrawAppIcon(int x, int y) override { ops.push_back({Op::Icon, {x, y, 0, 0}, {}, {}, 0, nullptr}); }

    std::vector<TextOp> Texts() const {
        std::vector<TextOp> t;
        for (const Op& op : ops)
            if (op.kind == Op::Text) t.push_back({op.rect, op.text, op.format});
        return t;
    }
    std::vector<Op> ops;
};

}  // namespace ldt::fakes

// Fuzz target: the diagnosis of a refresh whose device strings, system
// messages and replies come from the input. Its text must hold no control
// character besides the line ends, no bidirectional control and no broken
// UTF-16, with every line bounded; its JSON must be well-formed UTF-8 with
// nothing unescaped; the hint and the no-connection box take no control
// character from a device either.
//
// Input, read front to back (missing bytes read as 0):
//   byte 0: bits 0-1 the number of listed interfaces (0-3); bit 2 unused;
//           bit 3 no interface set; bits 4-5 which fallback names open; bits 6-7
//           the number of portless interfaces (0-3)
//   per interface: a flags byte (bit 0 the device opens, bit 1 it takes
//           none of the query), then its identity's nine strings, the
//           reason and remedy when it does not open, and its reply
//   per portless interface: the nine identity strings, cause and remedy
//   the fallback device's reply
// A string is a length byte, the byte modulo 160 (around the shorter
// fields' bound), cut where the input ends; or two bytes 255 for 1100 code
// units (past the longest field kept), the input's bytes repeated to fill
// them. Then its UTF-16 code units, two bytes each. A reply is a length byte and
// that many bytes.

#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "fakes/Fakes.h"
#include "link/Diagnosis.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

using namespace ldt;

class Input : public FuzzInput {
public:
    using FuzzInput::FuzzInput;
    WString Text() {
        const std::uint8_t n = Byte();
        const bool repeat = n == 255 && at_ < size_ && data_[at_] == 255;
        if (repeat) ++at_;
        std::size_t length = repeat ? 1100u : n % 160u;
        if (!repeat) length = std::min(length, Left() / 2);
        WString s;
        for (std::size_t i = 0; i < length && size_ > 0; ++i) {
            const std::uint8_t lo = data_[(at_ + 2 * i) % size_], hi = data_[(at_ + 2 * i + 1) % size_];
            s += static_cast<char16_t>(lo | hi << 8);
        }
        at_ += std::min(2 * length, Left());
        return s;
    }
    // A length byte, then that many bytes.
    std::string Reply() { return Bytes(Byte()); }
    DeviceIdentity Identity() {
        DeviceIdentity id;
        for (WString* field : {&id.vendorId, &id.productId, &id.manufacturer, &id.product, &id.serial, &id.ieee1284Id,
                               &id.description, &id.driver, &id.location})
            *field = Text();
        return id;
    }
};

bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool IsForbidden(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Printable, whole UTF-16, lines no longer than `maxLine`; `lineBreaks`
// says whether '\n' may appear.
void CheckShown(const WString& text, bool lineBreaks, std::size_t maxLine) {
    std::size_t line = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\n') {
            FUZZ_CHECK(lineBreaks);
            line = 0;
            continue;
        }
        FUZZ_CHECK(!IsForbidden(c));
        if (IsHigh(c)) {
            FUZZ_CHECK(i + 1 < text.size() && IsLow(text[i + 1]));
            ++i;
        } else {
            FUZZ_CHECK(!IsLow(c));
        }
        FUZZ_CHECK(++line <= maxLine);
    }
}

// A strict reader of one JSON value: returns the position after it, or
// npos when the text is not JSON.
class Json {
public:
    explicit Json(const std::string& s) : s_(s) {}
    bool Whole() {
        std::size_t at = Value(Space(0));
        return at != npos && Space(at) == s_.size();
    }

private:
    static constexpr std::size_t npos = std::string::npos;
    std::size_t Space(std::size_t at) const {
        while (at < s_.size() && (s_[at] == ' ' || s_[at] == '\n')) ++at;
        return at;
    }
    std::size_t Literal(std::size_t at, const char* word) const {
        const std::size_t n = std::strlen(word);
        return s_.compare(at, n, word) == 0 ? at + n : npos;
    }
    std::size_t String(std::size_t at) const {
        if (at >= s_.size() || s_[at] != '"') return npos;
        for (++at; at < s_.size(); ++at) {
            const unsigned char c = static_cast<unsigned char>(s_[at]);
            if (c == '"') return at + 1;
            if (c < 0x20 || c == 0x7F) return npos;
            if (c == '\\') {
                if (++at >= s_.size()) return npos;
                if (s_[at] == 'u') {
                    for (int k = 0; k < 4; ++k)
                        if (++at >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[at]))) return npos;
                } else if (!std::strchr("\"\\/bfnrt", s_[at])) {
                    return npos;
                }
            } else if (c >= 0x80) {
                // Well-formed UTF-8, and no C1 control (U+0080..U+009F).
                const int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : -1;
                if (more < 0 || c > 0xF4) return npos;
                if (c == 0xC2 && at + 1 < s_.size() && static_cast<unsigned char>(s_[at + 1]) < 0xA0) return npos;
                for (int k = 0; k < more; ++k)
                    if (++at >= s_.size() || (static_cast<unsigned char>(s_[at]) & 0xC0) != 0x80) return npos;
            }
        }
        return npos;
    }
    std::size_t Number(std::size_t at) const {
        const std::size_t start = at;
        while (at < s_.size() && std::isdigit(static_cast<unsigned char>(s_[at]))) ++at;
        return at > start ? at : npos;
    }
    std::size_t Items(std::size_t at, char close, bool members) {
        at = Space(at + 1);
        if (at < s_.size() && s_[at] == close) return at + 1;
        for (;;) {
            if (members) {
                at = String(at);
                if (at == npos || (at = Space(at)) >= s_.size() || s_[at] != ':') return npos;
                at = Space(at + 1);
            }
            at = Value(at);
            if (at == npos || (at = Space(at)) >= s_.size()) return npos;
            if (s_[at] == close) return at + 1;
            if (s_[at] != ',') return npos;
            at = Space(at + 1);
        }
    }
    std::size_t Value(std::size_t at) {
        if (at >= s_.size() || ++depth_ > 16) return npos;
        std::size_t end;
        switch (s_[at]) {
        case '{': end = Items(at, '}', true); break;
        case '[': end = Items(at, ']', false); break;
        case '"': end = String(at); break;
        case 't': end = Literal(at, "true"); break;
        case 'f': end = Literal(at, "false"); break;
        case 'n': end = Literal(at, "null"); break;
        default: end = Number(at); break;
        }
        --depth_;
        return end;
    }
    const std::string& s_;
    int depth_ = 0;
};

struct NoClock final : Clock {
    void Pause(unsigned) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    Input in(bytes, size);
    fakes::FakeBus bus;
    fakes::Latin1CodePage codePage;
    fakes::FakePrompts prompts;
    NoClock clock;

    const std::uint8_t head = in.Byte();
    const unsigned count = head & 3;
    bus.giveSet = !(head & 8);
    const unsigned fallback = (head >> 4) & 3;
    const unsigned portless = head >> 6;
    for (unsigned i = 0; i < count; ++i) {
        const std::uint8_t flags = in.Byte();
        const std::string path = "p" + std::to_string(i);
        bus.interfaces.push_back({InterfaceQuery::Ok, path, {}, in.Identity()});
        fakes::FakeBus::DeviceScript device;
        device.refusal = in.Text();
        device.remedy = in.Text();
        device.replies = {in.Reply()};
        device.refusesWrites = (flags & 2) != 0;
        if (!(flags & 1)) {
            if (device.refusal.empty()) device.refusal = u"refused";
        } else {
            device.refusal.clear();
        }
        bus.devices[path + "\\"] = device;
    }
    for (unsigned i = 0; i < portless; ++i) {
        PortlessInterface p;
        p.identity = in.Identity();
        p.cause = in.Text();
        p.remedy = in.Text();
        bus.portless.push_back(p);
    }
    if (fallback & 1) bus.devices["\\\\.\\KORVA0"] = {};
    if (fallback & 2) bus.devices["\\\\.\\KORVA1"].replies = {in.Reply()};

    MachineLink link;
    MachineData data;
    const Diagnosis d = MakeDiagnosis(RefreshMachineData(link, data, {bus, clock, codePage, prompts}), in.Text());

    // A line holds at most a label and one field of 1024 code units, each
    // written as at most six ("\u202e"), or a reply of 256 bytes as hex.
    constexpr std::size_t kMaxLine = 64 + 6 * (kLongFieldChars + 3);
    CheckShown(DiagnosisText(d), true, kMaxLine);
    CheckShown(EmptyBoxesHint(d.refresh, data.Available()), true, 200);
    for (const WString& box : prompts.errors) CheckShown(box, true, kMaxLine);

    const std::string json = DiagnosisJson(d);
    FUZZ_CHECK(Json(json).Whole());
    for (const PortOutcome& port : d.refresh.ports) FUZZ_CHECK(port.reply.size() <= kReplyBytes);
    return 0;
}

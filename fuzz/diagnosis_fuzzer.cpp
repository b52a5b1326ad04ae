// Fuzz target: the diagnosis of a refresh whose device strings, system
// messages and replies come from the input, as the program shows it: its
// text (Ctrl+Shift+C, ldt-report --diagnose), the report object of
// ldt-report --json, the empty boxes' hint and the no-connection box. The
// text must hold no broken UTF-16 and nothing of what MustNotShow lists
// besides the line ends, with every line bounded; the JSON must be one
// valid value in well-formed UTF-8 with nothing MustNotShow lists raw.
//
// Input, read front to back (missing bytes read as 0):
//   byte 0: bits 0-1 the number of listed interfaces (0-3); bit 2 the bus
//           has no fallback names;
//           bit 3 no interface set; bits 4-5 which fallback names open; bits 6-7
//           the number of portless interfaces (0-3)
//   per interface: a flags byte (bit 0 the device opens, bit 1 it takes
//           none of the query), then its identity's ten strings, the
//           reason and remedy when it does not open, and its reply
//   per portless interface: the ten identity strings, cause and remedy
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
#include <cstdio>
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
                               &id.description, &id.driver, &id.location, &id.route})
            *field = Text();
        return id;
    }
};

// What may never stand raw where a device's text is shown, written out
// from the rule on its own: control characters (C0, DEL, C1), the marks
// that reorder text, the characters that break a line without a line feed,
// and the ones that take no room.
bool MustNotShow(char32_t c) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F)) return true;
    switch (c) {
    case 0x061C: case 0x200E: case 0x200F:                            // direction marks
    case 0x202A: case 0x202B: case 0x202C: case 0x202D: case 0x202E:  // embeddings, overrides
    case 0x2066: case 0x2067: case 0x2068: case 0x2069:               // isolates
    case 0x2028: case 0x2029:                                         // line, paragraph separator
    case 0x200B: case 0x200C: case 0x200D: case 0x2060: case 0xFEFF:  // zero width, byte order mark
        return true;
    default:
        return false;
    }
}

// Whole UTF-16 and nothing MustNotShow raw, lines no longer than `maxLine`;
// `lineBreaks` says whether '\n' may appear.
void CheckShown(const WString& text, bool lineBreaks, std::size_t maxLine) {
    std::size_t line = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c == u'\n') {
            FUZZ_CHECK(lineBreaks);
            line = 0;
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF) {
            FUZZ_CHECK(i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF);
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        FUZZ_CHECK(!(c >= 0xD800 && c <= 0xDFFF));
        if (MustNotShow(c)) std::fprintf(stderr, "U+%04X raw at %zu\n", static_cast<unsigned>(c), i);
        FUZZ_CHECK(!MustNotShow(c));
        FUZZ_CHECK(++line <= maxLine);
    }
}

// A strict reader of one JSON value (RFC 8259, without fractions and
// exponents, which nothing here writes): true when `s` is exactly one value
// with blanks and line feeds around its tokens, in well-formed UTF-8, with
// nothing MustNotShow raw inside its strings and no \u escape of half a
// surrogate pair.
class Json {
public:
    explicit Json(const std::string& s) : s_(s) {}
    bool Whole() {
        return Value() && (Space(), at_ == s_.size());
    }

private:
    int Peek() const { return at_ < s_.size() ? static_cast<unsigned char>(s_[at_]) : -1; }
    int Next() { return at_ < s_.size() ? static_cast<unsigned char>(s_[at_++]) : -1; }
    void Space() {
        while (Peek() == ' ' || Peek() == '\n') ++at_;
    }
    bool Word(const char* w) {
        for (; *w; ++w)
            if (Next() != *w) return false;
        return true;
    }
    int Hex() {
        const int c = Next();
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
    // One code point of UTF-8 (no overlong form, no surrogate, at most U+10FFFF), or -1.
    long Utf8(int lead) {
        const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
        if (more < 0 || lead > 0xF4) return -1;
        long cp = lead & (0x3F >> more);
        for (int k = 0; k < more; ++k) {
            const int c = Next();
            if (c < 0 || (c & 0xC0) != 0x80) return -1;
            cp = cp << 6 | (c & 0x3F);
        }
        static const long kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
        return cp;
    }
    bool String() {
        if (Next() != '"') return false;
        for (;;) {
            const int c = Next();
            if (c == '"') return true;
            if (c == '\\') {
                const int e = Next();
                if (e == 'u') {
                    long v = 0;
                    for (int k = 0; k < 4; ++k) {
                        const int h = Hex();
                        if (h < 0) return false;
                        v = v * 16 + h;
                    }
                    if (v >= 0xD800 && v <= 0xDFFF) return false;
                } else if (e < 0 || !std::strchr("\"\\/bfnrt", e)) {
                    return false;
                }
                continue;
            }
            if (c < 0) return false;
            const long cp = c < 0x80 ? c : Utf8(c);
            if (cp < 0 || MustNotShow(static_cast<char32_t>(cp))) return false;
        }
    }
    bool Number() {
        const std::size_t start = at_;
        if (Peek() == '-') ++at_;
        if (Peek() == '0') {
            ++at_;
        } else {
            while (Peek() >= '0' && Peek() <= '9') ++at_;
        }
        return at_ > start && s_[at_ - 1] != '-';
    }
    bool Items(char close, bool members) {
        ++at_;
        Space();
        if (Peek() == close) return ++at_, true;
        for (;;) {
            if (members) {
                Space();
                if (!String()) return false;
                Space();
                if (Next() != ':') return false;
            }
            if (!Value()) return false;
            Space();
            const int c = Next();
            if (c == close) return true;
            if (c != ',') return false;
        }
    }
    bool Value() {
        Space();
        if (++depth_ > 16) return false;
        bool ok;
        switch (Peek()) {
        case '{': ok = Items('}', true); break;
        case '[': ok = Items(']', false); break;
        case '"': ok = String(); break;
        case 't': ok = Word("true"); break;
        case 'f': ok = Word("false"); break;
        case 'n': ok = Word("null"); break;
        default: ok = Number(); break;
        }
        --depth_;
        return ok;
    }
    const std::string& s_;
    std::size_t at_ = 0;
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
    bus.fallbackNames = !(head & 4);
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

    const std::string json = ReportJson(d, data);
    FUZZ_CHECK(Json(json).Whole());
    for (const PortOutcome& port : d.refresh.ports) FUZZ_CHECK(port.reply.size() <= kReplyBytes);
    return 0;
}

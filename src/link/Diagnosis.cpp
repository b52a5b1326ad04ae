#include "link/Diagnosis.h"

#include "seams/ProductText.h"
#include "seams/Utf8.h"

#include <chrono>
#include <cstdio>

namespace ldt {

namespace {

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }
// Marks that reorder or hide text on screen.
bool IsBidiControl(char16_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

WString Ascii(const std::string& s) { return WString(s.begin(), s.end()); }

WString Number(std::size_t n) { return Ascii(std::to_string(n)); }

WString Escape(char16_t c) {
    char buffer[8];
    if (c <= 0xFF)
        std::snprintf(buffer, sizeof buffer, "\\x%02x", static_cast<unsigned>(c));
    else
        std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
    return Ascii(buffer);
}

}  // namespace

// Days to the civil date after H. Hinnant's algorithm.
WString UtcTimeText(long long seconds) {
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld UTC", year, month, day, rest / 3600,
                  rest / 60 % 60, rest % 60);
    return Ascii(buffer);
}

namespace {

// "wrote 5 bytes, no reply within 1 s" and the like.
WString ExchangeText(const PortOutcome& port) {
    const std::size_t query = QueryCommandX.size();
    WString text = port.written == query ? u"wrote " + Number(query) + u" bytes"
                                         : u"wrote " + Number(port.written) + u" of " + Number(query) + u" bytes";
    if (port.received == 0)
        text += u", no reply within " + Number(kReplyWaitSeconds) + u" s";
    else
        text += u", read " + Number(port.received) + (port.received == 1 ? u" byte" : u" bytes");
    return text;
}

void Line(WString& text, const WString& label, const WString& value, std::size_t limit = kFieldChars) {
    if (!value.empty()) text += u"  " + label + u": " + EscapeText(value, limit) + u"\n";
}

void IdentityLines(WString& text, const DeviceIdentity& id) {
    if (!id.vendorId.empty() || !id.productId.empty())
        text += u"  USB id: " + EscapeText(id.vendorId, 8) + u":" + EscapeText(id.productId, 8) + u"\n";
    Line(text, u"Manufacturer", id.manufacturer);
    Line(text, u"Product", id.product);
    Line(text, u"Serial number", id.serial);
    Line(text, u"IEEE 1284 id", id.ieee1284Id, kLongFieldChars);
    Line(text, u"System name", id.description);
    Line(text, u"Driver", id.driver);
    Line(text, u"Location", id.location, kLongFieldChars);
}

std::string IdentityJson(const DeviceIdentity& id) {
    const std::pair<const char*, const WString*> fields[] = {
        {"vendorId", &id.vendorId},         {"productId", &id.productId}, {"manufacturer", &id.manufacturer},
        {"product", &id.product},           {"serial", &id.serial},       {"ieee1284Id", &id.ieee1284Id},
        {"description", &id.description},   {"driver", &id.driver},       {"location", &id.location},
    };
    std::string out = "{";
    for (const auto& [name, value] : fields) {
        const std::size_t limit =
            (value == &id.ieee1284Id || value == &id.location) ? kLongFieldChars : kFieldChars;
        out += (out.size() > 1 ? ", \"" : "\"") + std::string(name) + "\": " + JsonString(BoundText(*value, limit));
    }
    return out + "}";
}

std::string OptionalJson(const WString& text) {
    return text.empty() ? "null" : JsonString(BoundText(text, kLongFieldChars));
}

}  // namespace

Diagnosis MakeDiagnosis(RefreshOutcome refresh, WString system) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(now).count();
    return {kProductVersion, std::move(system), UtcTimeText(seconds), std::move(refresh)};
}

WString BoundText(const WString& text, std::size_t limit) {
    WString out;
    const bool cut = text.size() > limit;
    std::size_t end = cut ? limit : text.size();
    if (cut && end > 0 && IsHighSurrogate(text[end - 1])) --end;  // keep pairs whole
    for (std::size_t i = 0; i < end; ++i) {
        const char16_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < end && IsLowSurrogate(text[i + 1])) {
            out += c;
            out += text[++i];
        } else {
            out += (IsHighSurrogate(c) || IsLowSurrogate(c)) ? char16_t(0xFFFD) : c;
        }
    }
    if (cut) out += u"...";
    return out;
}

WString EscapeText(const WString& text, std::size_t limit) {
    WString out;
    for (char16_t c : BoundText(text, limit)) {
        if (IsControl(c) || IsBidiControl(c))
            out += Escape(c);
        else
            out += c;
    }
    return out;
}

WString PrintableBytes(const std::string& bytes) {
    WString out;
    for (char b : bytes) {
        const unsigned char u = static_cast<unsigned char>(b);
        if (u >= 0x20 && u < 0x7F)
            out += char16_t(u);
        else
            out += Escape(u);
    }
    return out;
}

WString HexBytes(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    WString out;
    for (char b : bytes) {
        const unsigned char u = static_cast<unsigned char>(b);
        if (!out.empty()) out += u' ';
        out += char16_t(kDigits[u >> 4]);
        out += char16_t(kDigits[u & 15]);
    }
    return out;
}

std::string ToUtf8(const WString& text) { return Utf16ToUtf8(text); }

WString DiagnosisText(const Diagnosis& d) {
    const RefreshOutcome& r = d.refresh;
    WString text = WString(kProductName) + u" " + Ascii(d.version) + u": diagnosis\n";
    text += u"System: " + (d.system.empty() ? WString(u"unknown") : EscapeText(d.system)) + u"\n";
    text += u"Time: " + EscapeText(d.time) + u"\n";
    if (!d.history.empty()) text += u"History: " + EscapeText(d.history, kLongFieldChars) + u"\n";

    const bool fallback = !r.fallback.empty();
    if (!fallback) text += u"Printer-class ports: " + Number(r.ports.size()) + u"\n";
    for (std::size_t i = 0; i < r.ports.size(); ++i) {
        const PortOutcome& port = r.ports[i];
        text += u"\n" + (fallback ? WString(u"Machine device") : u"Port " + Number(i + 1)) + u": ";
        if (port.path.empty()) {
            text += u"(its path could not be listed, or is too long)\n";
            continue;
        }
        text += EscapeText(port.path, kLongFieldChars) + u"\n";
        IdentityLines(text, port.identity);
        if (!port.opened) {
            text += u"  Result: cannot open: " +
                    (port.reason.empty() ? WString(u"unknown error") : EscapeText(port.reason, kLongFieldChars)) +
                    u"\n";
            Line(text, u"What to do", port.remedy, kLongFieldChars);
            continue;
        }
        text += u"  Result: opened; " + ExchangeText(port) + u" (" + Number(port.elapsedMs) + u" ms)\n";
        if (!port.reply.empty()) {
            text += u"  Reply: " + PrintableBytes(port.reply) + u"\n";
            text += u"  Reply (hex): " + HexBytes(port.reply) + u"\n";
        }
    }
    if (fallback) {
        text += u"\nNo printer-class port; the machine device names tried:\n";
        for (const FallbackTry& f : r.fallback)
            text += u"  " + EscapeText(f.name) + u": " +
                    (f.opened ? WString(u"opened")
                              : u"cannot open: " + (f.reason.empty() ? WString(u"unknown error")
                                                                     : EscapeText(f.reason, kLongFieldChars))) +
                    u"\n";
    }
    if (!r.portless.empty()) {
        text += u"\nPrinter-class devices without a port:\n";
        for (const PortlessInterface& p : r.portless) {
            text += u"- " + DeviceName(p.identity) + u"\n";
            IdentityLines(text, p.identity);
            Line(text, u"Cause", p.cause, kLongFieldChars);
            Line(text, u"What to do", p.remedy, kLongFieldChars);
        }
    }
    if (r.noConnection) text += u"\nNo machine was found.\n";
    return text;
}

std::string PortJsonMembers(const PortOutcome& port) {
    return ", \"identity\": " + IdentityJson(port.identity) + ", \"error\": " + OptionalJson(port.reason) +
           ", \"remedy\": " + OptionalJson(port.remedy) + ", \"written\": " + std::to_string(port.written) +
           ", \"received\": " + std::to_string(port.received) +
           ", \"elapsedMs\": " + std::to_string(port.elapsedMs) + ", \"replyHex\": " + JsonString(HexBytes(port.reply));
}

std::string FallbackJson(const RefreshOutcome& refresh) {
    std::string out = "[";
    for (const FallbackTry& f : refresh.fallback)
        out += (out.size() > 1 ? ", " : "") + std::string("{\"name\": ") + JsonString(BoundText(f.name)) +
               ", \"opened\": " + (f.opened ? "true" : "false") + ", \"error\": " + OptionalJson(f.reason) + "}";
    return out + "]";
}

std::string PortlessJson(const RefreshOutcome& refresh) {
    std::string out = "[";
    for (const PortlessInterface& p : refresh.portless)
        out += (out.size() > 1 ? ", " : "") + std::string("{\"identity\": ") + IdentityJson(p.identity) +
               ", \"cause\": " + OptionalJson(p.cause) + ", \"remedy\": " + OptionalJson(p.remedy) + "}";
    return out + "]";
}

std::string DiagnosisJson(const Diagnosis& d) {
    std::string out = "{\"version\": " + JsonString(Ascii(d.version)) + ", \"system\": " +
                      JsonString(BoundText(d.system)) + ", \"time\": " + JsonString(BoundText(d.time)) +
                      ", \"noConnection\": " + (d.refresh.noConnection ? "true" : "false") + ", \"ports\": [";
    for (std::size_t i = 0; i < d.refresh.ports.size(); ++i) {
        const PortOutcome& port = d.refresh.ports[i];
        out += (i ? ", " : "") + std::string("{\"path\": ") + JsonString(BoundText(port.path, kLongFieldChars)) +
               ", \"opened\": " + (port.opened ? "true" : "false") +
               ", \"answered\": " + (port.answered ? "true" : "false") + PortJsonMembers(port) + "}";
    }
    return out + "], \"fallback\": " + FallbackJson(d.refresh) + ", \"portless\": " + PortlessJson(d.refresh) + "}";
}

WString EmptyBoxesHint(const RefreshOutcome& r, bool dataAvailable) {
    if (dataAvailable) return {};
    WString what;
    std::size_t opened = 0, answered = 0;
    for (const PortOutcome& p : r.ports) {
        opened += p.opened;
        answered += p.answered;
    }
    const WString wait = Number(kReplyWaitSeconds) + u" s";
    if (r.noConnection) {
        what = r.portless.empty() ? u"No machine was found on USB."
                                  : u"A printer-class device is plugged in, but it has no port.";
    } else if (!r.fallback.empty()) {
        what = r.ports.empty() ? u"Only the machine device " + WString(kFallbackName0) + u" opened; nothing was sent."
               : answered      ? u"The machine device " + WString(kFallbackName1) + u" answered, but its reply held no values."
                               : u"The machine device " + WString(kFallbackName1) + u" did not answer within " + wait + u".";
    } else {
        const std::size_t n = r.ports.size();
        what = Number(n) + (n == 1 ? u" printer-class port found; " : u" printer-class ports found; ");
        if (opened == 0)
            what += n == 1 ? u"it could not be opened." : u"none could be opened.";
        else if (answered == 0)
            what += n == 1        ? u"it did not answer within " + wait + u"."
                    : opened == n ? u"none answered within " + wait + u"."
                                  : Number(opened) + u" opened, none answered within " + wait + u".";
        else
            what += n == 1 ? u"its reply held no values." : u"the replies held no values.";
    }
    return what + u"\nCtrl+Shift+C copies the details.";
}

WString DeviceName(const DeviceIdentity& id) {
    WString name = id.manufacturer;
    if (!id.product.empty()) name += (name.empty() ? u"" : u" ") + id.product;
    if (name.empty()) name = id.description;
    WString text = name.empty() ? WString(u"A printer-class device") : EscapeText(name, 64);
    if (!id.vendorId.empty() || !id.productId.empty())
        text += u" (USB " + EscapeText(id.vendorId, 8) + u":" + EscapeText(id.productId, 8) + u")";
    return text;
}

WString PortlessText(const std::vector<PortlessInterface>& portless) {
    WString text;
    for (const PortlessInterface& p : portless) {
        text += u"\n\n" + DeviceName(p.identity) + u" is plugged in but has no port.";
        if (!p.cause.empty()) text += u" " + EscapeText(p.cause, kLongFieldChars);
        if (!p.remedy.empty()) text += u"\n" + EscapeText(p.remedy, kLongFieldChars);
    }
    return text;
}

}  // namespace ldt

#include "link/Diagnosis.h"

#include "link/History.h"
#include "machine/Report.h"
#include "seams/Messages.h"
#include "seams/ProductText.h"

namespace ldt {

namespace {

WString Number(std::size_t n) { return Ascii(std::to_string(n)); }

// "\xNN" for a code unit up to U+00FF, else "\uNNNN".
WString Escape(char16_t c) { return c <= 0xFF ? u"\\x" + HexDigits(c, 2) : u"\\u" + HexDigits(c, 4); }

// `value` in decimal, zero-padded to `width` digits.
WString Padded(long long value, std::size_t width) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return Ascii((value < 0 ? "-" : "") + digits);
}

// The bus's bound in words: "1 s".
static_assert(kBusBoundMs % 1000 == 0, "the bound is told in whole seconds");
WString BoundWords() { return FillTemplate(kSeconds, {Number(kBusBoundMs / 1000)}); }

// Reply bytes: printable ASCII as it is, every other byte as "\xNN"; and as
// lower-case hex pairs separated by blanks.
WString PrintableBytes(const std::string& bytes) {
    WString out;
    for (unsigned char u : bytes) out += u >= 0x20 && u < 0x7F ? WString(1, char16_t(u)) : Escape(u);
    return out;
}

WString HexBytes(const std::string& bytes) {
    WString out;
    for (unsigned char b : bytes) out += (out.empty() ? u"" : u" ") + HexDigits(b, 2);
    return out;
}

// The device's name for people: maker and product, else the system's
// name, with the USB ids; escaped and bounded.
WString DeviceName(const DeviceIdentity& id) {
    WString name = id.manufacturer;
    if (!id.product.empty()) name += (name.empty() ? u"" : u" ") + id.product;
    if (name.empty()) name = id.description;
    const WString text = name.empty() ? WString(kSomePrinterDevice) : EscapeText(name, 64);
    if (id.vendorId.empty() && id.productId.empty()) return text;
    return FillTemplate(kDeviceWithUsbId, {text, EscapeText(id.vendorId, 8), EscapeText(id.productId, 8)});
}

// "wrote 5 bytes, no reply within 1 s" and the like.
WString ExchangeText(const PortOutcome& port) {
    const std::size_t query = QueryCommandX.size();
    const WString wrote = port.written == query ? FillTemplate(kWroteAll, {Number(query)})
                                                : FillTemplate(kWrotePart, {Number(port.written), Number(query)});
    if (port.received == 0) return FillTemplate(kNoReplyWithin, {wrote, BoundWords()});
    return port.received == 1 ? FillTemplate(kReadOneByte, {wrote}) : FillTemplate(kReadBytes, {wrote, Number(port.received)});
}

void Line(WString& text, const char16_t* label, const WString& value, std::size_t limit = kFieldChars) {
    if (!value.empty()) text += u"  " + (label + (u": " + EscapeText(value, limit))) + u"\n";
}

void IdentityLines(WString& text, const DeviceIdentity& id) {
    if (!id.vendorId.empty() || !id.productId.empty())
        text += u"  " + FillTemplate(kUsbIdLine, {EscapeText(id.vendorId, 8), EscapeText(id.productId, 8)}) + u"\n";
    for (const IdentityField& f : kIdentityFields)
        if (f.label) Line(text, f.label, id.*f.member, f.limit);
}

WString Reason(const WString& reason) { return reason.empty() ? WString(kUnknownError) : EscapeText(reason, kLongFieldChars); }

void IdentityJson(JsonWriter& json, const DeviceIdentity& id) {
    json.BeginObject();
    for (const IdentityField& f : kIdentityFields)
        if (!f.optional || !(id.*f.member).empty()) json.Key(f.key).String(BoundText(id.*f.member, f.limit));
    json.EndObject();
}

void OptionalJson(JsonWriter& json, const char* key, const WString& text) {
    json.Key(key).StringOrNull(BoundText(text, kLongFieldChars));
}

void PortHistoryJson(const PortHistory& port, JsonWriter& json) {
    json.Key("key").String(port.key).Key("firstReading").Bool(port.read && !port.previous).Key("changes").BeginArray();
    for (const FieldChange& c : port.changes)
        json.BeginObject()
            .Key("field").String(FieldName(c.field))
            .Key("was").String(c.was)
            .Key("now").String(c.now)
            .Key("since").String(UtcTimeText(c.since))
            .EndObject();
    json.EndArray();
}

}  // namespace

const IdentityField kIdentityFields[10] = {
    {"vendorId", nullptr, &DeviceIdentity::vendorId, kFieldChars, false, kHistoryIdChars},
    {"productId", nullptr, &DeviceIdentity::productId, kFieldChars, false, kHistoryIdChars},
    {"manufacturer", kManufacturerLabel, &DeviceIdentity::manufacturer, kFieldChars, false, kFieldChars},
    {"product", kProductLabel, &DeviceIdentity::product, kFieldChars, false, kFieldChars},
    {"serial", kSerialLabel, &DeviceIdentity::serial, kFieldChars, false, kFieldChars},
    {"ieee1284Id", kIeee1284Label, &DeviceIdentity::ieee1284Id, kLongFieldChars, false, kHistoryLongChars},
    {"description", kSystemNameLabel, &DeviceIdentity::description, kFieldChars, false, 0},
    {"driver", kDriverLabel, &DeviceIdentity::driver, kFieldChars, false, 0},
    {"location", kLocationLabel, &DeviceIdentity::location, kLongFieldChars, false, kHistoryPathChars},
    {"route", kRouteLabel, &DeviceIdentity::route, kFieldChars, true, kFieldChars},
};

WString BoundText(const WString& text, std::size_t limit) {
    WString out;
    const bool cut = text.size() > limit;
    std::size_t end = cut ? limit : text.size();
    if (cut && end > 0 && IsHighSurrogate(text[end - 1])) --end;  // keep pairs whole
    for (std::size_t i = 0; i < end; ++i) {
        const char16_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < end && IsLowSurrogate(text[i + 1]))
            out += {c, text[++i]};
        else
            out += ClassifyChar(c) == TextChar::Surrogate ? char16_t(0xFFFD) : c;
    }
    if (cut) out += u"...";
    return out;
}

// Days to the civil date after H. Hinnant's algorithm.
WString UtcTimeText(long long seconds) {
    const long long rest = (seconds % 86400 + 86400) % 86400;  // the time of day, before 1970 too
    const long long days = (seconds - rest) / 86400 + 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2);
    return Padded(year, 4) + u"-" + Padded(month, 2) + u"-" + Padded(day, 2) + u" " + Padded(rest / 3600, 2) + u":" +
           Padded(rest / 60 % 60, 2) + u":" + Padded(rest % 60, 2) + u" UTC";
}

Diagnosis MakeDiagnosis(RefreshOutcome refresh, WString system) {
    return {kProductVersion, std::move(system), UtcTimeText(HistoryNow()), std::move(refresh)};
}

WString EscapeText(const WString& text, std::size_t limit) {
    WString out;
    for (char16_t c : BoundText(text, limit)) {
        const TextChar kind = ClassifyChar(c);
        out += kind == TextChar::Control || kind == TextChar::Invisible ? Escape(c) : WString(1, c);
    }
    return out;
}

WString DiagnosisText(const Diagnosis& d) {
    const RefreshOutcome& r = d.refresh;
    WString text = FillTemplate(kDiagnosisTitle, {kProductName, Ascii(d.version)}) + u"\n";
    text += FillTemplate(kDiagnosisSystem, {d.system.empty() ? WString(kUnknownSystem) : EscapeText(d.system)}) + u"\n";
    text += FillTemplate(kDiagnosisTime, {EscapeText(d.time)}) + u"\n";
    if (!d.history.empty()) text += FillTemplate(kDiagnosisHistory, {EscapeText(d.history, kLongFieldChars)}) + u"\n";

    const bool fallback = !r.fallback.empty();
    if (!fallback) text += FillTemplate(kPortCount, {Number(r.ports.size())}) + u"\n";
    for (std::size_t i = 0; i < r.ports.size(); ++i) {
        const PortOutcome& port = r.ports[i];
        text += u"\n" + (fallback ? WString(kFallbackHeading) : FillTemplate(kPortHeading, {Number(i + 1)}));
        if (port.path.empty()) {
            text += kPathNotListed + WString(u"\n");
            continue;
        }
        text += EscapeText(port.path, kLongFieldChars) + u"\n";
        IdentityLines(text, port.identity);
        if (!port.opened) {
            text += u"  " + FillTemplate(kResultCannotOpen, {Reason(port.reason)}) + u"\n";
            Line(text, kRemedyLabel, port.remedy, kLongFieldChars);
            continue;
        }
        text += u"  " + FillTemplate(kResultOpened, {ExchangeText(port), Number(port.elapsedMs)}) + u"\n";
        if (!port.reply.empty()) {
            Line(text, kReplyLabel, PrintableBytes(port.reply), 4 * kReplyBytes);
            Line(text, kReplyHexLabel, HexBytes(port.reply), 3 * kReplyBytes);
        }
    }
    if (fallback) {
        text += u"\n" + WString(kNamesTriedHeading) + u"\n";
        for (const FallbackTry& f : r.fallback)
            text += u"  " + EscapeText(f.name) + u": " +
                    (f.opened ? WString(kNameOpened) : FillTemplate(kNameCannotOpen, {Reason(f.reason)})) + u"\n";
    }
    if (!r.portless.empty()) {
        text += u"\n" + WString(kPortlessHeading) + u"\n";
        for (const PortlessInterface& p : r.portless) {
            text += u"- " + DeviceName(p.identity) + u"\n";
            IdentityLines(text, p.identity);
            Line(text, kCauseLabel, p.cause, kLongFieldChars);
            Line(text, kRemedyLabel, p.remedy, kLongFieldChars);
        }
        if (r.portlessCount > r.portless.size())
            text += FillTemplate(kMorePortless, {Number(r.portlessCount - r.portless.size())}) + u"\n";
    }
    if (r.noConnection) text += u"\n" + WString(kNoMachineFound) + u"\n";
    return text;
}

std::string ReportJson(const Diagnosis& d, const MachineData& data, const HistoryOutcome* history) {
    const RefreshOutcome& r = d.refresh;
    JsonWriter json(2);
    json.BeginObject().Key("version").String(Ascii(d.version)).Key("report").BeginArray();
    for (const ReportLineSpec& line : kReportLines)
        json.BeginObject().Key("label").String(FieldName(static_cast<std::size_t>(line.field)))
            .Key("value").String(data.At(line.field)).EndObject();
    json.EndArray().Key("fields").BeginArray();
    for (std::size_t i = 0; i < data.Count(); ++i) json.String(data.At(i));
    json.EndArray().Key("ports").BeginArray();
    for (std::size_t i = 0; i < r.ports.size(); ++i) {
        const PortOutcome& port = r.ports[i];
        json.BeginObject().Key("path").String(BoundText(port.path, kLongFieldChars));
        json.Key("opened").Bool(port.opened).Key("answered").Bool(port.answered).Key("identity");
        IdentityJson(json, port.identity);
        OptionalJson(json, "error", port.reason);
        OptionalJson(json, "remedy", port.remedy);
        json.Key("written").Number(port.written).Key("received").Number(port.received);
        json.Key("elapsedMs").Number(port.elapsedMs).Key("replyHex").String(HexBytes(port.reply));
        if (history && i < history->ports.size()) PortHistoryJson(history->ports[i], json);
        json.EndObject();
    }
    json.EndArray().Key("fallback").BeginArray();
    for (const FallbackTry& f : r.fallback) {
        json.BeginObject().Key("name").String(BoundText(f.name)).Key("opened").Bool(f.opened);
        OptionalJson(json, "error", f.reason);
        json.EndObject();
    }
    json.EndArray().Key("portless").BeginArray();
    for (const PortlessInterface& p : r.portless) {
        json.BeginObject().Key("identity");
        IdentityJson(json, p.identity);
        OptionalJson(json, "cause", p.cause);
        OptionalJson(json, "remedy", p.remedy);
        json.EndObject();
    }
    json.EndArray().Key("system").String(BoundText(d.system)).Key("time").String(BoundText(d.time));
    return json.EndObject().Text();
}

WString EmptyBoxesHint(const RefreshOutcome& r, bool dataAvailable) {
    if (dataAvailable) return {};
    WString what;
    std::size_t opened = 0, answered = 0;
    for (const PortOutcome& p : r.ports) {
        opened += p.opened;
        answered += p.answered;
    }
    const WString wait = BoundWords();
    if (r.noConnection) {
        what = r.portless.empty() ? kHintNothing : kHintPortless;
    } else if (!r.fallback.empty()) {
        what = r.ports.empty() ? FillTemplate(kHintProbeOnly, {kFallbackName0})
               : answered      ? FillTemplate(kHintNoValues, {kFallbackName1})
                               : FillTemplate(kHintSilent, {kFallbackName1, wait});
    } else {
        const std::size_t n = r.ports.size();
        what = n == 1 ? WString(kHintOnePort) : FillTemplate(kHintPorts, {Number(n)});
        if (opened == 0)
            what += n == 1 ? kHintNotOpened : kHintNoneOpened;
        else if (answered == 0)
            what += n == 1        ? FillTemplate(kHintNotAnswered, {wait})
                    : opened == n ? FillTemplate(kHintNoneAnswered, {wait})
                                  : FillTemplate(kHintSomeOpened, {Number(opened), wait});
        else
            what += n == 1 ? kHintNoValue : kHintNoValuesAll;
    }
    return what + kHintKey;
}

WString PortlessText(const std::vector<PortlessInterface>& portless, std::size_t count) {
    WString text;
    for (std::size_t i = 0; i < portless.size() && i < kPortlessNamed; ++i) {
        const PortlessInterface& p = portless[i];
        text += u"\n\n" + FillTemplate(kPortlessDevice, {DeviceName(p.identity)});
        if (!p.cause.empty()) text += u" " + EscapeText(p.cause, kLongFieldChars);
        if (!p.remedy.empty()) text += u"\n" + EscapeText(p.remedy, kLongFieldChars);
    }
    const std::size_t more = std::max(count, portless.size());
    if (more > kPortlessNamed) text += u"\n\n" + FillTemplate(kMorePortless, {Number(more - kPortlessNamed)});
    return text;
}

}  // namespace ldt

#include "app/ReportCommand.h"

#include "machine/Report.h"
#include "platform/Utf8.h"
#include "seams/ProductText.h"

#include <cstdio>

namespace ldt {

const char kReportUsageText[] =
    "Usage: ldt-report [--json] | --version | --help\n"
    "Finds the laser machine on USB, queries it once and prints its sixteen\n"
    "report lines, or with --json one JSON object: the labelled report, the\n"
    "raw reply fields in order and, for each port, its path and whether it\n"
    "answered.\n"
    "Exit status: 0 report printed; 1 no machine found; 2 usage error;\n"
    "3 ports found but none answered (the reason is printed when none opened).\n";

const char kNoDataFromPortsText[] = "Machine data is not available: no port answered the query.\n";

namespace {

// Message boxes become lines on the error stream; there is no Save As.
class ConsolePrompts final : public Prompts {
public:
    ConsolePrompts(const CodePage& codePage, std::ostream& err) : codePage_(codePage), err_(err) {}
    void ShowError(const WString& text) override { Print(text); }
    void ShowFileError(const WString& text) override { Print(text); }
    std::optional<WString> AskSavePath() override { return std::nullopt; }

private:
    void Print(const WString& text) { err_ << codePage_.ToAnsi(text) << '\n'; }
    const CodePage& codePage_;
    std::ostream& err_;
};

std::string JsonString(const WString& text) {
    std::string out = "\"";
    for (char c : ToUtf8(text)) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void PrintJson(const MachineData& data, const RefreshOutcome& outcome, std::ostream& out) {
    out << "{\"version\": \"" << kProductVersion << "\",\n \"report\": [";
    for (std::size_t i = 0; i < kReportLines.size(); ++i) {
        WString label = kReportLines[i].label;
        label.resize(label.size() - 2);  // the ": " of the text line
        out << (i ? ",\n  " : "\n  ") << "{\"label\": " << JsonString(label)
            << ", \"value\": " << JsonString(data.At(kReportLines[i].field)) << "}";
    }
    out << "],\n \"fields\": [";
    for (std::size_t i = 0; i < data.Count(); ++i) out << (i ? ", " : "") << JsonString(data.At(i));
    out << "],\n \"ports\": [";
    for (std::size_t i = 0; i < outcome.ports.size(); ++i) {
        const PortOutcome& port = outcome.ports[i];
        out << (i ? ",\n  " : "\n  ") << "{\"path\": " << JsonString(port.path)
            << ", \"opened\": " << (port.opened ? "true" : "false")
            << ", \"answered\": " << (port.answered ? "true" : "false") << "}";
    }
    out << "]}\n";
}

}  // namespace

std::string ToUtf8(const WString& text) { return Utf16ToUtf8(text); }

int RunReportCommand(const std::vector<std::string>& args, DeviceBus& bus, Clock& clock,
                     const CodePage& codePage, std::ostream& out, std::ostream& err) {
    bool json = false;
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << kReportUsageText;
        return kReportOk;
    }
    if (args.size() == 1 && args[0] == "--version") {
        out << "ldt-report " << kProductVersion << '\n';
        return kReportOk;
    }
    if (args.size() == 1 && args[0] == "--json") {
        json = true;
    } else if (!args.empty()) {
        err << kReportUsageText;
        return kReportUsage;
    }

    ConsolePrompts prompts(codePage, err);
    MachineLink link;
    MachineData data;
    const RefreshOutcome outcome = RefreshMachineData(link, data, {bus, clock, codePage, prompts});
    if (outcome.noConnection) return kReportNoMachine;
    if (!data.Available()) {
        const WString why = UnopenedPortsText(outcome);
        if (!why.empty())
            err << codePage.ToAnsi(why) << '\n';
        else
            err << kNoDataFromPortsText;
        if (json) PrintJson(data, outcome, out);
        return kReportNoAnswer;
    }
    if (json) {
        PrintJson(data, outcome, out);
    } else {
        for (WString line : ReportLines(data)) {
            line.resize(line.size() - 2);  // the file's CR LF becomes the stream's newline
            out << ToAnsiLine(codePage, line) << '\n';
        }
    }
    out.flush();
    return kReportOk;
}

}  // namespace ldt

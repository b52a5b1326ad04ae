#include "app/ReportCommand.h"

#include "app/HistoryCommand.h"
#include "machine/Json.h"
#include "machine/Report.h"
#include "seams/ProductText.h"

namespace ldt {

const char kReportUsageText[] =
    "Usage: ldt-report [--json | --diagnose | --changes | --history [N] [--all] | --csv]\n"
    "                  [--no-history] | --version | --help\n"
    "Finds the laser machine on USB, queries it once and prints its sixteen\n"
    "report lines, or with --json one JSON object: the labelled report, the\n"
    "raw reply fields in order and, for each port, its path, whether it\n"
    "answered, the device behind it and what it did. With --diagnose it\n"
    "prints, for a support message, what each port and device did.\n"
    "Exit status: 0 report printed; 1 no machine found; 2 usage error;\n"
    "3 ports found but none answered (the reason is printed when none opened).\n"
    "Each reading is kept in a history file: --changes prints, per machine read,\n"
    "what changed since its previous reading; --history the last N readings\n"
    "(10) of the machines present, or with --all of every machine recorded;\n"
    "--csv one spreadsheet line per machine read. --no-history (or\n"
    "LDT_NO_HISTORY=1) keeps nothing.\n";

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

// The history's members of a port entry, after its others.
std::string PortHistoryMembers(const PortHistory& port) {
    JsonWriter json;
    json.BeginObject();
    PortHistoryJson(port, json);
    json.EndObject();
    const std::string& object = json.Text();
    return ", " + object.substr(1, object.size() - 2);
}

void PrintJson(const MachineData& data, const Diagnosis& diagnosis, const HistoryOutcome& history, std::ostream& out) {
    const RefreshOutcome& outcome = diagnosis.refresh;
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
            << ", \"answered\": " << (port.answered ? "true" : "false") << PortJsonMembers(port)
            << (i < history.ports.size() ? PortHistoryMembers(history.ports[i]) : std::string()) << "}";
    }
    out << "],\n \"fallback\": " << FallbackJson(outcome) << ",\n \"portless\": " << PortlessJson(outcome)
        << ",\n \"system\": " << JsonString(BoundText(diagnosis.system)) << ", \"time\": " << JsonString(diagnosis.time)
        << "}\n";
}

}  // namespace

int RunReportCommand(const std::vector<std::string>& arguments, DeviceBus& bus, Clock& clock,
                     const CodePage& codePage, std::ostream& out, std::ostream& err, const WString& system,
                     HistoryFile* historyFile) {
    bool json = false, diagnose = false;
    HistoryOptions options;
    std::vector<std::string> args = arguments;
    if (!TakeHistoryOptions(args, options)) {
        err << kReportUsageText;
        return kReportUsage;
    }
    if (HistoryOffByEnvironment()) options.record = false;
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
    } else if (args.size() == 1 && args[0] == "--diagnose") {
        diagnose = true;
    } else if (!args.empty()) {
        err << kReportUsageText;
        return kReportUsage;
    }

    ConsolePrompts prompts(codePage, err);
    MachineLink link;
    MachineData data;
    Diagnosis diagnosis = MakeDiagnosis(RefreshMachineData(link, data, {bus, clock, codePage, prompts}), system);
    const RefreshOutcome& outcome = diagnosis.refresh;
    const long long now = HistoryNow();
    const HistoryOutcome history = UpdateHistory(historyFile, outcome, codePage, now, options.record);
    diagnosis.history = history.problem;
    if (diagnose) out << codePage.ToAnsi(DiagnosisText(diagnosis)) << std::flush;
    if (options.mode != HistoryOptions::Mode::Report) {
        if (!history.problem.empty()) err << codePage.ToAnsi(history.problem) << '\n';
        return RunHistoryMode(options, historyFile, history, RecordsOf(outcome, codePage, now),
                              outcome.noConnection ? kReportNoMachine : data.Available() ? kReportOk : kReportNoAnswer,
                              codePage, out);
    }
    if (outcome.noConnection) {
        // A fleet inventory gets an object from every computer, the ones
        // without a machine too: empty report, the fallback names and any
        // printer interface that has no port.
        if (json) PrintJson(data, diagnosis, history, out);
        return kReportNoMachine;
    }
    if (!data.Available()) {
        const WString why = UnopenedPortsText(outcome);
        if (!why.empty())
            err << codePage.ToAnsi(why) << '\n';
        else
            err << kNoDataFromPortsText;
        if (json) PrintJson(data, diagnosis, history, out);
        return kReportNoAnswer;
    }
    if (json) {
        PrintJson(data, diagnosis, history, out);
    } else if (!diagnose) {
        for (WString line : ReportLines(data)) {
            line.resize(line.size() - 2);  // the file's CR LF becomes the stream's newline
            out << ToAnsiLine(codePage, line) << '\n';
        }
    }
    out.flush();
    return kReportOk;
}

}  // namespace ldt

#include "app/ReportCommand.h"

#include "app/HistoryCommand.h"
#include "machine/Report.h"
#include "seams/Messages.h"
#include "seams/ProductText.h"

namespace ldt {

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

// What the command line asks for.
enum class Output { Report, Json, Diagnosis, Help, Version };

// The output `args` (without the program name) ask for; nothing for a usage error.
std::optional<Output> ParseOutput(const std::vector<std::string>& args) {
    static const std::pair<const char*, Output> kOptions[] = {
        {"--help", Output::Help}, {"-h", Output::Help}, {"--version", Output::Version},
        {"--json", Output::Json}, {"--diagnose", Output::Diagnosis},
    };
    if (args.empty()) return Output::Report;
    for (const auto& [name, output] : kOptions)
        if (args.size() == 1 && args[0] == name) return output;
    return std::nullopt;
}

}  // namespace

int RunReportCommand(const std::vector<std::string>& arguments, DeviceBus& bus, Clock& clock,
                     const CodePage& codePage, std::ostream& out, std::ostream& err, const WString& system,
                     HistoryFile* historyFile) {
    // The history's options first; the rest as before.
    std::vector<std::string> args = arguments;
    HistoryOptions historyOptions;
    const bool historyArgs = TakeHistoryOptions(args, historyOptions);
    const std::optional<Output> output = ParseOutput(args);
    if (!historyArgs || !output) {
        err << kReportUsageText;
        return kReportUsage;
    }
    if (*output == Output::Help) {
        out << kReportUsageText;
        return kReportOk;
    }
    if (*output == Output::Version) {
        out << "ldt-report " << kProductVersion << '\n';
        return kReportOk;
    }

    ConsolePrompts prompts(codePage, err);
    MachineLink link;
    MachineData data;
    Diagnosis diagnosis = MakeDiagnosis(RefreshMachineData(link, data, {bus, clock, codePage, prompts}), system);
    const RefreshOutcome& outcome = diagnosis.refresh;
    const long long now = HistoryNow();
    const HistoryOutcome history =
        UpdateHistory(historyFile, outcome, codePage, now, historyOptions.record && !HistoryOffByEnvironment());
    diagnosis.history = history.problem;
    int status = kReportOk;
    if (outcome.noConnection) {
        status = kReportNoMachine;
    } else if (!data.Available()) {
        const WString why = UnopenedPortsText(outcome);
        err << (why.empty() ? std::string(kNoDataFromPortsText) : codePage.ToAnsi(why) + '\n');
        status = kReportNoAnswer;
    }
    if (historyOptions.mode != HistoryOptions::Mode::Report) {
        if (!history.problem.empty()) err << codePage.ToAnsi(history.problem) << '\n';
        return RunHistoryMode(historyOptions, historyFile, history, RecordsOf(outcome, codePage, now), status,
                              codePage, out);
    }
    switch (*output) {
    case Output::Diagnosis:
        out << codePage.ToAnsi(DiagnosisText(diagnosis));
        break;
    case Output::Json:
        // An object whatever the outcome: a fleet inventory gets one from
        // every computer, the ones without a machine too.
        out << ReportJson(diagnosis, data, &history) << '\n';
        break;
    default:
        if (status != kReportOk) break;
        for (WString line : ReportLines(data)) {
            line.resize(line.size() - 2);  // the file's CR LF becomes the stream's newline
            out << ToAnsiLine(codePage, line) << '\n';
        }
    }
    out.flush();
    return status;
}

}  // namespace ldt

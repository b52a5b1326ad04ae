#include "app/ReportCommand.h"

#include "machine/Report.h"

namespace ldt {

const char kReportUsageText[] =
    "Usage: ldt-report [--help]\n"
    "Finds the laser machine on USB, queries it once and prints its sixteen\n"
    "report lines. Exits 1 when no machine answered.\n";

const char kNoDataFromPortsText[] = "Machine data is not available: no port answered the query.\n";

namespace {

// Message boxes become lines on the error stream; there is no Save As.
class ConsolePrompts final : public Prompts {
public:
    ConsolePrompts(const CodePage& codePage, std::ostream& err) : codePage_(codePage), err_(err) {}
    void ShowError(const WString& text) override { Print(text); }
    void ShowFileError(const WString& text) override { Print(text); }
    std::optional<WString> AskSavePath() override { return std::nullopt; }
    bool Shown() const { return shown_; }

private:
    void Print(const WString& text) {
        err_ << codePage_.ToAnsi(text) << '\n';
        shown_ = true;
    }
    const CodePage& codePage_;
    std::ostream& err_;
    bool shown_ = false;
};

}  // namespace

int RunReportCommand(const std::vector<std::string>& args, DeviceBus& bus, Clock& clock,
                     const CodePage& codePage, std::ostream& out, std::ostream& err) {
    if (!args.empty()) {
        const bool help = args.size() == 1 && (args[0] == "--help" || args[0] == "-h");
        (help ? out : err) << kReportUsageText;
        return help ? kReportOk : kReportUsage;
    }
    ConsolePrompts prompts(codePage, err);
    MachineLink link;
    MachineData data;
    RefreshMachineData(link, data, {bus, clock, codePage, prompts});
    if (!data.Available()) {
        if (!prompts.Shown()) err << kNoDataFromPortsText;
        return kReportNoMachine;
    }
    for (WString line : ReportLines(data)) {
        line.resize(line.size() - 2);  // the file's CR LF becomes the stream's newline
        out << ToAnsiLine(codePage, line) << '\n';
    }
    out.flush();
    return kReportOk;
}

}  // namespace ldt

#include "machine/Report.h"

namespace ldt {

// Made at compile time: each label paired with its field.
constexpr std::array<ReportLineSpec, 16> kReportLines = [] {
    using F = MachineField;
    constexpr F kFields[16] = {F::FirmwareVersion, F::FpgaVersion,    F::FileSpeed,      F::FilePower,
                               F::FileDpi,         F::FilePpi,        F::LaserTubeModel, F::VectorMode,
                               F::SelectLens,      F::CarriageFree,   F::UsbSetupWizard, F::FocusDistance,
                               F::ScalingX,        F::ScalingY,       F::ImageOffsetX,   F::ImageOffsetY};
    std::array<ReportLineSpec, 16> lines{};
    for (std::size_t i = 0; i < lines.size(); ++i) lines[i] = {kReportLabels[i], kFields[i]};
    return lines;
}();

std::vector<WString> ReportLines(const MachineData& data) {
    std::vector<WString> lines;
    lines.reserve(kReportLines.size());
    for (const auto& line : kReportLines) lines.push_back(line.label + data.At(line.field) + u"\r\n");
    return lines;
}

// A line is taken as a zero-terminated string: anything after an embedded
// zero is not part of it.
std::string ToAnsiLine(const CodePage& codePage, const WString& line) {
    return codePage.ToAnsi(UpToZero(line));
}

std::string BuildReport(const MachineData& data, const CodePage& codePage) {
    std::string bytes;
    for (const WString& line : ReportLines(data)) bytes += ToAnsiLine(codePage, line);
    return bytes;
}

WString ReportText(const MachineData& data) {
    WString text;
    for (const WString& line : ReportLines(data)) text += UpToZero(line);
    return text;
}

WString ReportFileName(WString chosen) {
    const WString ext = u".txt";
    if (chosen.size() >= ext.size() && chosen.compare(chosen.size() - ext.size(), ext.size(), ext) == 0)
        chosen.resize(chosen.size() - ext.size());
    return chosen + ext;
}

void SaveReport(const MachineData& data, Prompts& prompts, const CodePage& codePage,
                ReportFileSystem& files) {
    if (!data.Available()) {
        prompts.ShowError(kNoDataText);
        return;
    }
    const auto chosen = prompts.AskSavePath();
    if (!chosen) return;
    const ReportWriteResult result =
        files.WriteWhole(ReportFileName(*chosen), BuildReport(data, codePage));
    if (result.status == ReportWriteResult::OpenFailed)
        prompts.ShowFileError(result.message);
    else if (result.status == ReportWriteResult::WriteFailed)
        prompts.ShowError(result.message);
}

}  // namespace ldt

#include "machine/Report.h"

namespace ldt {

const std::array<ReportLineSpec, 16> kReportLines = {{
    {kReportLabels[0], MachineField::FirmwareVersion},
    {kReportLabels[1], MachineField::FpgaVersion},
    {kReportLabels[2], MachineField::FileSpeed},
    {kReportLabels[3], MachineField::FilePower},
    {kReportLabels[4], MachineField::FileDpi},
    {kReportLabels[5], MachineField::FilePpi},
    {kReportLabels[6], MachineField::LaserTubeModel},
    {kReportLabels[7], MachineField::VectorMode},
    {kReportLabels[8], MachineField::SelectLens},
    {kReportLabels[9], MachineField::CarriageFree},
    {kReportLabels[10], MachineField::UsbSetupWizard},
    {kReportLabels[11], MachineField::FocusDistance},
    {kReportLabels[12], MachineField::ScalingX},
    {kReportLabels[13], MachineField::ScalingY},
    {kReportLabels[14], MachineField::ImageOffsetX},
    {kReportLabels[15], MachineField::ImageOffsetY},
}};

std::vector<WString> ReportLines(const MachineData& data) {
    std::vector<WString> lines;
    lines.reserve(kReportLines.size());
    for (const auto& line : kReportLines) lines.push_back(line.label + data.At(line.field) + u"\r\n");
    return lines;
}

namespace {

// A line is taken as a zero-terminated string: anything after an embedded
// zero is not part of it.
WString UpToZero(const WString& line) { return line.substr(0, line.find(u'\0')); }

}  // namespace

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

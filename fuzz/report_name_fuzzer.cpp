// Fuzz target: the name a report is written under. The chosen path goes
// through ReportFileName and through the whole Save as command with the
// prompts and the file system faked.
//
// Input: one control byte, then the path. Control bit 0 picks the path's
// encoding (0: one code unit per byte; 1: UTF-16LE code units, any value);
// bits 1-2 the file system's answer; bit 3 no machine data; bit 4 the user
// cancels the dialog.

#include "FuzzCheck.h"
#include "fakes/Fakes.h"
#include "machine/Report.h"

#include <cstdio>
#include <cstdlib>

namespace {

using namespace ldt;

const WString kExt = u".txt";

bool EndsWith(const WString& s, const WString& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Keeps every path written, as given, and answers with `next`.
class RecordingFiles final : public ReportFileSystem {
public:
    ReportWriteResult WriteWhole(const WString& path, const std::string& bytes) override {
        writes.push_back({path, bytes});
        return next;
    }
    std::vector<std::pair<WString, std::string>> writes;
    ReportWriteResult next;
};

void CheckName(const WString& chosen) {
    const WString name = ReportFileName(chosen);
    FUZZ_CHECK(EndsWith(name, kExt));
    // A name that already ends in ".txt" is kept; any other gets ".txt" added.
    if (EndsWith(chosen, kExt))
        FUZZ_CHECK(name == chosen);
    else
        FUZZ_CHECK(name == chosen + kExt);
    FUZZ_CHECK(ReportFileName(name) == name);
    FUZZ_CHECK(ReportFileName(chosen + kExt) == chosen + kExt);
    // Case counts: ".TXT" is not the extension.
    FUZZ_CHECK(ReportFileName(chosen + u".TXT") == chosen + u".TXT.txt");
}

void CheckSave(const WString& chosen, unsigned control) {
    fakes::Latin1CodePage codePage;
    fakes::FakePrompts prompts;
    RecordingFiles files;
    MachineData data;
    const bool noData = control & 8;
    const bool cancel = control & 16;
    if (!noData) {
        data.Append(u"V1.0");
        data.Append(u"F2.0");
    }
    if (!cancel) prompts.savePath = chosen;
    static const ReportWriteResult::Status kStatus[] = {ReportWriteResult::Written, ReportWriteResult::OpenFailed,
                                                        ReportWriteResult::WriteFailed, ReportWriteResult::Written};
    files.next.status = kStatus[(control >> 1) & 3];
    files.next.message = u"cannot write " + chosen;

    SaveReport(data, prompts, codePage, files);

    if (noData) {
        FUZZ_CHECK(prompts.saveAsked == 0 && files.writes.empty());
        FUZZ_CHECK(prompts.errors.size() == 1 && prompts.errors[0] == kNoDataText);
        return;
    }
    FUZZ_CHECK(prompts.saveAsked == 1);
    if (cancel) {
        FUZZ_CHECK(files.writes.empty() && prompts.errors.empty() && prompts.fileErrors.empty());
        return;
    }
    FUZZ_CHECK(files.writes.size() == 1);
    FUZZ_CHECK(files.writes[0].first == ReportFileName(chosen));
    static const std::string kReport = BuildReport(data, codePage);
    FUZZ_CHECK(files.writes[0].second == kReport);
    const std::size_t shown = prompts.errors.size() + prompts.fileErrors.size();
    switch (files.next.status) {
    case ReportWriteResult::Written:
        FUZZ_CHECK(shown == 0);
        break;
    case ReportWriteResult::OpenFailed:
        FUZZ_CHECK(shown == 1 && prompts.fileErrors.size() == 1 && prompts.fileErrors[0] == files.next.message);
        break;
    case ReportWriteResult::WriteFailed:
        FUZZ_CHECK(shown == 1 && prompts.errors.size() == 1 && prompts.errors[0] == files.next.message);
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned control = data[0];
    WString chosen;
    if (control & 1) {
        for (std::size_t i = 1; i + 1 < size; i += 2)
            chosen.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    } else {
        chosen.assign(data + 1, data + size);
    }
    CheckName(chosen);
    CheckSave(chosen, control);
    return 0;
}

#pragma once
// The readings history on Windows: history.jsonl (and history.1.jsonl, the
// older generation) in %LOCALAPPDATA%\Laser Diagnostic Tool\. Appenders
// serialise on LockFileEx of history.lock beside them.

#include "seams/HistoryFile.h"

#include <string>

namespace ldt {

class Win32HistoryFile final : public HistoryFile {
public:
    // The folder under the user's local application data.
    Win32HistoryFile();
    explicit Win32HistoryFile(std::wstring folder) : folder_(std::move(folder)) {}

    WString Append(const std::string& line) override;
    std::unique_ptr<HistorySource> Open(int generation) override;
    WString Where() const override;

private:
    std::wstring Path(int generation) const;
    std::wstring folder_;
};

}  // namespace ldt

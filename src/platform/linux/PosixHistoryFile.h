#pragma once
// The readings history on Linux: history.jsonl (and history.1.jsonl, the
// older generation) in $XDG_STATE_HOME/laser-diagnostic-tool/, or
// ~/.local/state/laser-diagnostic-tool/ when that is unset or not absolute.
// Appenders serialise on flock of history.lock beside them.

#include "seams/HistoryFile.h"

#include <string>

namespace ldt {

class PosixHistoryFile final : public HistoryFile {
public:
    // The folder from the environment as above.
    PosixHistoryFile();
    explicit PosixHistoryFile(std::string folder) : folder_(std::move(folder)) {}

    WString Append(const std::string& line) override;
    std::unique_ptr<HistorySource> Open(int generation) override;
    WString Where() const override;

private:
    std::string Path(int generation) const;
    std::string folder_;
};

}  // namespace ldt

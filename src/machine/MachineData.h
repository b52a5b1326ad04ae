#pragma once
// The fields of the machine's replies, in the order they arrived.

#include "seams/CodePage.h"

#include <cstddef>
#include <vector>

namespace ldt {

// What each position of MachineData means.
enum class MachineField : int {
    FpgaVersion = 0,
    FirmwareVersion = 1,
    LaserTubeModel = 2,
    FileSpeed = 3,
    FilePower = 4,
    FileDpi = 5,
    FilePpi = 6,
    SelectLens = 7,
    CarriageFree = 8,
    UsbSetupWizard = 9,
    FocusDistance = 10,
    Unused11 = 11,  // received, neither shown nor written
    ScalingX = 12,
    ScalingY = 13,
    ImageOffsetX = 14,  // direction word padded to six, then the number
    ImageOffsetY = 15,
    VectorMode = 16,
};

class MachineData {
public:
    void Clear() { values_.clear(); }
    void Append(WString value) { values_.push_back(std::move(value)); }
    std::size_t Count() const { return values_.size(); }
    bool Available() const { return !values_.empty(); }

    // The value at a 0-based position; a position that was never received
    // reads as an empty string.
    const WString& At(std::size_t position) const;
    const WString& At(MachineField field) const { return At(static_cast<std::size_t>(field)); }

private:
    std::vector<WString> values_;
};

// Appends every comma-terminated field of one reply to `data`. Text after
// the last comma is discarded; a reply without a comma adds nothing.
void ParseReply(MachineData& data, WString reply);

}  // namespace ldt

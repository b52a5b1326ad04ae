#pragma once
// The pause between query and read: Sleep().

#include "seams/Clock.h"

#include <windows.h>

namespace ldt {

class SleepClock final : public Clock {
public:
    void Pause(unsigned milliseconds) override { Sleep(milliseconds); }
};

}  // namespace ldt

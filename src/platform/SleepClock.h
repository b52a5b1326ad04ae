#pragma once
// The pause between query and read: the calling thread sleeps.

#include "seams/Clock.h"

#include <chrono>
#include <thread>

namespace ldt {

class SleepClock final : public Clock {
public:
    void Pause(unsigned milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
};

}  // namespace ldt

#include "app/linux/IdleWorkClock.h"

#include <chrono>

namespace ldt {

void IdleWorkClock::Pause(unsigned milliseconds) {
    if (!work_) {
        sleeper_.Pause(milliseconds);
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    const std::function<void()> work = std::move(work_);
    work_ = nullptr;
    work();
    // Whole milliseconds still to wait, rounded up so the pause never ends early.
    const auto spent = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    const long long left = (static_cast<long long>(milliseconds) * 1000 - spent.count() + 999) / 1000;
    if (left > 0) sleeper_.Pause(static_cast<unsigned>(left));
}

}  // namespace ldt

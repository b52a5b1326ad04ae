#include "app/IdleWorkClock.h"

#include "platform/Deadline.h"

namespace ldt {

void IdleWorkClock::Pause(unsigned milliseconds) {
    if (!work_) {
        sleeper_.Pause(milliseconds);
        return;
    }
    const Deadline deadline{std::chrono::milliseconds(milliseconds)};
    const std::function<void()> work = std::move(work_);
    work_ = nullptr;
    work();
    if (const unsigned left = deadline.RemainingMs<unsigned>()) sleeper_.Pause(left);
}

}  // namespace ldt

#include "app/IdleWorkClock.h"

#include "platform/Deadline.h"

#include <utility>

namespace ldt {

void IdleWorkClock::Pause(unsigned milliseconds) {
    if (!work_) {
        sleeper_.Pause(milliseconds);
        return;
    }
    const Deadline deadline{std::chrono::milliseconds(milliseconds)};
    std::exchange(work_, nullptr)();
    if (const unsigned left = deadline.RemainingMs<unsigned>()) sleeper_.Pause(left);
}

}  // namespace ldt

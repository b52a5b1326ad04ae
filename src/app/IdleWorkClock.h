#pragma once
// A clock that spends the first pause it is asked for on a piece of work
// before sleeping whatever is left of it. The window uses it to set itself
// up for its first showing (on Windows its icons, shape and place; the
// skin above 100 %) while the machine is working on the first query,
// instead of before or after.

#include "seams/Clock.h"

#include <functional>

namespace ldt {

class IdleWorkClock final : public Clock {
public:
    // `sleeper` sleeps; `work` runs once, at the start of the first pause.
    IdleWorkClock(Clock& sleeper, std::function<void()> work) : sleeper_(sleeper), work_(std::move(work)) {}

    // Returns no earlier than `milliseconds` after it was called, however
    // long the work took.
    void Pause(unsigned milliseconds) override;

private:
    Clock& sleeper_;
    std::function<void()> work_;
};

}  // namespace ldt

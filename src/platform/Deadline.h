#pragma once
// A deadline on the steady clock, shared by every wait of one batch, and the
// time left to it in the whole milliseconds that the systems' wait calls
// take (poll, WaitForMultipleObjects). Portable: the device buses of both
// systems and the machine simulator use it; the core does not.

#include <chrono>
#include <limits>
#include <type_traits>

namespace ldt {

class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    explicit Deadline(std::chrono::milliseconds fromNow) : end_(Clock::now() + fromNow) {}

    bool Passed() const { return Clock::now() >= end_; }

    // The time left in whole milliseconds, rounded up so that a wait for that
    // long never ends before the deadline, and clamped to 0..`most` (the
    // largest finite wait the call takes); 0 once the deadline has passed.
    template <class Int>
    Int RemainingMs(Int most = std::numeric_limits<Int>::max()) const {
        return WholeMs(end_ - Clock::now(), most);
    }

    // What RemainingMs returns when `left` is left.
    template <class Int>
    static Int WholeMs(Clock::duration left, Int most) {
        static_assert(std::is_integral_v<Int>, "a wait call's millisecond count");
        const long long ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        if (ms <= 0) return 0;
        return static_cast<unsigned long long>(ms) >= static_cast<unsigned long long>(most) ? most
                                                                                            : static_cast<Int>(ms);
    }

private:
    Clock::time_point end_;
};

}  // namespace ldt

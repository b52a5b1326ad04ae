#pragma once
// Seam: the pause between a query and the read of its reply.

namespace ldt {

class Clock {
public:
    virtual ~Clock() = default;
    // Blocks the calling thread for `milliseconds`.
    virtual void Pause(unsigned milliseconds) = 0;
};

}  // namespace ldt

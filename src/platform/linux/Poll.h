#pragma once
// poll() that is not cut short by signals: an interrupted wait waits again
// for the time that is left.

#include "platform/Deadline.h"
#include "platform/linux/UniqueFd.h"

#include <poll.h>

namespace ldt {

// Waits until one of `fds` is ready or `deadline` has passed. Returns what
// poll returns: the number of ready entries (their revents set), 0 once the
// deadline has passed, -1 with errno on an error other than EINTR.
inline int PollUntil(pollfd* fds, nfds_t count, const Deadline& deadline) {
    return RetryEintr([&] { return ::poll(fds, count, deadline.RemainingMs<int>()); });
}

// The same without a deadline: waits until one of `fds` is ready.
inline int PollForever(pollfd* fds, nfds_t count) {
    return RetryEintr([&] { return ::poll(fds, count, -1); });
}

}  // namespace ldt

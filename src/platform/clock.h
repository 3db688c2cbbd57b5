// The wall clock, for time stamps only (the host log's first field and the
// request ids). It is the system's real time, which can be set back or jump,
// so nothing measures durations with it. Never blocks and cannot fail.
#pragma once

#include <cstdint>

namespace orvix::platform {

// Whole milliseconds since the Unix epoch, fractions cut off; 0 before the epoch.
std::uint64_t unix_time_ms();

}  // namespace orvix::platform

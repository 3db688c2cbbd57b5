// Wall clock and process identity.
#pragma once

#include <cstdint>

namespace orvix::platform {

// Whole milliseconds since the Unix epoch, fractions cut off; 0 before the epoch.
std::uint64_t unix_time_ms();

}  // namespace orvix::platform

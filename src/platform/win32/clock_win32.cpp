#include "platform/clock.h"

#include <windows.h>

namespace orvix::platform {

std::uint64_t unix_time_ms() {
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  // 100-nanosecond ticks since 1601-01-01.
  const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ull;
  if (ticks < kUnixEpochTicks) return 0;
  return (ticks - kUnixEpochTicks) / 10000u;
}

}  // namespace orvix::platform

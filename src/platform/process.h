// The running process.
#pragma once

#include <cstdint>

namespace orvix::platform {

std::uint32_t current_process_id();

}  // namespace orvix::platform

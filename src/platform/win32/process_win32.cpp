#include "platform/process.h"

#include <windows.h>

namespace orvix::platform {

std::uint32_t current_process_id() { return static_cast<std::uint32_t>(GetCurrentProcessId()); }

}  // namespace orvix::platform

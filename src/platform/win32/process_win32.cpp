#include "platform/process.h"

#include <windows.h>

namespace orvix::platform {

std::uint32_t current_process_id() { return static_cast<std::uint32_t>(GetCurrentProcessId()); }

// The process heap offers no setting for when it gives large blocks back.
void keep_freed_memory_for_reuse() {}

}  // namespace orvix::platform

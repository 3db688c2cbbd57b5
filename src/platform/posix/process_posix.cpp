#include "platform/process.h"

#include <unistd.h>

namespace orvix::platform {

std::uint32_t current_process_id() { return static_cast<std::uint32_t>(getpid()); }

}  // namespace orvix::platform

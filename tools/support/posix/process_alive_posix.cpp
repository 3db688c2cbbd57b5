#include "support/process_alive.h"

#include <signal.h>

#include <cerrno>
#include <climits>

namespace orvix::support {

bool process_alive(std::uint32_t pid) {
  // 0 and ids beyond pid_t would name a group or every process to kill().
  if (pid == 0 || pid > static_cast<std::uint32_t>(INT_MAX)) return false;
  // EPERM: it exists, but belongs to another user.
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace orvix::support

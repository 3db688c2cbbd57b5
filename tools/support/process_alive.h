// Whether a process id names a running process, for a file that carries
// the id of the process that wrote it. An id the system has since given to
// another process counts as alive: the answer errs on the side of keeping
// what may still be in use.
#pragma once

#include <cstdint>

namespace orvix::support {

bool process_alive(std::uint32_t pid);

}  // namespace orvix::support

// The running process.
#pragma once

#include <cstdint>

namespace orvix::platform {

std::uint32_t current_process_id();

// Asks the C library to keep the memory the process frees for its next
// allocations, rather than give it back to the system at once. A host that
// serves page-sized messages allocates and frees buffers of hundreds of
// kilobytes for every request; each one given back and taken anew has every
// page faulted in and zeroed by the system again, which cost more than all
// the JSON work of such a request. Blocks above a few MiB still come from
// the system and go back to it when freed, and a free heap top beyond a few
// times that is trimmed, so an occasional huge message does not stay
// resident. Does nothing where the C library has no such settings.
void keep_freed_memory_for_reuse();

}  // namespace orvix::platform

#include "platform/process.h"

#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace orvix::platform {

std::uint32_t current_process_id() { return static_cast<std::uint32_t>(getpid()); }

void keep_freed_memory_for_reuse() {
#if defined(__GLIBC__)
  // glibc maps each block above its threshold (128 KiB at first) on its own
  // and unmaps it when freed, and trims a free heap top above twice that.
  constexpr int kOwnMappingFrom = 4 * 1024 * 1024;
  constexpr int kTrimFrom = 4 * kOwnMappingFrom;
  (void)mallopt(M_MMAP_THRESHOLD, kOwnMappingFrom);
  (void)mallopt(M_TRIM_THRESHOLD, kTrimFrom);
#endif
}

}  // namespace orvix::platform

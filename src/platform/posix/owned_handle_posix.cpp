#include "platform/owned_handle.h"

#include <unistd.h>

namespace orvix::platform {

Result<void, OsError> OwnedHandle::close() {
  if (!is_open()) return {};
  // The descriptor is gone whatever close() reports (EINTR included);
  // retrying could close one another part of the process has opened since.
  if (::close(static_cast<int>(release())) != 0) return last_os_error();
  return {};
}

}  // namespace orvix::platform

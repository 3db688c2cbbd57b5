#include "platform/owned_handle.h"

#include <windows.h>

namespace orvix::platform {

Result<void, OsError> OwnedHandle::close() {
  if (!is_open()) return {};
  if (!CloseHandle(reinterpret_cast<HANDLE>(release()))) return last_os_error();
  return {};
}

}  // namespace orvix::platform

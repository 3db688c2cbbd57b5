#include "platform/win32/handle_io.h"

namespace orvix::platform::win32 {

Result<void, OsError> write_all(HANDLE handle, std::string_view bytes, std::size_t& written) {
  written = 0;
  while (written < bytes.size()) {
    const std::size_t left = bytes.size() - written;
    const DWORD chunk = left > MAXDWORD ? MAXDWORD : static_cast<DWORD>(left);
    DWORD done = 0;
    if (!WriteFile(handle, bytes.data() + written, chunk, &done, nullptr)) return last_os_error();
    if (done == 0) return os_error_from_code(ERROR_WRITE_FAULT);
    written += done;
  }
  return {};
}

}  // namespace orvix::platform::win32

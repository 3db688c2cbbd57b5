#include "platform/win32/handle_io.h"

namespace orvix::platform::win32 {

boost::system::result<void, OsError> write_all(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > MAXDWORD ? MAXDWORD : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr)) return last_os_error();
    if (written == 0) return os_error_from_code(ERROR_WRITE_FAULT);
    bytes.remove_prefix(written);
  }
  return {};
}

}  // namespace orvix::platform::win32

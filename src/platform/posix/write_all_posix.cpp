#include "platform/posix/write_all_posix.h"

#include <cerrno>

namespace orvix::platform::posix {

Result<void, OsError> write_all(int fd, std::string_view bytes, std::size_t& written, WriteOnce write_once) {
  written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write_once(fd, bytes.data() + written, bytes.size() - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
    } else if (n == 0) {
      return os_error_from_code(EIO);
    } else if (errno != EINTR) {
      return last_os_error();
    }
  }
  return {};
}

}  // namespace orvix::platform::posix

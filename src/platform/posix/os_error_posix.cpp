#include "platform/os_error.h"

#include <cerrno>
#include <cstring>

namespace orvix::platform {

OsError os_error_from_code(int code) {
  char buffer[256];
  // GNU strerror_r may return a static string instead of filling the buffer.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
  const char* message = strerror_r(code, buffer, sizeof buffer);
#else
  const char* message = strerror_r(code, buffer, sizeof buffer) == 0 ? buffer : "Unknown error";
#endif
  return OsError{code, std::string(message) + " (os error " + std::to_string(code) + ")"};
}

OsError last_os_error() { return os_error_from_code(errno); }

OsError out_of_memory_error() { return os_error_from_code(ENOMEM); }

}  // namespace orvix::platform

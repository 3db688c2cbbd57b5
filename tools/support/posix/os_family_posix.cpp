#include "support/os_family.h"

#include <sys/utsname.h>

#include <cstring>

namespace orvix::support {

OsFamily os_family() {
  struct utsname names {};
  if (::uname(&names) != 0) return OsFamily::other_unix;
  if (std::strcmp(names.sysname, "Linux") == 0) return OsFamily::linux;
  if (std::strcmp(names.sysname, "Darwin") == 0) return OsFamily::macos;
  return OsFamily::other_unix;
}

}  // namespace orvix::support

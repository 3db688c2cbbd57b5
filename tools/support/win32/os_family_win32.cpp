#include "support/os_family.h"

namespace orvix::platform {

OsFamily os_family() { return OsFamily::windows; }

}  // namespace orvix::platform

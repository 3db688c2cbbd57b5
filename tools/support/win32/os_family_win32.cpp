#include "support/os_family.h"

namespace orvix::support {

OsFamily os_family() { return OsFamily::windows; }

}  // namespace orvix::support

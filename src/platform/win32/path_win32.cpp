#include "platform/path.h"

namespace orvix::platform {

char path_separator() { return '\\'; }

}  // namespace orvix::platform

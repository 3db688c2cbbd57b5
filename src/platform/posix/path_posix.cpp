#include "base/path.h"

namespace orvix {

char path_separator() { return '/'; }

}  // namespace orvix

#include "platform/environment.h"

#include <cstdlib>

#include "platform/utf8.h"

namespace orvix::platform {

std::optional<std::string> environment_variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  std::string text(value);
  // POSIX values are bytes; only those that are UTF-8 count as set.
  if (!is_valid_utf8(text)) return std::nullopt;
  return text;
}

}  // namespace orvix::platform

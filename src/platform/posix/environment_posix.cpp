#include "platform/environment.h"

#include <cstdlib>
#include <string_view>

#include "base/utf8.h"

namespace orvix::platform {

std::optional<std::string> environment_variable(const char* name) {
  std::string text;
  if (!append_environment_variable(name, text)) return std::nullopt;
  return text;
}

bool append_environment_variable(const char* name, std::string& out) {
  const char* value = std::getenv(name);
  if (value == nullptr) return false;
  const std::string_view text(value);
  // POSIX values are bytes; only those that are UTF-8 count as set.
  if (!is_valid_utf8(text)) return false;
  out.append(text);
  return true;
}

}  // namespace orvix::platform

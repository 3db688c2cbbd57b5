#include "url/special_schemes.h"

namespace orvix::url {

bool is_special_scheme(std::string_view scheme) { return scheme == "file" || default_port(scheme).has_value(); }

std::optional<std::uint16_t> default_port(std::string_view scheme) {
  if (scheme == "http" || scheme == "ws") return 80;
  if (scheme == "https" || scheme == "wss") return 443;
  if (scheme == "ftp") return 21;
  return std::nullopt;
}

}  // namespace orvix::url

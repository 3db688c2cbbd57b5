// A decoded domain to the ASCII form a URL carries.
//
// ASCII input without "xn--" labels is only lower-cased; anything else goes
// through the platform's IDNA (platform/idna.h). Fails with "invalid
// international domain name" when IDNA rejects the domain or leaves nothing,
// and with "invalid domain character" when the result holds a character no
// domain may contain (space, '%', '/', controls, ...).
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"

namespace orvix::url {

[[nodiscard]] Result<std::string> domain_to_ascii(std::string_view utf8_domain);

}  // namespace orvix::url

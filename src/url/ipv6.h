// IPv6 addresses as written between the brackets of a URL host: eight
// colon-separated hex pieces, one "::" standing for a run of zero pieces,
// and optionally the last 32 bits as dotted decimal IPv4 ("::ffff:1.2.3.4").
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"

namespace orvix::url {

using Ipv6Address = std::array<std::uint16_t, 8>;

// The eight pieces of the text without its brackets, or "invalid IPv6 address".
[[nodiscard]] Result<Ipv6Address> parse_ipv6(std::string_view text);

// The canonical text without brackets: lower-case hex without leading
// zeros, the first longest run of two or more zero pieces as "::".
std::string serialize_ipv6(const Ipv6Address& address);

}  // namespace orvix::url

// IPv4 addresses in the forms browsers accept: one to four dot-separated
// parts, each decimal, octal (leading 0) or hex (leading 0x), the last part
// filling all remaining bytes ("1.65535" is 1.0.255.255). One trailing dot is
// allowed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.h"

namespace orvix::url {

// Whether an ASCII domain's last label is a number (decimal digits, or
// anything the IPv4 number syntax reads), which makes the whole host an
// IPv4 address or an error.
bool ends_in_a_number(std::string_view domain);

// The address as a 32-bit number, or "invalid IPv4 address".
[[nodiscard]] Result<std::uint32_t> parse_ipv4(std::string_view text);

// Dotted decimal: "192.0.2.1".
std::string serialize_ipv4(std::uint32_t address);

}  // namespace orvix::url

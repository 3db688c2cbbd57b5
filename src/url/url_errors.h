// The failure texts of the URL parser, one per kind of fault. They reach
// users verbatim, so they are short, lower-case and name the part at fault.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"

namespace orvix::url {

inline constexpr std::string_view kRelativeWithoutBase = "relative URL without a base";
inline constexpr std::string_view kEmptyHost = "empty host";
inline constexpr std::string_view kInvalidPort = "invalid port number";
inline constexpr std::string_view kInvalidIpv4 = "invalid IPv4 address";
inline constexpr std::string_view kInvalidIpv6 = "invalid IPv6 address";
inline constexpr std::string_view kInvalidDomain = "invalid international domain name";
inline constexpr std::string_view kInvalidDomainCharacter = "invalid domain character";
inline constexpr std::string_view kInvalidHostCharacter = "invalid host character";
inline constexpr std::string_view kInvalidUtf8 = "invalid UTF-8";

inline Failure url_error(std::string_view text) { return Failure(Failure::Kind::kInvalidInput, std::string(text)); }

}  // namespace orvix::url

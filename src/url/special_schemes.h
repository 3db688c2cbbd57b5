// The special schemes: those with a default port and host-ful, hierarchical
// URLs whose hosts are domains or IP addresses rather than opaque text.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace orvix::url {

// http, https, ws, wss, ftp and file (scheme already lower-cased).
bool is_special_scheme(std::string_view scheme);

// 80 for http and ws, 443 for https and wss, 21 for ftp; nothing otherwise
// (file is special but has no port).
std::optional<std::uint16_t> default_port(std::string_view scheme);

}  // namespace orvix::url

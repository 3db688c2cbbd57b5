// Checking the runtime's WebSocket URL before anything touches the network.
//
// The URL text is parsed as an absolute WHATWG URL (no base). Success gives the
// host and port to connect to; failures come back in this order of checks:
// ws_url_invalid (parser's description), ws_url_unsupported (any scheme but
// "ws", carrying the scheme), ws_url_missing_host, ws_url_missing_port (no
// port, or the default port 80, which the parser drops). Pure computation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <boost/system/result.hpp>

#include "bridge/runtime_error.h"

namespace orvix::bridge {

struct RuntimeEndpoint {
  // The host as the resolver takes it: a lower-case domain, a dotted IPv4
  // address, or an IPv6 address without the brackets of its URL form.
  std::string host;
  std::uint16_t port = 0;
};

[[nodiscard]] boost::system::result<RuntimeEndpoint, RuntimeError> check_runtime_url(std::string_view ws_url);

}  // namespace orvix::bridge

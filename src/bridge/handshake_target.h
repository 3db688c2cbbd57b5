// The Host header and request target of the WebSocket opening handshake.
//
// Both are taken from the runtime's URL text exactly as the descriptor gives
// it, read as an RFC 3986 absolute URI with an authority: the Host header is
// the authority's host and port (never its user information), the target is
// the path ("/" when empty) followed by "?" and the query when there is one;
// a fragment is dropped. A text that is not such a URI is refused with
// ws_handshake_failed, so whitespace or line breaks in the URL can never reach
// the handshake request. Pure computation.
#pragma once

#include <string>
#include <string_view>

#include <boost/system/result.hpp>

#include "bridge/runtime_error.h"

namespace orvix::bridge {

struct HandshakeTarget {
  std::string host_header;  // "127.0.0.1:9000", "[::1]:9000", "example.test:81"
  std::string target;       // "/", "/socket?token=abc"
};

[[nodiscard]] boost::system::result<HandshakeTarget, RuntimeError> handshake_target_from_url(std::string_view ws_url);

}  // namespace orvix::bridge

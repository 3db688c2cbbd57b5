// The Host header and request target of the WebSocket opening handshake.
//
// Both are taken from the runtime's URL text exactly as the descriptor gives
// it, split by the generic syntax of RFC 3986:
//
//   scheme ":" "//" [userinfo "@"] host [":" port] path ["?" query] ["#" fragment]
//
// The authority runs from "//" to the first "/", "?" or "#"; the user
// information, if any, up to its last "@". The host is an IP literal in
// brackets or a registered name, which takes in any dotted text that merely
// begins like an IPv4 address ("127.0.0.1.", "127.0.0.0x1", "127.0.0.1.example").
// The Host header is the host and port as written, never the user
// information; the target is the path ("/" when empty), then "?" and the query
// when there is one; the fragment is dropped.
//
// Each part must keep to its RFC 3986 characters: letters, digits, "-._~",
// "%" with two hex digits, "!$&'()*+,;=", and ":" "@" "/" "?" where the
// grammar allows them. Whitespace, line breaks and non-ASCII bytes therefore
// never reach the request line: such a text is refused with
// ws_handshake_failed, as is one without an authority or with an empty host;
// the error's text says which part is wrong. IP literals are checked for
// their characters only: the WHATWG parser has already read the address
// itself. Pure computation.
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"
#include "bridge/runtime_error.h"

namespace orvix::bridge {

struct HandshakeTarget {
  std::string host_header;  // "127.0.0.1:9000", "[::1]:9000", "127.0.0.1.:9000"
  std::string target;       // "/", "/socket?token=abc"
};

[[nodiscard]] Result<HandshakeTarget, RuntimeError> handshake_target_from_url(std::string_view ws_url);

}  // namespace orvix::bridge

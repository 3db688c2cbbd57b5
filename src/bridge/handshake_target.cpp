#include "bridge/handshake_target.h"

#include <boost/url/parse.hpp>
#include <boost/url/url_view.hpp>

namespace orvix::bridge {

boost::system::result<HandshakeTarget, RuntimeError> handshake_target_from_url(std::string_view ws_url) {
  auto uri = boost::urls::parse_uri(ws_url);
  if (!uri) {
    return RuntimeError{RuntimeErrorCode::ws_handshake_failed,
                        "WebSocket URL is not a valid absolute URI: " + uri.error().message()};
  }
  if (!uri->has_authority() || uri->encoded_host().empty()) {
    return RuntimeError{RuntimeErrorCode::ws_handshake_failed, "WebSocket URL has no host for the handshake"};
  }
  // After an authority the path is empty or begins with "/". The URI parser can
  // take the IPv4-looking start of a longer name ("127.0.0.1." or "127.0.0.1x")
  // as the whole host and leave the rest, port included, as a relative path;
  // sending that would put a port-less Host and a target like ".:9000/" on the wire.
  if (!uri->encoded_path().empty() && uri->encoded_path().front() != '/') {
    return RuntimeError{RuntimeErrorCode::ws_handshake_failed,
                        "WebSocket URL host could not be read for the handshake"};
  }

  HandshakeTarget result;
  result.host_header = std::string(uri->encoded_host_and_port());
  result.target = uri->encoded_path().empty() ? std::string("/") : std::string(uri->encoded_path());
  if (uri->has_query()) {
    result.target += '?';
    result.target += uri->encoded_query();
  }
  return result;
}

}  // namespace orvix::bridge

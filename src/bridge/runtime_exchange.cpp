#include "bridge/runtime_exchange.h"

#include "bridge/runtime_url.h"
#include "bridge/websocket_exchange.h"
#include "platform/tcp_socket.h"

namespace orvix::bridge {

boost::system::result<json::Value, RuntimeError> runtime_exchange(std::string_view ws_url, json::Value request,
                                                                 std::string_view expected_request_id) {
  return runtime_exchange(ws_url, std::move(request), expected_request_id, ExchangeTimeouts{});
}

boost::system::result<json::Value, RuntimeError> runtime_exchange(std::string_view ws_url, json::Value request,
                                                                 std::string_view expected_request_id,
                                                                 const ExchangeTimeouts& timeouts) {
  auto endpoint = check_runtime_url(ws_url);
  if (!endpoint) return endpoint.error();

  auto address = platform::resolve_first_address(endpoint->host, endpoint->port);
  if (!address) return RuntimeError{RuntimeErrorCode::host_resolve_failed, address.error().text};
  if (!*address) return RuntimeError{RuntimeErrorCode::host_resolve_failed, std::string(kHostDidNotResolve)};

  auto socket = platform::TcpSocket::connect(**address, timeouts.connect);
  if (!socket) return RuntimeError{RuntimeErrorCode::connect_failed, socket.error().os.text};
  if (auto set = socket->set_receive_timeout(timeouts.socket_io); !set) {
    return RuntimeError{RuntimeErrorCode::connect_failed, set.error().text};
  }
  if (auto set = socket->set_send_timeout(timeouts.socket_io); !set) {
    return RuntimeError{RuntimeErrorCode::connect_failed, set.error().text};
  }

  return exchange_over_websocket(std::move(*socket), ws_url, request, expected_request_id, timeouts.socket_io);
}

}  // namespace orvix::bridge

// One request to the runtime and the one response that answers it.
//
// Each call stands alone: it checks the WebSocket URL (runtime_url.h),
// resolves the host (first address only), connects within the connect
// timeout, sets the socket's receive and send timeouts, performs the
// WebSocket opening handshake, sends `request` as one compact JSON text
// message and reads until the message whose "requestId" string equals
// `expected_request_id` arrives (websocket_exchange.h). That message, a JSON
// object, is the result. Nothing is kept between calls and nothing is retried.
//
// Failures, the first of which ends the call: the URL kinds,
// host_resolve_failed, connect_failed ("connection timed out" when the
// connect timeout passes), then the WebSocket kinds of websocket_exchange.h.
// The socket is closed before the call returns, on every path.
//
// Blocks the calling thread: in the resolver, up to the connect timeout in
// the connect, and up to the I/O timeout in each single socket read or write.
// A runtime that keeps sending messages that answer other requests keeps the
// call waiting.
#pragma once

#include <chrono>
#include <string_view>

#include <boost/system/result.hpp>

#include "bridge/runtime_error.h"
#include "json/value.h"

namespace orvix::bridge {

struct ExchangeTimeouts {
  std::chrono::milliseconds connect{1500};
  std::chrono::milliseconds socket_io{20000};  // each single read or write
};

[[nodiscard]] boost::system::result<json::Value, RuntimeError> runtime_exchange(std::string_view ws_url,
                                                                              json::Value request,
                                                                              std::string_view expected_request_id);

// The same with other timeouts; the host itself always uses the defaults.
[[nodiscard]] boost::system::result<json::Value, RuntimeError> runtime_exchange(
    std::string_view ws_url, json::Value request, std::string_view expected_request_id,
    const ExchangeTimeouts& timeouts);

}  // namespace orvix::bridge

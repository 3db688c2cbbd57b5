// The WebSocket part of a runtime exchange, over an already connected socket:
// the opening handshake, the one request message, and reading until the
// answer arrives.
//
// Success is the first text message that parses as a JSON object whose
// "requestId" is a string equal byte for byte to `expected_request_id`;
// non-text messages and JSON that answers something else are skipped.
// Failures: ws_handshake_failed, request_send_failed, response_read_failed
// (the WebSocket library's or transport's description; this includes the
// runtime closing the connection, a 20-second silence, a message over 64 MiB
// or a frame over 16 MiB) and response_invalid (a text message that is not
// JSON: the parser's description; nothing further is read).
//
// Takes the socket over and closes it before returning, on every path,
// without a WebSocket closing handshake: no Close frame is sent, not even in
// answer to the runtime's own Close. Blocks; each socket read or write waits
// at most `io_timeout`, the exchange as a whole has no limit.
#pragma once

#include <chrono>
#include <string_view>

#include <boost/system/result.hpp>

#include "bridge/runtime_error.h"
#include "json/value.h"
#include "platform/tcp_socket.h"

namespace orvix::bridge {

inline constexpr std::size_t kMaxMessageBytes = 64u * 1024u * 1024u;

[[nodiscard]] boost::system::result<json::Value, RuntimeError> exchange_over_websocket(
    platform::TcpSocket socket, std::string_view ws_url, const json::Value& request,
    std::string_view expected_request_id, std::chrono::milliseconds io_timeout);

// True when `message` is an object whose "requestId" is the string `request_id`.
bool answers_request(const json::Value& message, std::string_view request_id);

}  // namespace orvix::bridge

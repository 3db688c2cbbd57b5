// The runtime bridge's one failure type and its conversion to a host error.
//
// Every failure of an exchange with the runtime is one of these kinds. All but
// the two "missing" URL kinds carry a text: a description from the URL parser,
// resolver, socket layer, WebSocket library or JSON parser, or one of the
// bridge's own fixed sentences. The conversion turns the kind into the code the
// browser sees and picks the message.
#pragma once

#include <string>
#include <string_view>

#include "protocol/host_error.h"

namespace orvix::bridge {

enum class RuntimeErrorCode {
  ws_url_invalid,        // the URL does not parse; text: the parser's description
  ws_url_unsupported,    // the scheme is not "ws"; text: the scheme
  ws_url_missing_host,   // no text
  ws_url_missing_port,   // no port, or the default port 80; no text
  host_resolve_failed,   // text: the resolver's error, or kHostDidNotResolve
  connect_failed,        // text: the system's error, "connection timed out" on timeout
  ws_handshake_failed,   // text: the WebSocket library's description, or why the URL gives no handshake
  request_send_failed,   // text: the WebSocket library's description
  response_read_failed,  // text: the WebSocket library's description
  response_invalid,      // text: the JSON parser's description, or kUnexpectedResponseType
  request_invalid,       // text: kPayloadNotObject or kRequestIdNotNonEmptyString
};

struct RuntimeError {
  RuntimeErrorCode code;
  std::string text;
};

inline constexpr std::string_view kHostDidNotResolve = "Runtime host did not resolve.";
inline constexpr std::string_view kUnexpectedResponseType = "Runtime returned an unexpected response type.";
inline constexpr std::string_view kPayloadNotObject = "Runtime request payload must be a JSON object.";
inline constexpr std::string_view kRequestIdNotNonEmptyString =
    "Runtime requestId must be a non-empty string when provided.";

// "runtime_ws_url_invalid", ... : the code the browser sees.
std::string_view runtime_error_code_name(RuntimeErrorCode code);

// The host error for `error`: its code name, and as message the carried text,
// except for the unsupported scheme ("Runtime WebSocket URL scheme is not
// supported: <scheme>") and the two missing URL parts (fixed sentences).
protocol::HostError runtime_error_to_host_error(const RuntimeError& error);

}  // namespace orvix::bridge

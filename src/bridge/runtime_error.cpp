#include "bridge/runtime_error.h"

namespace orvix::bridge {

std::string_view runtime_error_code_name(RuntimeErrorCode code) {
  switch (code) {
    case RuntimeErrorCode::ws_url_invalid: return "runtime_ws_url_invalid";
    case RuntimeErrorCode::ws_url_unsupported: return "runtime_ws_url_unsupported";
    case RuntimeErrorCode::ws_url_missing_host: return "runtime_ws_url_missing_host";
    case RuntimeErrorCode::ws_url_missing_port: return "runtime_ws_url_missing_port";
    case RuntimeErrorCode::host_resolve_failed: return "runtime_host_resolve_failed";
    case RuntimeErrorCode::connect_failed: return "runtime_connect_failed";
    case RuntimeErrorCode::ws_handshake_failed: return "runtime_ws_handshake_failed";
    case RuntimeErrorCode::request_send_failed: return "runtime_request_send_failed";
    case RuntimeErrorCode::response_read_failed: return "runtime_response_read_failed";
    case RuntimeErrorCode::response_invalid: return "runtime_response_invalid";
    case RuntimeErrorCode::request_invalid: return "runtime_request_invalid";
  }
  return "runtime_error";
}

protocol::HostError runtime_error_to_host_error(const RuntimeError& error) {
  protocol::HostError host_error{std::string(runtime_error_code_name(error.code)), error.text};
  switch (error.code) {
    case RuntimeErrorCode::ws_url_unsupported:
      host_error.message = "Runtime WebSocket URL scheme is not supported: " + error.text;
      break;
    case RuntimeErrorCode::ws_url_missing_host: host_error.message = "Runtime WebSocket URL is missing a host."; break;
    case RuntimeErrorCode::ws_url_missing_port: host_error.message = "Runtime WebSocket URL is missing a port."; break;
    case RuntimeErrorCode::ws_url_invalid:
    case RuntimeErrorCode::host_resolve_failed:
    case RuntimeErrorCode::connect_failed:
    case RuntimeErrorCode::ws_handshake_failed:
    case RuntimeErrorCode::request_send_failed:
    case RuntimeErrorCode::response_read_failed:
    case RuntimeErrorCode::response_invalid:
    case RuntimeErrorCode::request_invalid: break;  // the carried text is the message
  }
  return host_error;
}

}  // namespace orvix::bridge

#include "bridge/runtime_error.h"

#include <gtest/gtest.h>

namespace orvix::bridge {
namespace {

TEST(RuntimeErrorToHostError, GivesTheCodeNameAndTheFixedOrCarriedMessage) {
  struct Case {
    RuntimeErrorCode code;
    const char* text;
    const char* name;
    const char* message;
  };
  const Case cases[] = {
      {RuntimeErrorCode::ws_url_invalid, "invalid URL", "runtime_ws_url_invalid", "invalid URL"},
      {RuntimeErrorCode::ws_url_unsupported, "wss", "runtime_ws_url_unsupported",
       "Runtime WebSocket URL scheme is not supported: wss"},
      {RuntimeErrorCode::ws_url_missing_host, "", "runtime_ws_url_missing_host",
       "Runtime WebSocket URL is missing a host."},
      {RuntimeErrorCode::ws_url_missing_port, "", "runtime_ws_url_missing_port",
       "Runtime WebSocket URL is missing a port."},
      {RuntimeErrorCode::host_resolve_failed, "Runtime host did not resolve.", "runtime_host_resolve_failed",
       "Runtime host did not resolve."},
      {RuntimeErrorCode::connect_failed, "connection timed out", "runtime_connect_failed", "connection timed out"},
      {RuntimeErrorCode::ws_handshake_failed, "t", "runtime_ws_handshake_failed", "t"},
      {RuntimeErrorCode::request_send_failed, "t", "runtime_request_send_failed", "t"},
      {RuntimeErrorCode::response_read_failed, "t", "runtime_response_read_failed", "t"},
      {RuntimeErrorCode::response_invalid, "t", "runtime_response_invalid", "t"},
      {RuntimeErrorCode::request_invalid, "t", "runtime_request_invalid", "t"},
  };
  for (const Case& test : cases) {
    const protocol::HostError error = runtime_error_to_host_error({test.code, test.text});
    EXPECT_EQ(error.code, test.name);
    EXPECT_EQ(error.message, test.message) << test.name;
  }
}

}  // namespace
}  // namespace orvix::bridge

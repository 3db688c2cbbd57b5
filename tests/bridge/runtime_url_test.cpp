#include "bridge/runtime_url.h"

#include <gtest/gtest.h>

#include "bridge/handshake_target.h"
#include "bridge/runtime_exchange.h"

namespace orvix::bridge {
namespace {

struct UrlCase {
  const char* url;
  RuntimeErrorCode code;
  const char* message;  // of the host error; nullptr where the URL parser words it
};

TEST(RuntimeUrl, RefusedUrlsGiveTheirKindAndMessage) {
  const UrlCase cases[] = {
      {"", RuntimeErrorCode::ws_url_invalid, nullptr},
      {"127.0.0.1:9000", RuntimeErrorCode::ws_url_invalid, nullptr},
      {"no scheme at all", RuntimeErrorCode::ws_url_invalid, nullptr},
      {"ws://exa mple:9000/", RuntimeErrorCode::ws_url_invalid, nullptr},
      {"wss://127.0.0.1:9000/", RuntimeErrorCode::ws_url_unsupported,
       "Runtime WebSocket URL scheme is not supported: wss"},
      {"HTTP://127.0.0.1:9000/", RuntimeErrorCode::ws_url_unsupported,
       "Runtime WebSocket URL scheme is not supported: http"},
      {"ws:", RuntimeErrorCode::ws_url_invalid, nullptr},
      {"ws://127.0.0.1/", RuntimeErrorCode::ws_url_missing_port, "Runtime WebSocket URL is missing a port."},
      {"ws://127.0.0.1:80/", RuntimeErrorCode::ws_url_missing_port, "Runtime WebSocket URL is missing a port."},
  };
  for (const UrlCase& test : cases) {
    // Through the whole exchange: the URL checks come before any network use.
    auto result = runtime_exchange(test.url, json::Object{}, "id");
    ASSERT_FALSE(result.has_value()) << test.url;
    EXPECT_EQ(result.error().code, test.code) << test.url << ": " << result.error().text;
    const protocol::HostError host_error = runtime_error_to_host_error(result.error());
    EXPECT_EQ(host_error.code, runtime_error_code_name(test.code));
    if (test.message != nullptr) {
      EXPECT_EQ(host_error.message, test.message) << test.url;
    } else {
      EXPECT_FALSE(host_error.message.empty()) << test.url;
      EXPECT_EQ(host_error.message, result.error().text);
    }
  }
}

TEST(RuntimeUrl, AcceptedUrlsGiveTheResolverHostAndPort) {
  auto plain = check_runtime_url("ws://127.0.0.1:81/");
  ASSERT_TRUE(plain.has_value());
  EXPECT_EQ(plain->host, "127.0.0.1");
  EXPECT_EQ(plain->port, 81);

  auto named = check_runtime_url("  WS://LocalHost:9000/path?q#f ");
  ASSERT_TRUE(named.has_value()) << named.error().text;
  EXPECT_EQ(named->host, "localhost");

  auto v6 = check_runtime_url("ws://[0:0::1]:9000/");
  ASSERT_TRUE(v6.has_value()) << v6.error().text;
  EXPECT_EQ(v6->host, "::1");
}

TEST(HandshakeTarget, ComesFromTheUrlTextAsWritten) {
  auto target = handshake_target_from_url("ws://u:p@Runtime.Test:9000/a/%7Eb?x=1&y#frag");
  ASSERT_TRUE(target.has_value()) << target.error().text;
  EXPECT_EQ(target->host_header, "Runtime.Test:9000");
  EXPECT_EQ(target->target, "/a/%7Eb?x=1&y");

  auto bare = handshake_target_from_url("ws://[::1]:9000");
  ASSERT_TRUE(bare.has_value());
  EXPECT_EQ(bare->host_header, "[::1]:9000");
  EXPECT_EQ(bare->target, "/");

  for (const char* refused : {"ws://h:1/a b", "ws://h:1/\r\nX: y", " ws://h:1/", "ws:h:1", "ws:\\\\h:1\\",
                              "ws://127.0.0.1.:9000/", "ws://127.0.0.1x:9000/"}) {
    auto result = handshake_target_from_url(refused);
    ASSERT_FALSE(result.has_value()) << refused;
    EXPECT_EQ(result.error().code, RuntimeErrorCode::ws_handshake_failed);
  }
}

}  // namespace
}  // namespace orvix::bridge

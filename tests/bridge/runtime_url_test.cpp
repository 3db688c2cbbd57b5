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
  struct Case {
    const char* url;
    const char* host_header;
    const char* target;
  };
  const Case cases[] = {
      {"ws://u:p@Runtime.Test:9000/a/%7Eb?x=1&y#frag", "Runtime.Test:9000", "/a/%7Eb?x=1&y"},
      {"ws://[::1]:9000", "[::1]:9000", "/"},
      {"ws://a:b@[v1.x:y]:9000?q/?#f/?", "[v1.x:y]:9000", "/?q/?"},
      // Names that begin like an IPv4 address are registered names, whole.
      {"ws://127.0.0.1.:9000/", "127.0.0.1.:9000", "/"},
      {"ws://127.0.0.0x1:9000/x:@!$&'()*+,;=~", "127.0.0.0x1:9000", "/x:@!$&'()*+,;=~"},
      {"ws://127.0.0.1.example:9000/#", "127.0.0.1.example:9000", "/"},
      {"ws://127.0.0.1x:9000?", "127.0.0.1x:9000", "/?"},
  };
  for (const Case& test : cases) {
    auto target = handshake_target_from_url(test.url);
    ASSERT_TRUE(target.has_value()) << test.url << ": " << target.error().text;
    EXPECT_EQ(target->host_header, test.host_header) << test.url;
    EXPECT_EQ(target->target, test.target) << test.url;
  }
}

TEST(HandshakeTarget, RefusesTextThatCouldCorruptTheRequestLine) {
  const char* refused[] = {
      "ws://h:1/a b", "ws://h:1/\r\nX: y", " ws://h:1/", "ws://h:1/\t", "ws://h:1/a\xc3\xa9", "ws://h\xc3\xa9:1/",
      "ws://h:1/%zz", "ws://h:1/%4", "ws://h:1/?a b", "ws://h:1/#a#b", "ws://h:1x/", "ws://h:1:2/", "ws://h :1/",
      "ws://u@v@h:1/", "ws://[::1:1/", "ws://[::1]x:1/", "ws://[1.2.3.4]:1/", "ws://[v.x]:1/", "ws://h|:1/",
      "1ws://h:1/",
  };
  for (const char* url : refused) {
    auto result = handshake_target_from_url(url);
    ASSERT_FALSE(result.has_value()) << url;
    EXPECT_EQ(result.error().text.rfind("WebSocket URL is not a valid absolute URI: ", 0), 0u) << url;
  }
  // Without an authority (or with an empty host) there is no Host header to send.
  for (const char* url : {"ws:h:1", "ws:/h:1/", "ws:\\\\h:1\\", "ws://:9000/", "ws://u@/", "ws://"}) {
    auto result = handshake_target_from_url(url);
    ASSERT_FALSE(result.has_value()) << url;
    EXPECT_EQ(result.error().text, "WebSocket URL has no host for the handshake") << url;
  }
  EXPECT_FALSE(handshake_target_from_url(std::string_view("ws://h:1/\0", 10)).has_value());
}

}  // namespace
}  // namespace orvix::bridge

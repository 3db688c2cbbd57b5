#include "bridge/handshake_target.h"

#include <gtest/gtest.h>

namespace orvix::bridge {
namespace {

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
      "ws://h:1/a b",      "ws://h:1/\r\nX: y", " ws://h:1/",    "ws://h:1/\t",   "ws://h:1/a\xc3\xa9",
      "ws://h\xc3\xa9:1/", "ws://h:1/%zz",      "ws://h:1/%4",   "ws://h:1/?a b", "ws://h:1/#a#b",
      "ws://h:1x/",        "ws://h:1:2/",       "ws://h :1/",    "ws://u@v@h:1/", "ws://[::1:1/",
      "ws://[::1]x:1/",    "ws://[1.2.3.4]:1/", "ws://[v.x]:1/", "ws://h|:1/",    "1ws://h:1/",
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

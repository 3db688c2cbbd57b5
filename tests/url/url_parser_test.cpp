#include <gtest/gtest.h>

#include <string>

#include "url/url.h"

namespace orvix::url {
namespace {

std::string fault_of(std::string_view input) {
  auto parsed = parse_url(input);
  return parsed ? "parsed as " + parsed->href() : parsed.error().text;
}

Url parsed_or_empty(std::string_view input) {
  auto parsed = parse_url(input);
  EXPECT_TRUE(parsed) << input << ": " << parsed.error().text;
  return parsed ? *parsed : Url{};
}

TEST(ParseUrl, ReadsTheRuntimeWebSocketAddress) {
  const Url url = parsed_or_empty("ws://127.0.0.1:41234/runtime?token=a#x");
  EXPECT_EQ(url.scheme, "ws");
  EXPECT_EQ(url.host, "127.0.0.1");
  EXPECT_EQ(url.port, 41234);
  EXPECT_EQ(url.path, "/runtime");
  EXPECT_EQ(url.query, "token=a");
  EXPECT_EQ(url.fragment, "x");
  EXPECT_EQ(url.href(), "ws://127.0.0.1:41234/runtime?token=a#x");
}

TEST(ParseUrl, ElidesOnlyTheSchemesOwnDefaultPort) {
  EXPECT_EQ(parsed_or_empty("ws://h:80/").port, std::nullopt);
  EXPECT_EQ(parsed_or_empty("ws://h:0080/").port, std::nullopt);
  EXPECT_EQ(parsed_or_empty("ws://h:443/").port, 443);
  EXPECT_EQ(parsed_or_empty("wss://h:443/").port, std::nullopt);
  EXPECT_EQ(parsed_or_empty("wss://h:80/").port, 80);
  EXPECT_EQ(parsed_or_empty("ws://h:0/").port, 0);
  EXPECT_EQ(parsed_or_empty("ws://h:65535/").port, 65535);
  EXPECT_EQ(parsed_or_empty("sc://h:80/").port, 80);
}

TEST(ParseUrl, LeavesPortAbsentWhenNotWritten) {
  EXPECT_EQ(parsed_or_empty("ws://h/").port, std::nullopt);
  EXPECT_EQ(parsed_or_empty("ws://h:/").port, std::nullopt);
  EXPECT_EQ(parsed_or_empty("ws://h:").href(), "ws://h/");
}

TEST(ParseUrl, KeepsBracketsAroundIpv6Hosts) {
  const Url url = parsed_or_empty("ws://[0:0:0:0:0:0:0:1]:9000");
  EXPECT_EQ(url.host, "[::1]");
  EXPECT_EQ(url.port, 9000);
  EXPECT_EQ(url.href(), "ws://[::1]:9000/");
  EXPECT_EQ(parsed_or_empty("ws://[1:0:0:2:0:0:0:3]/").host, "[1:0:0:2::3]");
  EXPECT_EQ(parsed_or_empty("ws://[1:0:0:2:0:0:3:4]/").host, "[1::2:0:0:3:4]");
  EXPECT_EQ(parsed_or_empty("ws://[::FFFF:192.168.0.1]/").host, "[::ffff:c0a8:1]");
}

TEST(ParseUrl, LowerCasesSchemeAndDomain) {
  const Url url = parsed_or_empty("WS://LocalHost:8080/Path");
  EXPECT_EQ(url.scheme, "ws");
  EXPECT_EQ(url.host, "localhost");
  EXPECT_EQ(url.path, "/Path");
}

TEST(ParseUrl, PercentEncodesCredentials) {
  const Url url = parsed_or_empty("ws://us er:p@ss:w@h:1/");
  EXPECT_EQ(url.username, "us%20er");
  EXPECT_EQ(url.password, "p%40ss%3Aw");
  EXPECT_EQ(url.host, "h");
  EXPECT_EQ(url.href(), "ws://us%20er:p%40ss%3Aw@h:1/");
  EXPECT_EQ(parsed_or_empty("ws://:@h/").href(), "ws://h/");
}

TEST(ParseUrl, StripsOuterControlsAndSpacesAndEveryTabOrNewline) {
  EXPECT_EQ(parsed_or_empty(" \t\x01ws://h:1/\r\n \x1f").href(), "ws://h:1/");
  EXPECT_EQ(parsed_or_empty("ws://h:4\n2\t/a\rb").href(), "ws://h:42/ab");
  EXPECT_EQ(parsed_or_empty("ws://h/a b ").href(), "ws://h/a%20b");
}

TEST(ParseUrl, EncodesOnlyWhatEachComponentForbids) {
  EXPECT_EQ(parsed_or_empty("ws://h/p'\"^{}?q'\"`#f\"`'").href(), "ws://h/p'%22%5E%7B%7D?q%27%22`#f%22%60'");
  EXPECT_EQ(parsed_or_empty("sc://h/?q'").href(), "sc://h/?q'");
  EXPECT_EQ(parsed_or_empty("ws://h/\xC3\xA9").path, "/%C3%A9");
}

TEST(ParseUrl, ResolvesDotSegments) {
  EXPECT_EQ(parsed_or_empty("ws://h/a/./b/../../c/%2E%2e/d/.").path, "/d/");
  EXPECT_EQ(parsed_or_empty("ws://h/../../x").path, "/x");
  EXPECT_EQ(parsed_or_empty("file:///C:/../../x").path, "/C:/x");
}

TEST(ParseUrl, ReadsIpv4InEveryRadix) {
  EXPECT_EQ(parsed_or_empty("ws://0x7f.1/").host, "127.0.0.1");
  EXPECT_EQ(parsed_or_empty("ws://017700000001/").host, "127.0.0.1");
  EXPECT_EQ(parsed_or_empty("ws://4294967295/").host, "255.255.255.255");
  EXPECT_EQ(parsed_or_empty("ws://1.2.3.4./").host, "1.2.3.4");
}

TEST(ParseUrl, ConvertsInternationalDomainsToAscii) {
  EXPECT_EQ(parsed_or_empty("ws://B\xC3\xBC"
                            "cher.example:1/")
                .host,
            "xn--bcher-kva.example");
  EXPECT_EQ(parsed_or_empty("ws://%C3%A9.com/").host, "xn--9ca.com");
  EXPECT_EQ(parsed_or_empty("ws://XN--9CA.com/").host, "xn--9ca.com");
}

TEST(ParseUrlFailure, WithoutScheme) {
  EXPECT_EQ(fault_of(""), "relative URL without a base");
  EXPECT_EQ(fault_of("//h:1/"), "relative URL without a base");
  EXPECT_EQ(fault_of("1ws://h/"), "relative URL without a base");
  EXPECT_EQ(fault_of("localhost"), "relative URL without a base");
}

TEST(ParseUrlFailure, EmptyHost) {
  EXPECT_EQ(fault_of("ws://"), "empty host");
  EXPECT_EQ(fault_of("ws:///"), "empty host");
  EXPECT_EQ(fault_of("ws://?x"), "empty host");
  EXPECT_EQ(fault_of("ws://:1/"), "empty host");
  EXPECT_EQ(fault_of("ws://user@/"), "empty host");
  EXPECT_EQ(fault_of("ws://user@:1/"), "empty host");
}

TEST(ParseUrlFailure, Port) {
  EXPECT_EQ(fault_of("ws://h:65536/"), "invalid port number");
  EXPECT_EQ(fault_of("ws://h:99999999999999999999999/"), "invalid port number");
  EXPECT_EQ(fault_of("ws://h:1a/"), "invalid port number");
  EXPECT_EQ(fault_of("ws://h:-1/"), "invalid port number");
  EXPECT_EQ(fault_of("ws://h:1:2/"), "invalid port number");
}

TEST(ParseUrlFailure, Ipv4) {
  EXPECT_EQ(fault_of("ws://1.2.3.256/"), "invalid IPv4 address");
  EXPECT_EQ(fault_of("ws://4294967296/"), "invalid IPv4 address");
  EXPECT_EQ(fault_of("ws://99999999999999999999999/"), "invalid IPv4 address");
  EXPECT_EQ(fault_of("ws://256.1.1/"), "invalid IPv4 address");
  EXPECT_EQ(fault_of("ws://1.2.3.4.5/"), "invalid IPv4 address");
  EXPECT_EQ(fault_of("ws://a.09/"), "invalid IPv4 address");
  EXPECT_EQ(fault_of("ws://1..2/"), "invalid IPv4 address");
}

TEST(ParseUrlFailure, Ipv6) {
  EXPECT_EQ(fault_of("ws://[::1/"), "invalid IPv6 address");
  EXPECT_EQ(fault_of("ws://[1::2::3]/"), "invalid IPv6 address");
  EXPECT_EQ(fault_of("ws://[1:2:3:4:5:6:7:8:9]/"), "invalid IPv6 address");
  EXPECT_EQ(fault_of("ws://[1:2:3:4:5:6:7]/"), "invalid IPv6 address");
  EXPECT_EQ(fault_of("ws://[::1.2.3.04]/"), "invalid IPv6 address");
  EXPECT_EQ(fault_of("ws://[1:2:3:4:5:6:7:1.2.3.4]/"), "invalid IPv6 address");
  EXPECT_EQ(fault_of("ws://[::1]x/"), "invalid IPv6 address");
  EXPECT_EQ(fault_of("ws://[]/"), "invalid IPv6 address");
}

TEST(ParseUrlFailure, Domain) {
  EXPECT_EQ(fault_of("ws://xn--a/"), "invalid international domain name");
  EXPECT_EQ(fault_of("ws://%C2%AD/"), "invalid international domain name");
  EXPECT_EQ(fault_of("ws://%FF/"), "invalid international domain name");
  EXPECT_EQ(fault_of("ws://a b/"), "invalid domain character");
  EXPECT_EQ(fault_of("ws://a%25b/"), "invalid domain character");
  EXPECT_EQ(fault_of("ws://a%2Fb/"), "invalid domain character");
  EXPECT_EQ(fault_of("sc://a<b/"), "invalid host character");
}

// A NUL inside a non-ASCII domain must not cut the name short on its way
// through the C IDNA library ("\xC3\xA9" alone is a valid domain).
TEST(ParseUrlFailure, NulInsideInternationalDomain) {
  EXPECT_FALSE(parse_url("ws://\xC3\xA9%00.evil/"));
  EXPECT_FALSE(parse_url(std::string_view("ws://\xC3\xA9\0.evil/", 15)));
}

TEST(ParseUrlFailure, MalformedUtf8) {
  EXPECT_EQ(fault_of("ws://h/\xFF"), "invalid UTF-8");
  EXPECT_EQ(fault_of("ws://h/\xC3"), "invalid UTF-8");
  EXPECT_EQ(fault_of("ws://h/\xED\xA0\x80"), "invalid UTF-8");
}

}  // namespace
}  // namespace orvix::url

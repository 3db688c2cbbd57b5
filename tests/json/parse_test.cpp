#include <gtest/gtest.h>

#include <string>

#include "json/parse.h"
#include "json/serialize.h"

namespace orvix::json {
namespace {

std::string fault_of(std::string_view text) {
  auto parsed = parse_json(text);
  if (parsed) return "ok";
  return parsed.error().text;
}

std::string round_trip(std::string_view text) {
  auto parsed = parse_json(text);
  if (!parsed) return "error: " + parsed.error().text;
  return to_compact_string(*parsed);
}

TEST(ParseJson, NamesSyntaxFaultsWithTheirPlace) {
  EXPECT_EQ(fault_of(""), "EOF while parsing a value at line 1 column 0");
  EXPECT_EQ(fault_of("   "), "EOF while parsing a value at line 1 column 3");
  EXPECT_EQ(fault_of("{} {}"), "trailing characters at line 1 column 4");
  EXPECT_EQ(fault_of("\xEF\xBB\xBF{}"), "expected value at line 1 column 1");
  EXPECT_EQ(fault_of("[1,2"), "EOF while parsing a list at line 1 column 4");
  EXPECT_EQ(fault_of("[1,"), "EOF while parsing a value at line 1 column 3");
  EXPECT_EQ(fault_of("[1 2]"), "expected `,` or `]` at line 1 column 4");
  EXPECT_EQ(fault_of("[1,]"), "trailing comma at line 1 column 4");
  EXPECT_EQ(fault_of("{\"a\":1"), "EOF while parsing an object at line 1 column 6");
  EXPECT_EQ(fault_of("{\"a\" 1}"), "expected `:` at line 1 column 6");
  EXPECT_EQ(fault_of("{\"a\":1 \"b\":2}"), "expected `,` or `}` at line 1 column 8");
  EXPECT_EQ(fault_of("{1:2}"), "key must be a string at line 1 column 2");
  EXPECT_EQ(fault_of("{\"a\":1,}"), "trailing comma at line 1 column 8");
  EXPECT_EQ(fault_of("\"abc"), "EOF while parsing a string at line 1 column 4");
  EXPECT_EQ(fault_of("nul"), "EOF while parsing a value at line 1 column 3");
  EXPECT_EQ(fault_of("nulx"), "expected ident at line 1 column 4");
  EXPECT_EQ(fault_of("{\n  \"a\": x\n}"), "expected value at line 2 column 8");
  EXPECT_EQ(fault_of("[\n1,\n]"), "trailing comma at line 3 column 1");
}

TEST(ParseJson, RejectsBadNumbers) {
  EXPECT_EQ(fault_of("01"), "invalid number at line 1 column 2");
  EXPECT_EQ(fault_of("-"), "EOF while parsing a value at line 1 column 1");
  EXPECT_EQ(fault_of("-x"), "invalid number at line 1 column 2");
  EXPECT_EQ(fault_of("1."), "EOF while parsing a value at line 1 column 2");
  EXPECT_EQ(fault_of("1.x"), "invalid number at line 1 column 3");
  EXPECT_EQ(fault_of("1e"), "EOF while parsing a value at line 1 column 2");
  EXPECT_EQ(fault_of("1e+x"), "invalid number at line 1 column 4");
  EXPECT_EQ(fault_of("1e400"), "number out of range at line 1 column 5");
  EXPECT_EQ(fault_of("[-1e400]"), "number out of range at line 1 column 7");
  EXPECT_EQ(fault_of(std::string(400, '9')), "number out of range at line 1 column 400");
}

TEST(ParseJson, RejectsBadStrings) {
  EXPECT_EQ(fault_of("\"a\x01\""),
            "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3");
  EXPECT_EQ(fault_of("\"\\x\""), "invalid escape at line 1 column 3");
  EXPECT_EQ(fault_of("\"\\u12G4\""), "invalid escape at line 1 column 7");
  EXPECT_EQ(fault_of("\"\\ud800\""), "unexpected end of hex escape at line 1 column 8");
  EXPECT_EQ(fault_of("\"\\udc00\""), "lone leading surrogate in hex escape at line 1 column 7");
  EXPECT_EQ(fault_of("\"\\ud800\\u0041\""), "lone leading surrogate in hex escape at line 1 column 13");
  EXPECT_EQ(fault_of("\"\xff\""), "invalid unicode code point at line 1 column 3");
  EXPECT_EQ(fault_of("\"\xed\xa0\x80\""), "invalid unicode code point at line 1 column 5");
  EXPECT_EQ(round_trip("\"\\ud83d\\ude00\""), "\"\xF0\x9F\x98\x80\"");
}

TEST(ParseJson, NestsAtMost127Levels) {
  std::string ok = std::string(127, '[') + std::string(127, ']');
  EXPECT_EQ(round_trip(ok), ok);
  std::string deep = std::string(128, '[') + std::string(128, ']');
  EXPECT_EQ(fault_of(deep), "recursion limit exceeded at line 1 column 128");
  std::string objects;
  for (int i = 0; i < 128; ++i) objects += "{\"a\":";
  EXPECT_EQ(fault_of(objects), "recursion limit exceeded at line 1 column 636");
}

TEST(ParseJson, RepeatedMemberKeepsTheLaterValue) {
  EXPECT_EQ(round_trip("{\"a\":1,\"b\":0,\"a\":2}"), "{\"a\":2,\"b\":0}");
}

TEST(ParseJson, ClassifiesNumbers) {
  auto value = parse_json("[18446744073709551615,-9223372036854775808,18446744073709551616,-0,1.5,-3]");
  ASSERT_TRUE(value);
  const auto& a = value->get_array();
  EXPECT_TRUE(a[0].is_uint64());
  EXPECT_TRUE(a[1].is_int64());
  EXPECT_TRUE(a[2].is_double());
  EXPECT_TRUE(a[3].is_double());
  EXPECT_TRUE(a[4].is_double());
  EXPECT_TRUE(a[5].is_int64());
  EXPECT_EQ(round_trip("[-0,1E2,0.1,1e-7,123456789012345678901234567890]"),
            "[-0.0,100.0,0.1,1e-7,1.2345678901234568e29]");
  // Exponents beyond any integer type still read when the value is a double.
  EXPECT_EQ(round_trip("[1e-99999999999999999999,0e99999999999999999999,-1e-400]"), "[0.0,0.0,-0.0]");
  EXPECT_EQ(fault_of("1e99999999999999999999"), "number out of range at line 1 column 22");
}

TEST(ParseJson, AcceptsOnlyJsonWhitespaceAround) {
  EXPECT_EQ(round_trip("  {} \r\n"), "{}");
  EXPECT_EQ(fault_of("{}\f"), "trailing characters at line 1 column 3");
}

}  // namespace
}  // namespace orvix::json

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "json/number_format.h"
#include "json/parse.h"
#include "json/serialize.h"

namespace orvix::json {
namespace {

TEST(SerializeCompact, OrdersMembersByBytes) {
  Object object;
  object["b"] = 1;
  object["\xC3\xA9"] = 2;  // non-ASCII sorts after ASCII
  object["B"] = 3;
  object["a"] = Object{{"z", 1}, {"y", 2}};
  EXPECT_EQ(to_compact_string(object), "{\"B\":3,\"a\":{\"y\":2,\"z\":1},\"b\":1,\"\xC3\xA9\":2}");
}

TEST(SerializeCompact, EscapesOnlyWhatItMust) {
  EXPECT_EQ(to_compact_string(Value("\"\\/\b\f\n\r\t\x0b\x1f\x7f\xE2\x80\xA8")),
            "\"\\\"\\\\/\\b\\f\\n\\r\\t\\u000b\\u001f\x7f\xE2\x80\xA8\"");
  EXPECT_EQ(to_compact_string(Value(std::string("a\0b", 3))), "\"a\\u0000b\"");
  // Each byte grows sixfold: the room made at every escape must keep up
  // with a text that outgrows the buffer again and again.
  std::string want = "\"";
  for (int i = 0; i < 5000; ++i) want += "\\u0001";
  EXPECT_EQ(to_compact_string(Value(std::string(5000, '\x01'))), want + "\"");
}

// Each byte that needs an escape, and its neighbours that do not, at each
// offset of the sixteen- and eight-byte scans.
TEST(SerializeCompact, EscapesAtEveryOffsetOfAScanBlock) {
  const std::pair<char, std::string_view> cases[] = {
      {'"', "\\\""},    {'\\', "\\\\"},   {'\0', "\\u0000"}, {'\x1f', "\\u001f"}, {'\n', "\\n"}, {' ', " "},
      {'\x7f', "\x7f"}, {'\x80', "\x80"}, {'\xff', "\xff"},  {'!', "!"},          {'#', "#"}};
  // Every length of the tail after the byte too: a short tail is judged in a
  // load reaching back over bytes already written, the byte among them.
  for (const auto& [byte, written] : cases) {
    for (std::size_t offset = 0; offset < 40; ++offset) {
      for (std::size_t after = 0; after < 18; ++after) {
        const std::string text = std::string(offset, 'a') + byte + std::string(after, 'b');
        const std::string want =
            "\"" + std::string(offset, 'a') + std::string(written) + std::string(after, 'b') + "\"";
        ASSERT_EQ(to_compact_string(Value(text)), want)
            << int(static_cast<unsigned char>(byte)) << " at " << offset << ", " << after << " after";
      }
    }
  }
}

// A writer over a kept buffer writes from its start position, grows the
// buffer when it must, and leaves the stale bytes past its text alone.
TEST(SerializeCompact, KeepsScratchPastTheText) {
  std::string buffer;
  for (const std::string& text : {std::string(3000, 'x'), std::string("a\nb"), std::string()}) {
    CompactWriter writer(buffer, 4, CompactWriter::KeepScratch{});
    writer.string(text);
    const std::string want = to_compact_string(Value(text));
    ASSERT_EQ(writer.size(), 4 + want.size());
    EXPECT_EQ(buffer.substr(4, want.size()), want);
    EXPECT_GE(buffer.size(), 3006u);  // the largest text's room stays
  }
}

TEST(SerializeCompact, WritesNumbers) {
  EXPECT_EQ(to_compact_string(Array{1.0, -2.5, 0.1, 1e16, 1e15, 1e-5, 1e-6, 5e-324, 1.7976931348623157e308}),
            "[1.0,-2.5,0.1,1e16,1000000000000000.0,0.00001,1e-6,5e-324,1.7976931348623157e308]");
  EXPECT_EQ(to_compact_string(Array{std::numeric_limits<double>::quiet_NaN(), INFINITY, -INFINITY}),
            "[null,null,null]");
  EXPECT_EQ(to_compact_string(Array{std::uint64_t{18446744073709551615u}, std::int64_t{-9223372036854775807 - 1}}),
            "[18446744073709551615,-9223372036854775808]");
}

TEST(SerializeCompact, DoublesReadBackExactly) {
  std::mt19937_64 random(42);
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (!std::isfinite(d)) continue;
    std::string text;
    append_double(d, text);
    auto back = parse_json(text);
    ASSERT_TRUE(back) << text;
    ASSERT_TRUE(back->is_double()) << text;
    ASSERT_EQ(back->get_double(), d) << text;
  }
}

TEST(PositionalDouble, NeverUsesAnExponent) {
  EXPECT_EQ(positional_double(1.0), "1.0");
  EXPECT_EQ(positional_double(1e20), "100000000000000000000.0");
  EXPECT_EQ(positional_double(1.5e-7), "0.00000015");
  EXPECT_EQ(positional_double(-0.0), "-0.0");
  EXPECT_EQ(positional_double(123.456), "123.456");
}

}  // namespace
}  // namespace orvix::json

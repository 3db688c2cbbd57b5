#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace orvix {
namespace {

// Each sequence at the edges RFC 3629 draws, after an ASCII byte, so the
// prefix also says where the check stopped.
TEST(Utf8, ValidPrefixStopsAtTheFirstSequenceOutsideTheRanges) {
  struct Case {
    std::string text;
    std::size_t prefix;
  };
  const Case cases[] = {
      {"a", 1},
      {"a\xC2\x80", 3},              // U+0080, the first two-byte sequence
      {"a\xC1\xBF", 1},              // overlong two-byte form
      {"a\xE0\xA0\x80", 4},          // U+0800
      {"a\xE0\x9F\xBF", 1},          // overlong three-byte form
      {"a\xED\x9F\xBF", 4},          // U+D7FF, just below the surrogates
      {"a\xED\xA0\x80", 1},          // U+D800, a surrogate
      {"a\xF0\x90\x80\x80", 5},      // U+10000
      {"a\xF0\x8F\xBF\xBF", 1},      // overlong four-byte form
      {"a\xF4\x8F\xBF\xBF", 5},      // U+10FFFF, the last code point
      {"a\xF4\x90\x80\x80", 1},      // above U+10FFFF
      {"a\xF5\x80\x80\x80", 1},      // a lead byte no sequence has
      {"a\x80", 1},                  // a continuation byte alone
      {"a\xE2\x82", 1},              // cut short at the end
      {"a\xE2\x28\xA1", 1},          // an ASCII byte inside a sequence
      {std::string("a\0b", 3), 3},   // NUL is ASCII
      {"\xC3\xA9t\xC3\xA9\xFF", 5},  // stops at the byte, keeps what came before
      // Past eight ASCII bytes (taken eight at a time): a fault in the next
      // word or in the word after a sequence is still found at its byte.
      {"/home/user/x\xFF", 12},
      {"/home/us\xC3\xA9/orvix/data\x80", 21},
      {"12345678\xE2\x82", 8},
      {"12345678abcdefgh\xC3\xA9", 18},
      {"abcdefghij", 10},               // the last two through the word ending with them
      {"abcdefgh\xC3\xA9xyz\xFF", 13},  // that word holds a sequence: byte by byte
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    EXPECT_EQ(valid_utf8_prefix(c.text), c.prefix);
    EXPECT_EQ(is_valid_utf8(c.text), c.prefix == c.text.size());
  }
}

}  // namespace
}  // namespace orvix

// The bidi rule is checked by libidn2; Wine's IdnToAscii checks none, so the
// Windows build tested under Wine accepts this label (README lists it).
#include <gtest/gtest.h>

#include "url/url.h"

namespace orvix::url {
namespace {

TEST(ParseUrlFailure, LabelMixingLeftToRightAndRightToLeft) {
  // Decodes to Latin 'a' then Hebrew alef: a label the bidi rule refuses.
  auto parsed = parse_url("ws://xn--a-0hc/");
  ASSERT_FALSE(parsed);
  EXPECT_EQ(parsed.error().text, "invalid international domain name");
}

}  // namespace
}  // namespace orvix::url

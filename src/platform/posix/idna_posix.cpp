// IDNA through libidn2: idn2_to_ascii_8z with non-transitional TR46 mapping.
//
// Where libidn2 2.3 differs from UTS #46 with the browser parameters (all of
// these only make more inputs fail, never change a successful result):
// - It also applies the IDNA2008 code point rules, so labels with symbols
//   that IDNA2008 disallows but UTS #46 allows (emoji, U+2603 SNOWMAN) fail,
//   also as "xn--" labels that decode to them.
// - Its A-label round trip re-checks each label under IDNA2008, which
//   refuses ASCII punctuation such as "'" or "=" beside non-ASCII letters
//   (UTS #46 with STD3 rules off allows it).
// - Hyphen rules are always checked (CheckHyphens cannot be turned off): a
//   label with a leading or trailing '-', or "--" in the third and fourth
//   places, fails whenever the domain needs IDNA at all.
// - Length is always checked: a label of more than 63 or a domain of more
//   than 255 bytes after encoding fails.
// IDN2_NO_ALABEL_ROUNDTRIP would lift the first two for "xn--" input but
// also drops the bidi and joiner checks on decoded "xn--" labels, accepting
// names the standard refuses; refusing too much is the safer side.
#include "platform/idna.h"

#include <memory>

#include <idn2.h>

namespace orvix::platform {

namespace {
Failure refused(std::string reason) { return Failure(Failure::Kind::kInvalidInput, std::move(reason)); }
}  // namespace

Result<std::string> unicode_domain_to_ascii(std::string_view utf8_domain) {
  // libidn2 takes NUL-terminated text; an inner NUL would silently cut it short.
  if (utf8_domain.find('\0') != std::string_view::npos) return refused("domain contains NUL");
  const std::string input(utf8_domain);
  char* output = nullptr;
  const int rc = idn2_to_ascii_8z(input.c_str(), &output, IDN2_NONTRANSITIONAL);
  const std::unique_ptr<char, decltype(&idn2_free)> owned(output, &idn2_free);
  if (rc != IDN2_OK) return refused(idn2_strerror(rc));
  return std::string(owned.get());
}

}  // namespace orvix::platform
